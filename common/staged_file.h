// Replaces a client file only once its new content is complete: the bytes go to a temporary file
// beside the target, and the target is swapped for it at Commit. A full disk, a cut-off transfer
// or a stop leaves the old file as it was, and a file larger than memory can be patched. The
// temporary file never outlives the process that writes it: it stays marked for deletion until
// the moment it is complete and renamed.
#pragma once

#include <stddef.h>

#include <string>

namespace quenlor {

class StagedFile {
public:
    // The temporary name: the target's name with this suffix, in the target's folder.
    static const wchar_t kTempSuffix[];

    // Removes a temporary file of the target left by an earlier run. The temporary file is marked
    // for deletion while it is written, so only a process ended in the instant between lifting
    // that mark and the rename can leave one.
    static void RemoveLeftover(const std::wstring& targetPath);

    explicit StagedFile(const std::wstring& targetPath);
    ~StagedFile();  // removes the temporary file unless it was committed

    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates (truncates) the temporary file. False when the folder is missing or not writable.
    bool Open();
    bool IsOpen() const { return handle_ != nullptr; }
    // False on a short write (full disk); the temporary file is then useless.
    bool Write(const void* bytes, size_t count);
    // Closes the temporary file and puts it in the target's place. False when the target cannot
    // be replaced (locked, read-only); the target then keeps its old content.
    bool Commit();

    const std::wstring& TempPath() const { return temp_path_; }

private:
    void Discard();

    std::wstring target_path_;
    std::wstring temp_path_;
    void* handle_ = nullptr;  // HANDLE in the product, FILE* in the native build
    bool write_failed_ = false;
};

}  // namespace quenlor
