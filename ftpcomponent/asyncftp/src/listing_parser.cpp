#include "listing_parser.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

namespace asyncftp {
namespace {

void StartEntry(WIN32_FIND_DATAA& entry, const std::string& name, bool directory, unsigned long long size)
{
    std::memset(&entry, 0, sizeof entry);
    entry.dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    entry.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    entry.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    lstrcpynA(entry.cFileName, name.c_str(), MAX_PATH);
}

void SetTime(WIN32_FIND_DATAA& entry, int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME ft;
    if (SystemTimeToFileTime(&st, &ft)) {
        entry.ftLastWriteTime = ft;
        entry.ftCreationTime = ft;
        entry.ftLastAccessTime = ft;
    }
}

// The folder's own entries, and names the find record cannot carry: its name is a C string, so a
// NUL byte would hand the caller a shorter name (empty, ".", "..", or another file's).
bool NamesNoEntry(const std::string& name)
{
    return name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos;
}

bool AllDigits(const std::string& s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int MonthNumber(const std::string& word)
{
    static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                        "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() != 3) return 0;
    for (int i = 0; i < 12; ++i)
        if (_strnicmp(word.c_str(), names[i], 3) == 0) return i + 1;
    return 0;
}

// Splits off the first `count` blank-separated fields; `rest` keeps everything after the blanks
// that follow the last of them, so names with inner and leading-after-field spaces stay whole.
bool SplitFields(const std::string& line, size_t count, std::vector<std::string>& fields, std::string& rest)
{
    fields.clear();
    size_t pos = 0;
    while (fields.size() < count) {
        while (pos < line.size() && line[pos] == ' ') ++pos;
        if (pos >= line.size()) return false;
        const size_t end = line.find(' ', pos);
        if (end == std::string::npos) return false;
        fields.push_back(line.substr(pos, end - pos));
        pos = end;
    }
    if (pos < line.size()) ++pos;  // the one separator before the name; further blanks belong to it
    while (pos < line.size() && line[pos] == ' ' && count != 8) ++pos;
    rest = line.substr(pos);
    return !rest.empty();
}

bool ParseUnixLine(const std::string& line, WIN32_FIND_DATAA& entry, const SYSTEMTIME& now)
{
    // perms links owner group size month day time-or-year name
    std::vector<std::string> f;
    std::string name;
    if (!SplitFields(line, 8, f, name)) return false;
    const char type = f[0][0];
    if (std::strchr("-dl", type) == nullptr || f[0].size() < 10) return false;
    if (!AllDigits(f[4])) return false;
    const int month = MonthNumber(f[5]);
    const int day = std::atoi(f[6].c_str());
    if (month == 0 || day < 1 || day > 31) return false;
    if (type == 'l') {
        const size_t arrow = name.find(" -> ");
        if (arrow != std::string::npos) name.erase(arrow);
    }
    if (NamesNoEntry(name)) return false;
    StartEntry(entry, name, type == 'd', std::strtoull(f[4].c_str(), nullptr, 10));
    int year = now.wYear, hour = 0, minute = 0;
    if (f[7].find(':') != std::string::npos) {
        hour = std::atoi(f[7].c_str());
        minute = std::atoi(f[7].c_str() + f[7].find(':') + 1);
        // Without a year the date is within the last six months, so a date after today is last
        // year's. One day of slack: the server's clock may run a time zone ahead of ours.
        const int daysAhead = (month - now.wMonth) * 31 + (day - now.wDay);
        if (daysAhead > 1) --year;
    } else {
        year = std::atoi(f[7].c_str());
    }
    SetTime(entry, year, month, day, hour, minute, 0);
    return true;
}

bool ParseDosLine(const std::string& line, WIN32_FIND_DATAA& entry)
{
    // MM-DD-YY  HH:MM[AM|PM]  <DIR>|size  name
    std::vector<std::string> f;
    std::string name;
    if (!SplitFields(line, 3, f, name)) return false;
    int month = 0, day = 0, year = 0, hour = 0, minute = 0;
    char am[3] = {};
    if (std::sscanf(f[0].c_str(), "%d-%d-%d", &month, &day, &year) != 3) return false;
    if (std::sscanf(f[1].c_str(), "%d:%d%2s", &hour, &minute, am) < 2) return false;
    if (year < 100) year += year < 70 ? 2000 : 1900;
    if (_stricmp(am, "PM") == 0 && hour < 12) hour += 12;
    if (_stricmp(am, "AM") == 0 && hour == 12) hour = 0;
    const bool directory = _stricmp(f[2].c_str(), "<DIR>") == 0;
    if (!directory && !AllDigits(f[2])) return false;
    if (NamesNoEntry(name)) return false;
    StartEntry(entry, name, directory, directory ? 0 : std::strtoull(f[2].c_str(), nullptr, 10));
    SetTime(entry, year, month, day, hour, minute, 0);
    return true;
}

bool WildMatch(const char* name, const char* pattern)
{
    // Iterative match with one backtrack point per '*': linear enough for file names.
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*name) {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
        } else if (*pattern == '?' ||
                   std::tolower(static_cast<unsigned char>(*pattern)) == std::tolower(static_cast<unsigned char>(*name))) {
            ++pattern;
            ++name;
        } else if (starPattern) {
            pattern = starPattern;
            name = ++starName;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

}  // namespace

bool ParseMlsdLine(const std::string& line, WIN32_FIND_DATAA& entry)
{
    // facts "type=file;size=12;modify=20230102030405;" then one space and the name.
    const size_t space = line.find(' ');
    if (space == std::string::npos) return false;
    const std::string name = line.substr(space + 1);
    std::string type;
    unsigned long long size = 0;
    std::string modify;
    std::istringstream facts(line.substr(0, space));
    std::string fact;
    while (std::getline(facts, fact, ';')) {
        const size_t eq = fact.find('=');
        if (eq == std::string::npos) continue;
        std::string key = fact.substr(0, eq);
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string value = fact.substr(eq + 1);
        if (key == "type") {
            type = value;
            for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (key == "size") {
            size = std::strtoull(value.c_str(), nullptr, 10);
        } else if (key == "modify") {
            modify = value;
        }
    }
    if (type == "cdir" || type == "pdir" || NamesNoEntry(name)) return false;
    StartEntry(entry, name, type == "dir", type == "dir" ? 0 : size);
    int y, mo, d, h, mi, s;
    if (modify.size() >= 14 && std::sscanf(modify.c_str(), "%4d%2d%2d%2d%2d%2d", &y, &mo, &d, &h, &mi, &s) == 6)
        SetTime(entry, y, mo, d, h, mi, s);
    return true;
}

bool ParseListLine(const std::string& line, WIN32_FIND_DATAA& entry, const SYSTEMTIME& now)
{
    if (line.empty()) return false;
    if (std::isdigit(static_cast<unsigned char>(line[0]))) return ParseDosLine(line, entry);
    return ParseUnixLine(line, entry, now);
}

bool MatchesPattern(const char* name, const std::string& pattern)
{
    if (pattern.empty() || pattern == "*.*") return true;
    return WildMatch(name, pattern.c_str());
}

}  // namespace asyncftp
