#include "update_job.h"

#include <stdio.h>
#include <time.h>

namespace renovek {

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> pieces;
    size_t pos = 0;
    while (pos < commandLine.size()) {
        size_t start = commandLine.find_first_not_of('|', pos);
        if (start == std::string::npos) break;
        size_t end = commandLine.find('|', start);
        if (end == std::string::npos) end = commandLine.size();
        pieces.push_back(commandLine.substr(start, end - start));
        pos = end;
    }
    return pieces;
}

std::string MakeUpdateUrl(const std::string& url, int64_t unixSeconds)
{
    char query[32];
    snprintf(query, sizeof(query), "?abc=%d", static_cast<int32_t>(static_cast<uint32_t>(unixSeconds)));
    std::string result = url + query;
    for (char& ch : result) {
        if (ch == '\\') ch = '/';
    }
    return result;
}

std::string MakeUpdateUrl(const std::string& url)
{
    return MakeUpdateUrl(url, static_cast<int64_t>(time(nullptr)));
}

std::string BaseUrlOf(const std::string& url)
{
    size_t slash = url.rfind('/');
    return slash == std::string::npos ? url : url.substr(0, slash);
}

bool MakeLauncherJob(const std::vector<std::string>& pieces, int64_t unixSeconds, UpdateJob& job)
{
    if (pieces.size() < 2) return false;
    job.strPath = pieces[1];
    job.strUrl = MakeUpdateUrl(pieces[0], unixSeconds);
    return true;
}

UpdateJob MakeBackgroundJob(const std::string& currentDir, const std::string& baseUrl)
{
    return UpdateJob{currentDir + "\\Image\\Autopatch\\BackGround.bmp", baseUrl + "/BackGround.bmp"};
}

}  // namespace renovek
