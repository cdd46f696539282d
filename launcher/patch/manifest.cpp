#include "manifest.h"

#include <string.h>

#include "ansi_text.h"

namespace quenlor {

namespace {

// Pieces of text between runs of separators; empty pieces never appear.
std::vector<std::wstring> SplitAtRuns(const std::wstring& text, const wchar_t* separators)
{
    std::vector<std::wstring> pieces;
    size_t start = text.find_first_not_of(separators);
    while (start != std::wstring::npos) {
        size_t end = text.find_first_of(separators, start);
        pieces.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        start = end == std::wstring::npos ? end : text.find_first_not_of(separators, end);
    }
    return pieces;
}

}  // namespace

std::vector<ManifestEntry> ParseManifest(const std::wstring& text)
{
    std::vector<ManifestEntry> entries;
    for (const std::wstring& record : SplitAtRuns(text, L"#\r\n")) {
        std::vector<std::wstring> fields = SplitAtRuns(record, L"|");
        if (fields.size() != 2) continue;
        entries.push_back(ManifestEntry{fields[0], fields[1]});
    }
    return entries;
}

std::wstring ManifestTextFromBody(const char* body, size_t length)
{
    if (!body) return std::wstring();
    const void* nul = memchr(body, 0, length);
    size_t text_length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - body) : length;
    return AnsiToWide(body, text_length);
}

}  // namespace quenlor
