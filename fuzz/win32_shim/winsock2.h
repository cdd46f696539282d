// The Winsock calls of the FTP layer's socket code, for fuzzing it as a native program: every
// socket is the scripted peer below, whose bytes and piece sizes the harness sets.
#pragma once

#include <stdio.h>
#include <sys/select.h>
#include <time.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

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
typedef unsigned short u_short;
#define AF_INET 2
#define AF_INET6 23
struct in_addr {
    uint32_t s_addr;
};
struct in6_addr {
    unsigned char s6_addr[16];
};
struct sockaddr_in {
    unsigned short sin_family;
    unsigned short sin_port;
    in_addr sin_addr;
    char sin_zero[8];
};
struct sockaddr_in6 {
    unsigned short sin6_family;
    unsigned short sin6_port;
    uint32_t sin6_flowinfo;
    in6_addr sin6_addr;
    uint32_t sin6_scope_id;
};
struct sockaddr_storage {
    unsigned short ss_family;
    char ss_pad[126];
};
inline u_short htons(u_short v) { return static_cast<u_short>(v << 8 | v >> 8); }
inline u_short ntohs(u_short v) { return htons(v); }
struct addrinfo {
    int ai_flags, ai_family, ai_socktype, ai_protocol;
    size_t ai_addrlen;
    char* ai_canonname;
    sockaddr* ai_addr;
    addrinfo* ai_next;
};

// The scripted peer: what it will send on the control connection, and the most it hands over
// per receive. A harness that opens its sockets through socket() gets the control connection
// first; every later socket is a data connection sending the next of `data` (nothing once they
// run out).
struct ScriptedPeer {
    std::string bytes;
    size_t at = 0;
    size_t piece = 1;
    std::vector<std::string> data;
    size_t nextData = 0;
    SOCKET nextSocket = 100;
    bool controlOpen = false;
    std::map<SOCKET, std::pair<size_t, size_t>> dataSockets;  // socket -> (stream, bytes sent)
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
inline SOCKET socket(int, int, int)
{
    ScriptedPeer& peer = TheScriptedPeer();
    const SOCKET s = peer.nextSocket++;
    if (!peer.controlOpen) peer.controlOpen = true;
    else peer.dataSockets[s] = {peer.nextData++, 0};
    return s;
}
inline int setsockopt(SOCKET, int, int, const char*, int) { return 0; }
inline int getsockopt(SOCKET, int, int option, char* value, int* length)
{
    if (option != SO_ERROR || *length < static_cast<int>(sizeof(int))) return SOCKET_ERROR;
    *reinterpret_cast<int*>(value) = 0;  // connected
    return 0;
}
inline int ioctlsocket(SOCKET, long, u_long*) { return 0; }
inline int connect(SOCKET, const sockaddr*, int) { return 0; }
inline SOCKET accept(SOCKET, sockaddr*, int*) { return INVALID_SOCKET; }
// Every name is the peer, at 127.0.0.1.
inline int getpeername(SOCKET, sockaddr* name, int* length)
{
    if (*length < static_cast<int>(sizeof(sockaddr_in))) return SOCKET_ERROR;
    sockaddr_in* in = reinterpret_cast<sockaddr_in*>(name);
    memset(in, 0, sizeof *in);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = 0x0100007F;
    *length = sizeof(sockaddr_in);
    return 0;
}
inline int getsockname(SOCKET s, sockaddr* name, int* length) { return getpeername(s, name, length); }
inline int bind(SOCKET, const sockaddr*, int) { return SOCKET_ERROR; }  // no active mode: no listener
inline int listen(SOCKET, int) { return SOCKET_ERROR; }
#define INET6_ADDRSTRLEN 65
inline int WSAAddressToStringA(sockaddr*, DWORD, void*, char*, DWORD*) { return SOCKET_ERROR; }
inline int getaddrinfo(const char*, const char*, const addrinfo*, addrinfo** found)
{
    static sockaddr_in address;
    static addrinfo info;
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = 0x0100007F;
    info.ai_family = AF_INET;
    info.ai_socktype = SOCK_STREAM;
    info.ai_addrlen = sizeof address;
    info.ai_addr = reinterpret_cast<sockaddr*>(&address);
    info.ai_next = nullptr;
    *found = &info;
    return 0;
}
inline void freeaddrinfo(addrinfo*) {}
inline int fuzz_select(int, fd_set*, fd_set*, fd_set*, timeval*) { return 1; }  // always ready
#define select fuzz_select
inline int send(SOCKET, const char*, int length, int) { return length; }
inline int recv(SOCKET s, char* data, int capacity, int)
{
    ScriptedPeer& peer = TheScriptedPeer();
    static const std::string none;
    const std::string* stream = &peer.bytes;
    size_t* at = &peer.at;
    const auto found = peer.dataSockets.find(s);
    if (found != peer.dataSockets.end()) {
        stream = found->second.first < peer.data.size() ? &peer.data[found->second.first] : &none;
        at = &found->second.second;
    }
    size_t n = stream->size() - *at;
    if (n > peer.piece) n = peer.piece;
    if (n > static_cast<size_t>(capacity)) n = static_cast<size_t>(capacity);
    for (size_t i = 0; i < n; ++i) data[i] = (*stream)[*at + i];
    *at += n;
    return static_cast<int>(n);  // 0 once everything is sent: the peer closed
}
