// The launcher's version rule and what it hands the updater when it is out of date.
#pragma once

#include <string>

namespace quenlor {

// Exact text comparison: any difference, an empty configured value included, means the
// launcher must be replaced. There is no older or newer.
bool LauncherVersionMatches(const std::wstring& configured, const std::wstring& builtIn);

// "<UpLuchUrl>/<LunchName>|<curDir>\<LunchName>", nothing quoted: the updater splits at '|'.
std::wstring UpdaterCommandLine(const std::wstring& upLuchUrl, const std::wstring& curDir, const std::wstring& lunchName);

// The updater program inside the client folder.
std::wstring UpdaterPath(const std::wstring& curDir);

}  // namespace quenlor
