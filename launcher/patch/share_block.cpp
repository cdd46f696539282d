#include "share_block.h"

#include <string.h>

namespace quenlor {

const wchar_t kShareBlockName[] = L"SendMessAge";
const wchar_t kClientRunName[] = L"ClientRun";
const char kCloseRequestWord[] = "Dangerou";

bool WriteLineToShareBlock(const std::string& ansiLine, uint8_t* block)
{
    if (ansiLine.size() >= kShareBlockSize) return false;
    memcpy(block, ansiLine.c_str(), ansiLine.size() + 1);
    return true;
}

std::string ReadShareBlockText(const uint8_t* block, bool* terminated)
{
    // A local copy first: the client may write while we look, and we never read past 64 bytes.
    char copy[kShareBlockSize];
    memcpy(copy, block, kShareBlockSize);
    const void* nul = memchr(copy, 0, kShareBlockSize);
    if (terminated) *terminated = nul != nullptr;
    if (!nul) return std::string();
    return std::string(copy, static_cast<const char*>(nul) - copy);
}

bool IsCloseRequest(const uint8_t* block)
{
    bool terminated = false;
    return ReadShareBlockText(block, &terminated) == kCloseRequestWord && terminated;
}

}  // namespace quenlor
