// Nimbrel: the FTP transfer component, for the game client.
//
// Create the component object (CLSID_Nimbrel, IID_INimbrel), call Initialize with a window and
// a message number, open sessions with CreateSession and start one operation at a time on each
// session with a request record that you own and keep valid until the next operation starts.
// When work has finished the component posts your message (both parameters 0) to your window;
// then call GetNotifiedSession to learn the session and GetResult to collect its status. A
// Download reports NIMBREL_STATUS_PROGRESS any number of times before its final status.
//
// Methods return 0 or a negative code, never HRESULTs. Session numbers run from 1 to max.
// Close every session before the last Release.
//
// A host, user, password, path or pattern holding CR or LF is never sent: Connect and the
// directory and listing calls end with NIMBREL_STATUS_FAILURE, a Download with
// NIMBREL_STATUS_OPEN_FAILED (the connection is kept, the local file untouched).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstddef>
#include <cstdint>

// {BD895BFE-FAE3-40AD-9860-771614A502FF}
static const CLSID CLSID_Nimbrel = {0xBD895BFE, 0xFAE3, 0x40AD, {0x98, 0x60, 0x77, 0x16, 0x14, 0xA5, 0x02, 0xFF}};
// {C1B6E43B-2846-4F7D-8225-4195BF9002C1}
static const IID IID_INimbrel = {0xC1B6E43B, 0x2846, 0x4F7D, {0x82, 0x25, 0x41, 0x95, 0xBF, 0x90, 0x02, 0xC1}};

// Status words the component writes into a request record.
enum NimbrelStatus : int32_t {
    NIMBREL_STATUS_SUCCESS = 1,
    NIMBREL_STATUS_PENDING = 2,        // queued, or GetResult found nothing ready yet
    NIMBREL_STATUS_PROGRESS = 3,       // Download: dwBytesWritten is current
    NIMBREL_STATUS_OPEN_FAILED = 4,    // Download: the remote file could not be opened; still connected
    NIMBREL_STATUS_FAILURE = 5,        // the connection has been closed
    NIMBREL_STATUS_DISCONNECTED = 7,   // Disconnect finished
    NIMBREL_STATUS_WRITE_FAILED = 8,   // Download: the local file could not be written; connection closed
};

constexpr uint32_t NIMBREL_MAX_SESSIONS = 4096;
constexpr uint32_t NIMBREL_PATH_SIZE = 260;

#pragma pack(push, 1)

struct NIMBREL_CONNECT {
    uint32_t dwReserved;  // yours; the component never touches it
    int32_t nStatus;
    char szHost[NIMBREL_PATH_SIZE];
    uint16_t wPort;
    char szUser[NIMBREL_PATH_SIZE];
    char szPassword[NIMBREL_PATH_SIZE];
    uint8_t bPadding[2];
    uint32_t dwPassive;  // 1 = passive data connections, anything else = active
};

struct NIMBREL_DIRECTORY {
    uint32_t dwReserved;
    int32_t nStatus;
    char szPath[NIMBREL_PATH_SIZE];  // SetCurrentDirectory: input; GetCurrentDirectory: output
    uint32_t dwLength;               // GetCurrentDirectory: receives the path length
};

struct NIMBREL_FIND {
    uint32_t dwReserved;
    int32_t nStatus;
    const char* pszPattern;
    WIN32_FIND_DATAA* pFindData;  // your array that receives the listing
    uint32_t dwCapacity;          // number of records your array holds
    uint32_t dwFound;             // number of entries found
};

struct NIMBREL_DOWNLOAD {
    uint32_t dwReserved;
    int32_t nStatus;
    char szRemoteFile[NIMBREL_PATH_SIZE];
    char szLocalFile[NIMBREL_PATH_SIZE];
    uint32_t dwResume;        // non-zero: continue a partial local file
    uint32_t dwBytesWritten;  // bytes in the local file so far
};

#pragma pack(pop)

// The records cross the module boundary byte for byte; this is their contract.
static_assert(offsetof(NIMBREL_CONNECT, nStatus) == 4, "layout");
static_assert(offsetof(NIMBREL_CONNECT, szHost) == 8, "layout");
static_assert(offsetof(NIMBREL_CONNECT, wPort) == 268, "layout");
static_assert(offsetof(NIMBREL_CONNECT, szUser) == 270, "layout");
static_assert(offsetof(NIMBREL_CONNECT, szPassword) == 530, "layout");
static_assert(offsetof(NIMBREL_CONNECT, bPadding) == 790, "layout");
static_assert(offsetof(NIMBREL_CONNECT, dwPassive) == 792, "layout");
static_assert(sizeof(NIMBREL_CONNECT) == 796, "layout");
static_assert(offsetof(NIMBREL_DIRECTORY, szPath) == 8, "layout");
static_assert(offsetof(NIMBREL_DIRECTORY, dwLength) == 268, "layout");
static_assert(sizeof(NIMBREL_DIRECTORY) == 272, "layout");
static_assert(sizeof(void*) != 4 || offsetof(NIMBREL_FIND, pszPattern) == 8, "layout");
static_assert(sizeof(void*) != 4 || offsetof(NIMBREL_FIND, pFindData) == 12, "layout");
static_assert(sizeof(void*) != 4 || offsetof(NIMBREL_FIND, dwCapacity) == 16, "layout");
static_assert(sizeof(void*) != 4 || offsetof(NIMBREL_FIND, dwFound) == 20, "layout");
static_assert(sizeof(void*) != 4 || sizeof(NIMBREL_FIND) == 24, "layout");
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "the listing array's record size");
static_assert(offsetof(NIMBREL_DOWNLOAD, szRemoteFile) == 8, "layout");
static_assert(offsetof(NIMBREL_DOWNLOAD, szLocalFile) == 268, "layout");
static_assert(offsetof(NIMBREL_DOWNLOAD, dwResume) == 528, "layout");
static_assert(offsetof(NIMBREL_DOWNLOAD, dwBytesWritten) == 532, "layout");
static_assert(sizeof(NIMBREL_DOWNLOAD) == 536, "layout");

// The interface, in vtable order after IUnknown. All methods are stdcall; see the results of
// each in the component's documentation.
struct INimbrel : public IUnknown {
    virtual int STDMETHODCALLTYPE Initialize(HWND hWnd, UINT uMsg, DWORD dwMaxSession) = 0;
    virtual int STDMETHODCALLTYPE CreateSession() = 0;
    virtual int STDMETHODCALLTYPE CloseSession(DWORD dwSession) = 0;
    virtual int STDMETHODCALLTYPE SetSessionData(DWORD dwSession, DWORD dwData) = 0;
    virtual int STDMETHODCALLTYPE GetSessionData(DWORD dwSession, DWORD* pdwData) = 0;
    virtual int STDMETHODCALLTYPE GetNotifiedSession(DWORD* pdwData) = 0;
    virtual int STDMETHODCALLTYPE GetResult(DWORD dwSession, void** ppRequest, BOOL bWait) = 0;
    virtual int STDMETHODCALLTYPE Disconnect(DWORD dwSession) = 0;
    virtual int STDMETHODCALLTYPE Connect(DWORD dwSession, NIMBREL_CONNECT* pRequest) = 0;
    virtual int STDMETHODCALLTYPE GetCurrentDirectory(DWORD dwSession, NIMBREL_DIRECTORY* pRequest) = 0;
    virtual int STDMETHODCALLTYPE SetCurrentDirectory(DWORD dwSession, NIMBREL_DIRECTORY* pRequest) = 0;
    virtual int STDMETHODCALLTYPE FindFiles(DWORD dwSession, NIMBREL_FIND* pRequest) = 0;
    virtual int STDMETHODCALLTYPE Download(DWORD dwSession, NIMBREL_DOWNLOAD* pRequest) = 0;
};
