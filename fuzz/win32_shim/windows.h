// The few Windows types and calls the FTP layer uses, for fuzzing it as a native program. The
// date conversion checks its fields as the system's does: an impossible date fails.
#pragma once

#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <time.h>

typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef void* HANDLE;
#define __stdcall
#define SYNCHRONIZE 0x00100000
#define THREAD_QUERY_LIMITED_INFORMATION 0x0800
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000
#define ERROR_NO_MORE_FILES 18
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_IO_PENDING 997
typedef uint16_t WORD;
typedef int BOOL;
typedef char CHAR;
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define FILE_ATTRIBUTE_DIRECTORY 0x10
#define FILE_ATTRIBUTE_NORMAL 0x80

typedef struct {
    DWORD dwLowDateTime, dwHighDateTime;
} FILETIME;

typedef struct {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME;

typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow, dwReserved0, dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA;

inline char* lstrcpynA(char* dest, const char* src, int count)
{
    if (count <= 0) return dest;
    int i = 0;
    for (; i < count - 1 && src[i]; ++i) dest[i] = src[i];
    dest[i] = '\0';
    return dest;
}

inline int _strnicmp(const char* a, const char* b, size_t n) { return strncasecmp(a, b, n); }
inline int _stricmp(const char* a, const char* b) { return strcasecmp(a, b); }

inline BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int y = st->wYear, m = st->wMonth;
    if (y < 1601 || y > 30827 || m < 1 || m > 12 || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59 ||
        st->wMilliseconds > 999)
        return FALSE;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    const int month_days = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
    if (st->wDay < 1 || st->wDay > month_days) return FALSE;
    // Days since 1601-01-01.
    int64_t days = 0;
    for (int year = 1601; year < y; ++year) days += ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 366 : 365;
    for (int month = 1; month < m; ++month) days += kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    days += st->wDay - 1;
    const uint64_t ticks =
        ((((static_cast<uint64_t>(days) * 24 + st->wHour) * 60 + st->wMinute) * 60 + st->wSecond) * 1000 + st->wMilliseconds) * 10000;
    ft->dwLowDateTime = static_cast<DWORD>(ticks);
    ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}

// The FTP session harness runs one thread and no connection thread: handles are never made.
inline BOOL CloseHandle(HANDLE) { return TRUE; }
inline HANDLE GetCurrentProcess() { return nullptr; }
inline BOOL DuplicateHandle(HANDLE, HANDLE, HANDLE, HANDLE* copy, DWORD, BOOL, DWORD)
{
    *copy = nullptr;
    return FALSE;
}
inline DWORD GetCurrentThreadId() { return 1; }
inline LONG InterlockedIncrement(volatile LONG* v) { return ++*v; }
inline LONG InterlockedDecrement(volatile LONG* v) { return --*v; }
// A fixed "now", so that a listing's year inference gives the same entries on every run.
inline void GetSystemTime(SYSTEMTIME* now)
{
    *now = SYSTEMTIME();
    now->wYear = 2026;
    now->wMonth = 6;
    now->wDay = 15;
    now->wHour = 12;
}
