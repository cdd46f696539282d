// qlconfig: the operators' tool for the launcher's scrambled configuration files.
//
//   qlconfig scramble   TEXT BIN [--divisor N] [--raw]
//   qlconfig unscramble BIN TEXT [--raw]
//
// TEXT is UTF-8 and is stored in GBK, the launcher's code page, with CR LF line ends; --raw keeps
// the bytes (and line ends) exactly as they are, for text already in GBK.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "config_file.h"
#include "gbk_text.h"

namespace {

constexpr uint32_t kDefaultDivisor = 16;

bool ReadWholeFile(const std::string& path, std::string& data)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    data.clear();
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), f)) > 0) data.append(chunk, got);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// Writes beside the target first, so a failed write never leaves a half file in its place.
bool WriteWholeFile(const std::string& path, const std::string& data)
{
    std::string temp = path + ".part";
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (fclose(f) == 0) && ok;
    if (ok) {
        remove(path.c_str());
        ok = rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok) remove(temp.c_str());
    return ok;
}

int Usage()
{
    fprintf(stderr,
            "usage: qlconfig scramble TEXT BIN [--divisor N] [--raw]\n"
            "       qlconfig unscramble BIN TEXT [--raw]\n");
    return 64;
}

int Fail(const std::string& message)
{
    fprintf(stderr, "qlconfig: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) return Usage();
    const std::string command = argv[1];
    const std::string input = argv[2];
    const std::string output = argv[3];
    bool raw = false;
    uint32_t divisor = kDefaultDivisor;
    for (int i = 4; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--raw") {
            raw = true;
        } else if (option == "--divisor" && i + 1 < argc) {
            char* end = nullptr;
            unsigned long value = strtoul(argv[++i], &end, 10);
            if (!end || *end || value == 0 || value > 0xFFFFFFFFul) return Fail("the divisor must be a number from 1 to 4294967295");
            divisor = static_cast<uint32_t>(value);
        } else {
            return Usage();
        }
    }

    std::string data;
    if (!ReadWholeFile(input, data)) return Fail("cannot read " + input);

    if (command == "scramble") {
        std::string body = data;
        if (!raw) {
            if (!qlconfig::Utf8ToGbk(data, body)) return Fail(input + " is not UTF-8 text that GBK can hold (use --raw for GBK text)");
            body = qlconfig::WithCrLfLineEnds(body);
        }
        if (!WriteWholeFile(output, qlconfig::BuildConfigFile(body, divisor))) return Fail("cannot write " + output);
        return 0;
    }
    if (command == "unscramble") {
        std::string body, error;
        if (!qlconfig::ParseConfigFile(data, body, error)) return Fail(input + ": " + error);
        std::string text = body;
        if (!raw && !qlconfig::GbkToUtf8(body, text)) return Fail(input + " holds bytes that are not GBK text (use --raw)");
        if (!WriteWholeFile(output, text)) return Fail("cannot write " + output);
        return 0;
    }
    return Usage();
}
