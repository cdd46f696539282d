#include "updater_handoff.h"

namespace quenlor {

bool LauncherVersionMatches(const std::wstring& configured, const std::wstring& builtIn)
{
    return configured == builtIn;
}

std::wstring UpdaterCommandLine(const std::wstring& upLuchUrl, const std::wstring& curDir, const std::wstring& lunchName)
{
    return upLuchUrl + L"/" + lunchName + L"|" + curDir + L"\\" + lunchName;
}

std::wstring UpdaterPath(const std::wstring& curDir)
{
    return curDir + L"\\Image\\Autopatch\\Renovek.exe";
}

}  // namespace quenlor
