// Reads a list of files, in order, on a thread of its own, a few large blocks ahead of the caller
// that hashes them: while MD5 runs over one block the next is already coming from the disk, so a
// verification pass costs about the slower of reading and hashing instead of their sum, and the
// next file is opened while the current one is hashed (per-file costs overlap too).
#pragma once

#include <stdint.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "slim_sync.h"

namespace quenlor {

struct FileBlock {
    enum Kind {
        Data,    // bytes of the current file; more follow
        Last,    // the current file's last bytes (possibly none): the file was read whole
        Failed,  // the current file could not be opened or read, or the pass is stopping
    };
    Kind kind;
    const uint8_t* bytes;
    uint32_t size;
};

class ReadAheadReader {
public:
    static constexpr uint32_t kBlockBytes = 512 * 1024;
    static constexpr uint32_t kSlots = 8;

    // paths: the names in the ANSI code page, read in this order. stop: the launcher's closing
    // flag (may be null), read without a lock; once raised no further read starts. Throws
    // std::system_error when the system refuses the thread (nothing is then read).
    ReadAheadReader(std::vector<std::string> paths, const volatile int32_t* stop,
                    uint32_t blockBytes = kBlockBytes, uint32_t slots = kSlots);
    // Stops the reading thread and joins it: it ends after at most one open or one block's read.
    ~ReadAheadReader();
    ReadAheadReader(const ReadAheadReader&) = delete;
    ReadAheadReader& operator=(const ReadAheadReader&) = delete;

    // The next block of the files, in order: for each file zero or more Data blocks, then one
    // Last or Failed. The bytes stay valid until the next call. Once every file has been given
    // out, or the stop flag is raised, every call answers Failed with no bytes.
    FileBlock Next();

private:
    struct Slot {
        std::vector<uint8_t> bytes;
        uint32_t size = 0;
        FileBlock::Kind kind = FileBlock::Failed;
    };

    void ReadAll();
    void ReadFile(const std::string& path);
    // Waits for a free slot; null when the reader is to end instead.
    Slot* FreeSlot();
    void Publish();
    bool Stopping() const { return stop_ && *stop_ != 0; }

    // Slot ring. Invariants (all counters under mutex_):
    //  - produced_ and consumed_ count slots, never decrease, consumed_ <= produced_ and
    //    produced_ - consumed_ <= slots_.size();
    //  - the reading thread alone fills slot produced_ % n, and only while produced_ - consumed_
    //    < n; it touches the bytes outside the lock and makes them visible by raising produced_;
    //  - the caller alone reads slot consumed_ % n, from the Next that returned it until the next
    //    call, which raises consumed_ and so hands the slot back;
    //  - finished_ is set by the reading thread after its last Publish; quit_ by the destructor.
    // Every wait is a bounded wait in a loop that also looks at the stop flag, quit_ or
    // finished_, so a closing launcher is never held by the other side.
    std::vector<Slot> slots_;
    std::vector<std::string> paths_;
    const volatile int32_t* stop_;
    uint32_t block_bytes_;
    SlimMutex mutex_;
    SlimCondition filled_;
    SlimCondition freed_;
    uint64_t produced_ = 0;
    uint64_t consumed_ = 0;
    bool holding_ = false;  // the caller holds slot consumed_ % n (caller's thread only)
    bool finished_ = false;
    bool quit_ = false;
    std::thread reader_;
};

}  // namespace quenlor
