// What the FTP tests know of the two test servers that ftp_servers.py starts: their ports, read
// from the state folder the harness names, and the byte pattern every served file follows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>

struct Ports {
    WORD standard = 0;
    WORD scripted = 0;
};

inline Ports ReadPorts()
{
    Ports ports;
    const char* state = std::getenv("QUENLOR_FTP_STATE");
    if (!state) return ports;
    if (FILE* f = std::fopen((std::string(state) + "/ports").c_str(), "r")) {
        unsigned a = 0, b = 0;
        if (std::fscanf(f, "%u %u", &a, &b) == 2) ports = {static_cast<WORD>(a), static_cast<WORD>(b)};
        std::fclose(f);
    }
    return ports;
}

inline unsigned char ContentByte(size_t i) { return static_cast<unsigned char>((i * 131 + (i >> 9)) & 0xFF); }
