// What the patching pipeline shows the player in the tip and download texts, and the names it
// derives for each file. Pure functions, so the dialog's threads only send the results.
#pragma once

#include <stdint.h>

#include <string>

namespace quenlor {

extern const wchar_t kCheckingText[];    // tip while the files are verified
extern const wchar_t kStartingText[];    // tip when downloads begin
extern const wchar_t kDoneText[];        // tip and download text when patching is complete

// "需下載數[n]": files still to begin, counting the one being begun.
std::wstring RemainingText(int32_t remaining);
// "文件:name 大小:n KB 剩余:n KB " with the length and the missing bytes in whole KB.
std::wstring ProgressText(const std::wstring& fileName, uint32_t length, uint32_t missing);
// "文件[name]下載出錯！！！"
std::wstring DownloadErrorText(const std::wstring& fileName);

// The part of a local path after its last backslash (all of it when there is none).
std::wstring FileNameOf(const std::wstring& localPath);

}  // namespace quenlor
