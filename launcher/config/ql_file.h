// CQLFile: reader of the launcher's scrambled .bin configuration files. The file is loaded whole,
// unscrambled, and handed out as a forward stream of words, numbers and wide strings.
#pragma once

#include <stdint.h>

#include <string>

// Receives every word read by CQLFile::ReadWord; shared by all readers, so a caller copies what
// it needs before the next read.
extern char g_szWordBuffer[512];

class CQLFile {
public:
    CQLFile();
    virtual ~CQLFile();

    CQLFile(const CQLFile&) = delete;
    CQLFile& operator=(const CQLFile&) = delete;

    // False for a null path, a file that cannot be opened, or a file that is not a valid
    // configuration file (a divisor of 0 with a body, or a length beyond what the file holds);
    // in every such case the earlier contents stay as they were.
    bool Open(const char* pszPath);
    bool IsEOF() const;
    // 0 with the next word (escapes applied) in g_szWordBuffer; -1 at the end of the body.
    int ReadWord();
    // The next word through atoi; past the end, the last word read again.
    int ReadInt();
    // The next word, raw (no escapes), converted from the ANSI code page; empty at the end.
    std::wstring ReadWideString();

    uint32_t m_dwReadPos;
    uint32_t m_dwReserved;
    uint32_t m_dwDivisor;
    uint32_t m_dwLength;
    uint8_t m_byPadding[2];
    char* m_pBody;  // m_dwLength + 1 bytes, the last always 0; null while nothing is loaded
    int32_t m_bLoaded;

private:
    static constexpr uint32_t kWordCapacity = sizeof(g_szWordBuffer);

    // Collects the raw bytes of the next word into raw (at most kWordCapacity - 1 bytes kept;
    // the rest of a longer word is consumed and dropped). False at the end of the body.
    bool ScanWord(char (&raw)[kWordCapacity], uint32_t& length);
};
