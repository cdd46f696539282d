#include "staged_file.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <stdio.h>

#include "ansi_text.h"
#endif

namespace quenlor {

const wchar_t StagedFile::kTempSuffix[] = L".qlpart";

namespace {

#if !defined(_WIN32)
// Native builds address the same relative paths with '/' separators, in the ANSI code page.
std::string NativeName(const std::wstring& path)
{
    std::wstring copy = path;
    for (wchar_t& ch : copy) {
        if (ch == L'\\') ch = L'/';
    }
    return WideToAnsi(copy);
}
#endif

}  // namespace

StagedFile::StagedFile(const std::wstring& targetPath)
    : target_path_(targetPath), temp_path_(targetPath + kTempSuffix)
{
}

StagedFile::~StagedFile() { Discard(); }

bool StagedFile::Open()
{
    Discard();
    write_failed_ = false;
#if defined(_WIN32)
    HANDLE h = CreateFileW(temp_path_.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    handle_ = h;
    // Marked for deletion from the start: whatever ends the process (a close during a blocked
    // read, a hard kill, a crash), the system removes the temporary file with the last handle.
    // Commit lifts the mark just before the rename.
    FILE_DISPOSITION_INFO disposition = {TRUE};
    SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof(disposition));
#else
    handle_ = fopen(NativeName(temp_path_).c_str(), "wb");
#endif
    return handle_ != nullptr;
}

bool StagedFile::Write(const void* bytes, size_t count)
{
    if (!handle_ || write_failed_) return false;
#if defined(_WIN32)
    const char* p = static_cast<const char*>(bytes);
    while (count > 0) {
        DWORD piece = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(static_cast<HANDLE>(handle_), p, piece, &written, nullptr) || written != piece) {
            write_failed_ = true;
            return false;
        }
        p += piece;
        count -= piece;
    }
#else
    if (fwrite(bytes, 1, count, static_cast<FILE*>(handle_)) != count) {
        write_failed_ = true;
        return false;
    }
#endif
    return true;
}

bool StagedFile::Commit()
{
    if (!handle_ || write_failed_) {
        Discard();
        return false;
    }
#if defined(_WIN32)
    // Flushed before the swap so a power cut cannot leave a committed name with missing bytes.
    bool ok = FlushFileBuffers(static_cast<HANDLE>(handle_)) != FALSE;
    FILE_DISPOSITION_INFO keep = {FALSE};
    ok = ok && SetFileInformationByHandle(static_cast<HANDLE>(handle_), FileDispositionInfo, &keep, sizeof(keep)) != FALSE;
    ok = CloseHandle(static_cast<HANDLE>(handle_)) != FALSE && ok;
    handle_ = nullptr;
    ok = ok && MoveFileExW(temp_path_.c_str(), target_path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
#else
    bool ok = fclose(static_cast<FILE*>(handle_)) == 0;
    handle_ = nullptr;
    ok = ok && rename(NativeName(temp_path_).c_str(), NativeName(target_path_).c_str()) == 0;
#endif
    if (!ok) Discard();
    return ok;
}

void StagedFile::RemoveLeftover(const std::wstring& targetPath)
{
#if defined(_WIN32)
    DeleteFileW((targetPath + kTempSuffix).c_str());
#else
    remove(NativeName(targetPath + kTempSuffix).c_str());
#endif
}

void StagedFile::Discard()
{
#if defined(_WIN32)
    if (handle_) {
        CloseHandle(static_cast<HANDLE>(handle_));
        handle_ = nullptr;
    }
    DeleteFileW(temp_path_.c_str());
#else
    if (handle_) {
        fclose(static_cast<FILE*>(handle_));
        handle_ = nullptr;
    }
    remove(NativeName(temp_path_).c_str());
#endif
}

}  // namespace quenlor
