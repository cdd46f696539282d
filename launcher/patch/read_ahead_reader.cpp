#include "read_ahead_reader.h"

#include <chrono>

#include "sequential_file.h"

namespace quenlor {

namespace {
// How long either side sleeps before it looks at the stop flag again.
constexpr std::chrono::milliseconds kStopPoll(50);
}  // namespace

ReadAheadReader::ReadAheadReader(std::vector<std::string> paths, const volatile int32_t* stop,
                                 uint32_t blockBytes, uint32_t slots)
    : slots_(slots ? slots : 1), paths_(std::move(paths)), stop_(stop), block_bytes_(blockBytes ? blockBytes : 1)
{
    for (Slot& slot : slots_) slot.bytes.resize(block_bytes_);
    reader_ = std::thread([this] { ReadAll(); });
}

ReadAheadReader::~ReadAheadReader()
{
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        quit_ = true;
    }
    freed_.notify_all();
    reader_.join();
}

FileBlock ReadAheadReader::Next()
{
    std::unique_lock<SlimMutex> lock(mutex_);
    if (holding_) {
        ++consumed_;
        holding_ = false;
        freed_.notify_one();
    }
    while (produced_ == consumed_) {
        if (finished_ || Stopping()) return FileBlock{FileBlock::Failed, nullptr, 0};
        filled_.wait_for(lock, kStopPoll);
    }
    holding_ = true;
    const Slot& slot = slots_[consumed_ % slots_.size()];
    return FileBlock{slot.kind, slot.bytes.data(), slot.size};
}

void ReadAheadReader::ReadAll()
{
    for (const std::string& path : paths_) {
        if (Stopping()) break;
        ReadFile(path);
        std::lock_guard<SlimMutex> lock(mutex_);
        if (quit_) break;
    }
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        finished_ = true;
    }
    filled_.notify_all();
}

void ReadAheadReader::ReadFile(const std::string& path)
{
    SequentialFile file;
    const bool opened = !path.empty() && file.Open(path);
    uint64_t left = file.size();
    for (;;) {
        Slot* slot = FreeSlot();
        if (!slot) return;
        slot->size = 0;
        if (!opened || Stopping()) {
            slot->kind = FileBlock::Failed;
        } else {
            const uint32_t want = left < block_bytes_ ? static_cast<uint32_t>(left) : block_bytes_;
            const int64_t got = want ? file.Read(slot->bytes.data(), want) : 0;
            if (got < 0) {
                slot->kind = FileBlock::Failed;
            } else {
                slot->size = static_cast<uint32_t>(got);
                left -= static_cast<uint64_t>(got);
                // The size taken at opening is the file: a file cut shorter meanwhile ends early.
                slot->kind = (left == 0 || got == 0) ? FileBlock::Last : FileBlock::Data;
            }
        }
        const FileBlock::Kind kind = slot->kind;
        Publish();
        if (kind != FileBlock::Data) return;
    }
}

ReadAheadReader::Slot* ReadAheadReader::FreeSlot()
{
    std::unique_lock<SlimMutex> lock(mutex_);
    while (produced_ - consumed_ >= slots_.size()) {
        if (quit_) return nullptr;
        freed_.wait_for(lock, kStopPoll);
    }
    if (quit_) return nullptr;
    return &slots_[produced_ % slots_.size()];
}

void ReadAheadReader::Publish()
{
    {
        std::lock_guard<SlimMutex> lock(mutex_);
        ++produced_;
    }
    filled_.notify_one();
}

}  // namespace quenlor
