// libFuzzer harness for the FTP layer's listing parser: one line as a server would send it,
// parsed as an MLSD line and as a LIST line (Unix and DOS forms, with a "now" from the input for
// the year inference), and the name matched against a pattern from the input.
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_input.h"
#include "listing_parser.h"

namespace {

void CheckEntry(const WIN32_FIND_DATAA& entry)
{
    const size_t n = strnlen(entry.cFileName, MAX_PATH);
    if (n == MAX_PATH) __builtin_trap();  // not terminated
    const std::string name(entry.cFileName, n);
    // Totals, blank lines and the folder's own entries are no entries.
    if (name.empty() || name == "." || name == "..") __builtin_trap();
    const bool dir = entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY;
    if (!dir && entry.dwFileAttributes != FILE_ATTRIBUTE_NORMAL) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    SYSTEMTIME now = {};
    now.wYear = static_cast<WORD>(1990 + in.Below(60));
    now.wMonth = static_cast<WORD>(1 + in.Below(12));
    now.wDay = static_cast<WORD>(1 + in.Below(28));
    const std::string pattern = in.Bytes(12);
    const std::string line = in.Bytes(400);
    if (pattern.find('\0') != std::string::npos) return 0;

    WIN32_FIND_DATAA entry;
    memset(&entry, 0xCC, sizeof entry);
    if (asyncftp::ParseMlsdLine(line, entry)) {
        CheckEntry(entry);
        (void)asyncftp::MatchesPattern(entry.cFileName, pattern);
    }
    memset(&entry, 0xCC, sizeof entry);
    if (asyncftp::ParseListLine(line, entry, now)) {
        CheckEntry(entry);
        (void)asyncftp::MatchesPattern(entry.cFileName, pattern);
    }
    (void)asyncftp::MatchesPattern(line.c_str(), pattern);
    return 0;
}
