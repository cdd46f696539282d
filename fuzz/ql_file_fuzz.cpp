// libFuzzer harness for the configuration reader: any bytes as a .bin file, then the read loops
// the launcher runs over it (words, numbers and wide strings until the end).
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "config/ql_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One scratch file per fuzzing process: parallel jobs must not share it.
    static const std::string path = "/tmp/ql_file_fuzz_" + std::to_string(getpid()) + ".bin";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    CQLFile file;
    if (!file.Open(path.c_str())) return 0;
    for (int i = 0; i < 1000000 && !file.IsEOF(); ++i) {
        switch (i % 3) {
        case 0:
            if (file.ReadWord() == 0 && strlen(g_szWordBuffer) >= sizeof(g_szWordBuffer)) __builtin_trap();
            break;
        case 1: (void)file.ReadInt(); break;
        default: (void)file.ReadWideString(); break;
        }
    }
    // A second Open on the same reader replaces what it held.
    file.Open(path.c_str());
    return 0;
}
