// What the updater fetches and where it puts it, worked out from its command line: the rules,
// free of any window or connection, so they are tested natively.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace renovek {

// One download: the full local file name to write and the URL to fetch (narrow, ANSI code page).
struct UpdateJob {
    std::string strPath;
    std::string strUrl;
};

// Pieces of the command line cut at runs of '|', empty pieces dropped (as strtok does).
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The launcher's URL with "?abc=" and the low 32 bits of the time as a signed number, every
// backslash turned into a slash; the query keeps every cache on the way from answering.
std::string MakeUpdateUrl(const std::string& url, int64_t unixSeconds);
std::string MakeUpdateUrl(const std::string& url);  // now

// The server folder: the URL up to, not including, its last '/' (the whole URL when it has none).
std::string BaseUrlOf(const std::string& url);

// Both jobs from pieces 1 and 2 of the command line; false when there are fewer than two pieces
// (the updater started by hand), in which case nothing may be fetched or written.
bool MakeLauncherJob(const std::vector<std::string>& pieces, int64_t unixSeconds, UpdateJob& job);
UpdateJob MakeBackgroundJob(const std::string& currentDir, const std::string& baseUrl);

}  // namespace renovek
