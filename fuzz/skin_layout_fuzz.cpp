// libFuzzer harness for the skin layout reader: any bytes as the skin file; the face name must
// come back terminated within its array whatever the file holds.
#include <stdint.h>
#include <stdio.h>
#include <unistd.h>
#include <wchar.h>

#include <string>

#include "config/skin_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One scratch file per fuzzing process: parallel jobs must not share it.
    static const std::string path = "/tmp/skin_layout_fuzz_" + std::to_string(getpid()) + ".bin";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    fwrite(data, 1, size, f);
    fclose(f);

    QLSkinLayout layout;
    if (ReadSkinLayout(path.c_str(), layout) && wcsnlen(layout.m_szFontFace, kFontFaceUnits) == kFontFaceUnits)
        __builtin_trap();
    return 0;
}
