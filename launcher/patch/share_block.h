// The 64-byte block "SendMessAge" shared with the game client: the launcher writes the line
// text into it before each start, and the client writes "Dangerou" when the launcher should close.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace quenlor {

constexpr size_t kShareBlockSize = 64;
extern const wchar_t kShareBlockName[];  // "SendMessAge"
extern const wchar_t kClientRunName[];   // "ClientRun", held by the running client
extern const char kCloseRequestWord[];   // "Dangerou"

// The error code the launcher reports, like a failed process start, when the line text does not
// fit the block (ERROR_INSUFFICIENT_BUFFER): the client would otherwise get a cut-off line.
constexpr uint32_t kLineTooLongError = 122;

// Copies the ANSI line and its NUL to the start of the block. False, with the block untouched,
// when the text needs more than 63 bytes.
bool WriteLineToShareBlock(const std::string& ansiLine, uint8_t* block);

// The NUL-terminated text at the start of the block. A block without a NUL in its 64 bytes holds
// no valid text: terminated is cleared and the result is empty.
std::string ReadShareBlockText(const uint8_t* block, bool* terminated = nullptr);

// True only for exactly "Dangerou" and its NUL.
bool IsCloseRequest(const uint8_t* block);

}  // namespace quenlor
