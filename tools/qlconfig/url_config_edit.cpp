#include "url_config_edit.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

#include "config/ql_file.h"
#include "config_file.h"

namespace qlconfig {

namespace {

// The launcher's reader over a file image: its body is cut into words exactly as the launcher
// cuts it. The reader owns the copied body (L + 1 bytes, the last 0) and frees it.
bool LoadReader(const std::string& file, CQLFile& reader, std::string& body, std::string& error)
{
    if (!ParseConfigFile(file, body, error)) return false;
    char* copy = static_cast<char*>(calloc(body.size() + 1, 1));
    if (!copy) {
        error = "out of memory";
        return false;
    }
    memcpy(copy, body.data(), body.size());
    reader.m_pBody = copy;
    reader.m_dwLength = static_cast<uint32_t>(body.size());
    reader.m_dwReadPos = 0;
    reader.m_bLoaded = 1;
    return true;
}

bool IsSeparator(const std::string& body, size_t at)
{
    return body[at] == ' ' || body[at] == '\t' || (body[at] == '\r' && at + 1 < body.size() && body[at + 1] == '\n');
}

bool EndsWithCrLf(const std::string& body)
{
    return body.size() >= 2 && body.compare(body.size() - 2, 2, "\r\n") == 0;
}

struct Span {
    size_t start;
    size_t end;
};

// Where the value word after a key lies: the reader stood at from before reading it and at to
// after; separators and CR LF pairs before it are skipped, those after it end it.
Span ValueSpan(const std::string& body, size_t from, size_t to)
{
    size_t start = from;
    while (start < to && IsSeparator(body, start)) start += body[start] == '\r' ? 2 : 1;
    size_t end = start;
    while (end < to && !IsSeparator(body, end)) ++end;
    return {start, end};
}

bool SameExceptVersion(const QLUrlConfig& a, const QLUrlConfig& b)
{
    return a.m_strUpUrl == b.m_strUpUrl && a.m_strHomePage == b.m_strHomePage && a.m_strPayUrl == b.m_strPayUrl &&
           a.m_strQQ == b.m_strQQ && a.m_strLine == b.m_strLine && a.m_strExeName == b.m_strExeName &&
           a.m_strGGUrl == b.m_strGGUrl && a.m_strUpLuchUrl == b.m_strUpLuchUrl && a.m_strLunchName == b.m_strLunchName;
}

}  // namespace

bool ReadUrlConfigImage(const std::string& file, QLUrlConfig& config, std::string& error)
{
    CQLFile reader;
    std::string body;
    if (!LoadReader(file, reader, body, error)) return false;
    ReadUrlConfig(reader, config);
    return true;
}

bool IsPublishableVersion(const std::string& version)
{
    if (version.empty() || version.size() > 15) return false;
    for (char c : version) {
        if (c <= ' ' || c > '~') return false;
    }
    return true;
}

bool SetLauncherVersion(const std::string& file, const std::string& version, std::string& result, std::string& error)
{
    CQLFile reader;
    std::string body;
    if (!LoadReader(file, reader, body, error)) return false;
    QLUrlConfig before;
    std::vector<Span> values;
    while (!reader.IsEOF()) {
        reader.ReadWord();
        if (!IsUrlConfigKey(g_szWordBuffer)) continue;
        const bool is_version = strcmp(g_szWordBuffer, "*LunchVer") == 0;
        const size_t from = reader.m_dwReadPos;
        reader.ReadWideString();
        if (is_version) values.push_back(ValueSpan(body, from, reader.m_dwReadPos));
    }
    reader.m_dwReadPos = 0;
    ReadUrlConfig(reader, before);

    std::string text = body;
    if (values.empty()) {
        if (!text.empty() && !EndsWithCrLf(text)) text += "\r\n";
        text += "*LunchVer " + version + "\r\n";
    }
    // From the last to the first, so the earlier places stay where they were found.
    for (auto it = values.rbegin(); it != values.rend(); ++it) {
        std::string word = version;
        // A key that ends the text has no value yet: the version must not join the key's word.
        if (it->start == text.size() && !text.empty() && text.back() != ' ' && text.back() != '\t' && !EndsWithCrLf(text))
            word = " " + word;
        text.replace(it->start, it->end - it->start, word);
    }

    // The divisor stays; only an empty file may have none, and its new text needs one.
    uint32_t divisor = 0;
    for (int i = 0; i < 4; ++i) divisor |= static_cast<uint32_t>(static_cast<uint8_t>(file[4 + i])) << (8 * i);
    result = BuildConfigFile(text, divisor != 0 ? divisor : kDefaultConfigDivisor);
    result.replace(0, 4, file, 0, 4);  // the reserved header field, unread by the launcher, is kept too

    QLUrlConfig after;
    if (!ReadUrlConfigImage(result, after, error)) return false;
    if (after.m_strLunchVer != std::wstring(version.begin(), version.end()) || !SameExceptVersion(before, after)) {
        error = "LunchVer cannot be set without changing another value (a key without its value?)";
        return false;
    }
    return true;
}

}  // namespace qlconfig
