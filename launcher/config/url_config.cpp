#include "url_config.h"

#include <string.h>

#include "ql_file.h"

namespace {

struct Key {
    const char* word;
    std::wstring QLUrlConfig::*member;
};

const Key kKeys[] = {
    {"*UpUrl", &QLUrlConfig::m_strUpUrl},       {"*HomePage", &QLUrlConfig::m_strHomePage},
    {"*PayUrl", &QLUrlConfig::m_strPayUrl},     {"*QQ", &QLUrlConfig::m_strQQ},
    {"*Line", &QLUrlConfig::m_strLine},         {"*ExeName", &QLUrlConfig::m_strExeName},
    {"*LunchVer", &QLUrlConfig::m_strLunchVer}, {"*GGUrl", &QLUrlConfig::m_strGGUrl},
    {"*UpLuchUrl", &QLUrlConfig::m_strUpLuchUrl}, {"*LunchName", &QLUrlConfig::m_strLunchName},
};

const Key* FindKey(const char* word)
{
    for (const Key& key : kKeys) {
        if (strcmp(word, key.word) == 0) return &key;
    }
    return nullptr;
}

}  // namespace

bool IsUrlConfigKey(const char* word)
{
    return FindKey(word) != nullptr;
}

void ReadUrlConfig(CQLFile& file, QLUrlConfig& config)
{
    while (!file.IsEOF()) {
        file.ReadWord();
        if (const Key* key = FindKey(g_szWordBuffer)) {
            // Values are addresses and file names: read raw, so a '^' in them is literal.
            config.*key->member = file.ReadWideString();
        }
    }
}

bool ReadUrlConfig(const char* path, QLUrlConfig& config)
{
    CQLFile file;
    if (!file.Open(path)) return false;
    ReadUrlConfig(file, config);
    return true;
}
