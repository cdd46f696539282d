// How long the FTP layer lets a server take, in one place. Every exchange with a server ends
// within its deadline whatever the server does (silence, one byte every few seconds, "120"
// replies for ever); a request that runs past it fails with ERROR_INTERNET_TIMEOUT, and a control
// connection that ran past it is not used again.
#pragma once

#include <windows.h>

namespace asyncftp {

// The default of SetTimeout: the deadline of each exchange on connections opened later.
//  - a whole reply, all its lines, from the command's sending to the reply's last line;
//  - the log-in, from the connection's opening to the answer to TYPE, "120" replies included;
//  - a data connection's opening: the passive or active set-up, the transfer command's first
//    reply, the connect or accept;
//  - during a transfer, each wait for more data (a transfer as a whole may take as long as the
//    data keeps coming).
constexpr DWORD kExchangeDeadlineMs = 20000;

// The replies to ABOR, NOOP and QUIT while a connection is given up or brought back in step.
constexpr DWORD kClosingReplyDeadlineMs = 3000;

// Closing the internet handle waits this long for its connections' threads to end. A thread
// can outlive it only while the system's name lookup stalls, which nothing can interrupt; it
// then ends when the lookup returns, touching nothing but its own connection (ThreadsRunning
// counts it until then).
constexpr DWORD kConnectionsEndWaitMs = 15000;

}  // namespace asyncftp
