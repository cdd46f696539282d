#include "config_file.h"

#include "config/scramble.h"

namespace qlconfig {

namespace {

void Append32(std::string& out, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

uint32_t Read32(const std::string& in, size_t at)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])) << (8 * i);
    return value;
}

constexpr size_t kBodyOffset = quenlor::kConfigHeaderBytes + quenlor::kConfigPaddingBytes;

}  // namespace

std::string BuildConfigFile(const std::string& body, uint32_t divisor)
{
    std::string file;
    Append32(file, 0);
    Append32(file, divisor);
    Append32(file, static_cast<uint32_t>(body.size()));
    file.append(quenlor::kConfigPaddingBytes, '\0');
    std::string scrambled = body;
    quenlor::ScrambleConfigBody(reinterpret_cast<uint8_t*>(&scrambled[0]), static_cast<uint32_t>(scrambled.size()), divisor);
    file += scrambled;
    file.append(quenlor::kConfigPaddingBytes, '\0');
    return file;
}

bool ParseConfigFile(const std::string& file, std::string& body, std::string& error)
{
    if (file.size() < quenlor::kConfigHeaderBytes) {
        error = "shorter than the 12-byte header";
        return false;
    }
    const uint32_t divisor = Read32(file, 4);
    const uint32_t length = Read32(file, 8);
    if (length != 0 && divisor == 0) {
        error = "divisor 0 with a non-empty body";
        return false;
    }
    if (file.size() < kBodyOffset || file.size() - kBodyOffset < length) {
        error = "length " + std::to_string(length) + " is beyond the end of the file";
        return false;
    }
    body = file.substr(kBodyOffset, length);
    quenlor::UnscrambleConfigBody(reinterpret_cast<uint8_t*>(&body[0]), length, divisor);
    return true;
}

std::string WithCrLfLineEnds(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace qlconfig
