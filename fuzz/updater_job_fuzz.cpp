// libFuzzer harness for the updater's command line: the splitter and the URL rules built on its
// pieces, held to what they promise (pieces without '|', nothing else lost; URLs without '\').
#include <stdint.h>

#include <string>

#include "fuzz_input.h"
#include "update_job.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    const int64_t seconds = static_cast<int64_t>(static_cast<uint64_t>(in.Word()) << 32 | in.Word());
    const std::string line = in.Bytes(4096);

    const std::vector<std::string> pieces = renovek::SplitCommandLine(line);
    std::string joined, without_bars;
    for (const std::string& p : pieces) {
        CHECK(!p.empty() && p.find('|') == std::string::npos);
        joined += p;
    }
    for (char c : line)
        if (c != '|') without_bars += c;
    CHECK(joined == without_bars);

    renovek::UpdateJob job;
    const bool made = renovek::MakeLauncherJob(pieces, seconds, job);
    CHECK(made == (pieces.size() >= 2));
    if (made) {
        CHECK(job.strPath == pieces[1]);
        CHECK(job.strUrl.find('\\') == std::string::npos);
        const size_t query = job.strUrl.rfind("?abc=");
        CHECK(query != std::string::npos && query == job.strUrl.size() - job.strUrl.substr(query).size());
        CHECK(query >= pieces[0].size());
    }
    const std::string base = renovek::BaseUrlOf(line);
    CHECK(line.compare(0, base.size(), base) == 0);
    const renovek::UpdateJob background = renovek::MakeBackgroundJob(line, base);
    CHECK(background.strUrl.size() == base.size() + 15);
    return 0;
}
