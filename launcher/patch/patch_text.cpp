#include "patch_text.h"

namespace quenlor {

const wchar_t kCheckingText[] = L"文件查驗中...";
const wchar_t kStartingText[] = L"開始下载";
const wchar_t kDoneText[] = L"完成";

std::wstring RemainingText(int32_t remaining)
{
    return L"需下載數[" + std::to_wstring(remaining) + L"]";
}

std::wstring ProgressText(const std::wstring& fileName, uint32_t length, uint32_t missing)
{
    return L"文件:" + fileName + L" 大小:" + std::to_wstring(length / 1024) + L" KB 剩余:" +
           std::to_wstring(missing >> 10) + L" KB ";
}

std::wstring DownloadErrorText(const std::wstring& fileName)
{
    return L"文件[" + fileName + L"]下載出錯！！！";
}

std::wstring FileNameOf(const std::wstring& localPath)
{
    size_t slash = localPath.rfind(L'\\');
    return slash == std::wstring::npos ? localPath : localPath.substr(slash + 1);
}

}  // namespace quenlor
