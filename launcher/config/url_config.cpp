#include "url_config.h"

#include <string.h>

#include "ql_file.h"

bool ReadUrlConfig(const char* path, QLUrlConfig& config)
{
    CQLFile file;
    if (!file.Open(path)) return false;

    struct Key {
        const char* word;
        std::wstring QLUrlConfig::*member;
    };
    static const Key keys[] = {
        {"*UpUrl", &QLUrlConfig::m_strUpUrl},       {"*HomePage", &QLUrlConfig::m_strHomePage},
        {"*PayUrl", &QLUrlConfig::m_strPayUrl},     {"*QQ", &QLUrlConfig::m_strQQ},
        {"*Line", &QLUrlConfig::m_strLine},         {"*ExeName", &QLUrlConfig::m_strExeName},
        {"*LunchVer", &QLUrlConfig::m_strLunchVer}, {"*GGUrl", &QLUrlConfig::m_strGGUrl},
        {"*UpLuchUrl", &QLUrlConfig::m_strUpLuchUrl}, {"*LunchName", &QLUrlConfig::m_strLunchName},
    };
    while (!file.IsEOF()) {
        file.ReadWord();
        for (const Key& key : keys) {
            if (strcmp(g_szWordBuffer, key.word) == 0) {
                // Values are addresses and file names: read raw, so a '^' in them is literal.
                config.*key.member = file.ReadWideString();
                break;
            }
        }
    }
    return true;
}
