// The server and URL configuration of the launcher (.\Image\Autopatch\AutoPatchURL.bin): pairs
// of a key word starting with '*' and a raw value word.
#pragma once

#include <string>

// The ten configuration strings, as the main dialog holds them.
struct QLUrlConfig {
    std::wstring m_strLunchVer;
    std::wstring m_strHomePage;
    std::wstring m_strPayUrl;
    std::wstring m_strQQ;
    std::wstring m_strLine;
    std::wstring m_strExeName;
    std::wstring m_strGGUrl;
    std::wstring m_strUpLuchUrl;
    std::wstring m_strLunchName;
    std::wstring m_strUpUrl;
};

// False when the file cannot be loaded (the strings are then untouched). A known key replaces its
// string with the next word, read raw; a later key wins; words that are no key are skipped.
bool ReadUrlConfig(const char* path, QLUrlConfig& config);

class CQLFile;
// The same from a reader already loaded, from where it stands to the end of its body.
void ReadUrlConfig(CQLFile& file, QLUrlConfig& config);

// True for the ten key words; the word after a key is its value, never a key of its own.
bool IsUrlConfigKey(const char* word);
