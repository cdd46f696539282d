// A client file opened for reading from start to end through the system's own calls, in blocks as
// large as the caller asks for (no runtime buffering that splits them). Shared for reading and
// writing like the C runtime's "rb" stream, so a file another program holds open still verifies;
// one locked against reading does not open.
#pragma once

#include <stdint.h>

#include <string>

namespace quenlor {

class SequentialFile {
public:
    SequentialFile() = default;
    ~SequentialFile() { Close(); }
    SequentialFile(const SequentialFile&) = delete;
    SequentialFile& operator=(const SequentialFile&) = delete;

    // ansiPath: the name in the ANSI code page. False when it cannot be opened (missing, a
    // folder, locked); size() is then 0.
    bool Open(const std::string& ansiPath);
    uint64_t size() const { return size_; }
    // Bytes read (0 at the end of the file), or -1 when the read failed.
    int64_t Read(void* buffer, uint32_t capacity);
    void Close();

private:
    void* handle_ = nullptr;  // HANDLE in the product; the descriptor plus one in the native build
    uint64_t size_ = 0;
};

}  // namespace quenlor
