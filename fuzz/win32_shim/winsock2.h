// The Winsock calls of the FTP layer's socket code, for fuzzing its control channel as a native
// program: every socket is the scripted peer below, whose bytes and piece sizes the harness sets.
#pragma once

#include <stdio.h>
#include <sys/select.h>
#include <time.h>

#include <string>

#include "windows.h"

typedef int SOCKET;
typedef unsigned long u_long;
#define INVALID_SOCKET (-1)
#define SOCKET_ERROR (-1)
#define SD_BOTH 2
#define SOL_SOCKET 1
#define SO_RCVBUF 8
#define SO_ERROR 4
#define FIONBIO 1
#define IPPROTO_TCP 6
#define TCP_NODELAY 1
#define SOCK_STREAM 1
#define AF_UNSPEC 0
#define WSAEWOULDBLOCK 10035
#define MAKEWORD(a, b) static_cast<WORD>((a) | (b) << 8)
#define wsprintfA sprintf

struct WSADATA {
    WORD wVersion;
};
struct sockaddr {
    unsigned short sa_family;
    char sa_data[14];
};
struct addrinfo {
    int ai_flags, ai_family, ai_socktype, ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    sockaddr* ai_addr;
    addrinfo* ai_next;
};

// The scripted peer: what it will send, and the most it hands over per receive.
struct ScriptedPeer {
    std::string bytes;
    size_t at = 0;
    size_t piece = 1;
};
inline ScriptedPeer& TheScriptedPeer()
{
    static ScriptedPeer peer;
    return peer;
}

inline DWORD GetTickCount()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}
inline int WSAStartup(WORD, WSADATA*) { return 0; }
inline int WSAGetLastError() { return WSAEWOULDBLOCK; }
inline int closesocket(SOCKET) { return 0; }
inline int shutdown(SOCKET, int) { return 0; }
inline SOCKET socket(int, int, int) { return INVALID_SOCKET; }
inline int setsockopt(SOCKET, int, int, const char*, int) { return 0; }
inline int getsockopt(SOCKET, int, int, char*, int*) { return SOCKET_ERROR; }
inline int ioctlsocket(SOCKET, long, u_long*) { return 0; }
inline int connect(SOCKET, const sockaddr*, int) { return SOCKET_ERROR; }
inline SOCKET accept(SOCKET, sockaddr*, int*) { return INVALID_SOCKET; }
inline int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo**) { return 1; }
inline void freeaddrinfo(addrinfo*) {}
inline int fuzz_select(int, fd_set*, fd_set*, fd_set*, timeval*) { return 1; }  // always ready
#define select fuzz_select
inline int send(SOCKET, const char*, int length, int) { return length; }
inline int recv(SOCKET, char* data, int capacity, int)
{
    ScriptedPeer& peer = TheScriptedPeer();
    size_t n = peer.bytes.size() - peer.at;
    if (n > peer.piece) n = peer.piece;
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    for (size_t i = 0; i < n; ++i) data[i] = peer.bytes[peer.at + i];
    peer.at += n;
    return static_cast<int>(n);  // 0 once everything is sent: the peer closed
}
