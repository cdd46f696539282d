// The component's asynchronous FTP client: the call shapes of the system's Internet FTP functions,
// with their asynchronous contract, spoken over Winsock.
//
// Contract (what the component's status callbacks rely on):
//  - A handle opened with INTERNET_FLAG_ASYNC runs every request that is given a non-zero context
//    on the layer's own thread for that connection; the call returns FALSE with ERROR_IO_PENDING
//    (or NULL for calls that return a handle) and the outcome arrives as notifications:
//      60 INTERNET_STATUS_HANDLE_CREATED   INTERNET_ASYNC_RESULT{new handle, 0}
//      41 INTERNET_STATUS_RESPONSE_RECEIVED DWORD byte count (reads only)
//     100 INTERNET_STATUS_REQUEST_COMPLETE  INTERNET_ASYNC_RESULT{result, error word}
//      70 INTERNET_STATUS_HANDLE_CLOSING    the closed handle
//    A read completes with 41 and 100 both carrying the byte count (the count is the 100's error
//    word), and with a count of 0 once the data has ended; a cut-off transfer completes with 100
//    carrying an ERROR_INTERNET_* code and no 41.
//  - A new handle inherits its parent's callback; the 60 goes through that inherited callback,
//    everything after it through whatever callback the handle holds at the time.
//  - A request that fails before its handle exists (remote file or listing refused) completes on
//    the parent connection handle with no 60.
//  - Context 0 means no notifications at all (so the internet handle, which has none, announces
//    nothing, not even its own closing); such a call runs synchronously after every request
//    already queued on the connection, and its result is the call's return value.
//  - Requests still queued or running when their handle is closed complete with
//    ERROR_INTERNET_OPERATION_CANCELLED; then 70 follows, and nothing after it.
//  - Every exchange with the server has a deadline (Deadlines.h, SetTimeout), so a dead, silent or
//    trickling server fails the request instead of hanging it.
//  - What a server sends is bounded: one reply line and one whole reply 64 KiB each, a listing's
//    text 4 MiB and its entries 32768. Beyond a limit the request fails with
//    ERROR_NOT_ENOUGH_MEMORY (a reply beyond its limit also ends the connection's use); so does a
//    request that runs out of memory. No exception leaves any call or any thread of the layer.
//  - A request made once its connection has closed fails at once with
//    ERROR_INTERNET_OPERATION_CANCELLED; each handle gets exactly one 70, whoever closes it.
//  - A name, path, pattern, user or password holding CR or LF is refused at once with
//    ERROR_INVALID_PARAMETER, before anything is queued or sent.
//  - A synchronous Connect that fails leaves nothing behind (no handle, no thread). Closing the
//    internet handle closes its connections and returns once their threads have ended (bounded).
#pragma once

#include <windows.h>
#include <wininet.h>

#include "asyncftp/Deadlines.h"

namespace asyncftp {

// The agent and proxy strings are accepted for shape only: connections are always direct.
HINTERNET OpenInternet(const char* agent, DWORD accessType, const char* proxy, const char* proxyBypass,
                       DWORD flags);

// Returns the previous callback, or INTERNET_INVALID_STATUS_CALLBACK for an unknown handle.
INTERNET_STATUS_CALLBACK SetStatusCallback(HINTERNET handle, INTERNET_STATUS_CALLBACK callback);

// The deadline, in milliseconds, of every exchange (a whole reply, a log-in, a data connection's
// opening, each wait for transfer data) on connections opened later from this internet handle.
// Defaults to kExchangeDeadlineMs (Deadlines.h).
BOOL SetTimeout(HINTERNET internet, DWORD milliseconds);

// flags: INTERNET_FLAG_PASSIVE for passive data connections (EPSV, else PASV); active (PORT/EPRT)
// otherwise. service must be INTERNET_SERVICE_FTP.
HINTERNET Connect(HINTERNET internet, const char* host, INTERNET_PORT port, const char* user,
                  const char* password, DWORD service, DWORD flags, DWORD_PTR context);

// *length: buffer size in characters on entry; the path length without terminator when done.
BOOL GetCurrentDirectory(HINTERNET connection, char* directory, DWORD* length);
BOOL SetCurrentDirectory(HINTERNET connection, const char* directory);

// The pattern's last component may hold * and ? (matched without regard to case, "*.*" matches
// every name); a pattern without wildcards names a directory to list, or else one entry.
HINTERNET FindFirstFile(HINTERNET connection, const char* pattern, WIN32_FIND_DATAA* firstEntry,
                        DWORD flags, DWORD_PTR context);
BOOL FindNextFile(HINTERNET find, void* entry);

// Opens a remote file for reading in binary mode; a REST command sent just before with Command
// makes the transfer start at that offset.
HINTERNET OpenFile(HINTERNET connection, const char* fileName, DWORD access, DWORD flags,
                   DWORD_PTR context);
// *bytesRead is written when the read completes, so it must stay valid until then, or until
// CloseHandle on the file returns: after that no read writes into buffer or *bytesRead.
BOOL ReadFile(HINTERNET file, void* buffer, DWORD bytesToRead, DWORD* bytesRead);

// Sends one raw command line (a trailing line feed is accepted) and reads its reply.
BOOL Command(HINTERNET connection, BOOL expectResponse, DWORD flags, const char* command,
             DWORD_PTR context, HINTERNET* commandHandle);

BOOL CloseHandle(HINTERNET handle);

// TRUE when the connection's control channel is lost (the server dropped it, a reply broke off or
// ran past its deadline, the log-in never finished) or the handle is closed or unknown: every
// request on it fails from now on, and only a new connection helps. FALSE while it is usable.
BOOL ControlConnectionLost(HINTERNET connection);

// Threads of the layer that have started and not ended, including those a closing gave up waiting
// for: while it is above 0, the code that holds the layer must stay loaded.
LONG ThreadsRunning();

}  // namespace asyncftp
