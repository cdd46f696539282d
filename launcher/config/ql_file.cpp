#include "ql_file.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ansi_text.h"
#include "scramble.h"

char g_szWordBuffer[512];

namespace {

uint32_t ReadLittleEndian32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void StoreLittleEndian32(uint8_t* bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

struct FileCloser {
    FILE* file;
    ~FileCloser() { fclose(file); }
};

// Copies a raw word into out with the configuration escapes: "^^" is a caret, "^s" a space,
// "^e" empties the value, a caret before anything else vanishes with that byte. Double-byte
// characters pass whole, so a trail byte equal to '^' is never taken for an escape.
void CopyEscapedWord(const char* raw, uint32_t length, char* out)
{
    uint32_t o = 0;
    for (uint32_t i = 0; i < length;) {
        unsigned char c = static_cast<unsigned char>(raw[i]);
        if (quenlor::IsAnsiLeadByte(c)) {
            out[o++] = raw[i++];
            if (i < length) out[o++] = raw[i++];
            continue;
        }
        if (c == '^') {
            if (i + 1 < length) {
                char next = raw[i + 1];
                if (next == '^') out[o++] = '^';
                else if (next == 's') out[o++] = ' ';
                else if (next == 'e') out[0] = '\0';
            }
            i += 2;
            continue;
        }
        out[o++] = raw[i++];
    }
    out[o] = '\0';
}

}  // namespace

CQLFile::CQLFile()
    : m_dwReadPos(0), m_dwReserved(0), m_dwDivisor(0), m_dwLength(0), m_byPadding{0, 0}, m_pBody(nullptr), m_bLoaded(0)
{
}

CQLFile::~CQLFile()
{
    free(m_pBody);
    m_pBody = nullptr;
    m_bLoaded = 0;
    m_dwLength = 0;
}

bool CQLFile::Open(const char* pszPath)
{
    if (!pszPath) return false;
    FILE* file = fopen(pszPath, "rb");
    if (!file) return false;
    FileCloser closer{file};

    // Header fields a short file does not reach keep their earlier values.
    uint8_t header[quenlor::kConfigHeaderBytes];
    StoreLittleEndian32(header, m_dwReserved);
    StoreLittleEndian32(header + 4, m_dwDivisor);
    StoreLittleEndian32(header + 8, m_dwLength);
    size_t header_read = fread(header, 1, sizeof(header), file);
    uint8_t padding[2] = {m_byPadding[0], m_byPadding[1]};
    for (uint8_t& byte : padding) {
        int c = fgetc(file);
        if (c != EOF) byte = static_cast<uint8_t>(c);
    }
    const uint32_t reserved = ReadLittleEndian32(header);
    const uint32_t divisor = ReadLittleEndian32(header + 4);
    const uint32_t length = ReadLittleEndian32(header + 8);

    // Refuse what cannot be a configuration file rather than divide by zero or trust a length
    // the file does not hold; the earlier contents stay.
    if (length != 0 && divisor == 0) return false;
    long body_start = ftell(file);
    if (fseek(file, 0, SEEK_END) != 0) return false;
    long file_size = ftell(file);
    if (body_start < 0 || file_size < body_start || static_cast<unsigned long>(file_size - body_start) < length) {
        return false;
    }
    if (fseek(file, body_start, SEEK_SET) != 0) return false;

    char* body = nullptr;
    if (length != 0) {
        body = static_cast<char*>(calloc(static_cast<size_t>(length) + 1, 1));
        if (!body) return false;
        size_t got = fread(body, 1, length, file);
        (void)got;  // the length was checked against the file size above
        quenlor::UnscrambleConfigBody(reinterpret_cast<uint8_t*>(body), length, divisor);
        body[length] = '\0';
    }
    (void)header_read;

    free(m_pBody);
    m_pBody = body;
    m_dwReserved = reserved;
    m_dwDivisor = divisor;
    m_dwLength = length;
    m_byPadding[0] = padding[0];
    m_byPadding[1] = padding[1];
    m_dwReadPos = 0;
    m_bLoaded = 1;
    return true;
}

bool CQLFile::IsEOF() const
{
    return m_dwReadPos == m_dwLength;
}

bool CQLFile::ScanWord(char (&raw)[kWordCapacity], uint32_t& length)
{
    uint32_t p = m_dwReadPos;
    const uint32_t end = m_dwLength;
    if (p == end || !m_pBody) return false;
    const unsigned char* body = reinterpret_cast<const unsigned char*>(m_pBody);
    bool started = false;
    bool gap = false;
    length = 0;
    while (p < end) {
        unsigned char c = body[p];
        // body[end] is 0, so a CR in the last place is an ordinary byte.
        if (c == '\r' && body[p + 1] == '\n') {
            if (started) break;
            p += 2;
            continue;
        }
        if (c == ' ' || c == '\t') {
            ++p;
            if (started) gap = true;
            continue;
        }
        if (gap) break;
        if (length < kWordCapacity - 1) raw[length++] = static_cast<char>(c);
        started = true;
        ++p;
    }
    raw[length] = '\0';
    m_dwReadPos = p;
    return true;
}

int CQLFile::ReadWord()
{
    char raw[kWordCapacity];
    uint32_t length = 0;
    if (!ScanWord(raw, length)) return -1;
    CopyEscapedWord(raw, length, g_szWordBuffer);
    return 0;
}

int CQLFile::ReadInt()
{
    ReadWord();
    return atoi(g_szWordBuffer);
}

std::wstring CQLFile::ReadWideString()
{
    char raw[kWordCapacity];
    uint32_t length = 0;
    if (!ScanWord(raw, length)) return std::wstring();
    return quenlor::AnsiToWide(raw, length);
}
