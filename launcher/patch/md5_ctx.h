// MD5_CTX: the MD5 digest (RFC 1321) and the launcher's verification state. The launcher owns one
// for its whole life: it holds the fetched manifest text, hashes every listed file with one
// context (reset by MD5Final) and keeps the map from manifest path to expected digest.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

namespace quenlor {
class ReadAheadReader;
}

// The working directory taken when the verifier is constructed; manifest paths are appended to it.
extern wchar_t g_szWorkDir[260];

class MD5_CTX {
public:
    MD5_CTX();
    virtual ~MD5_CTX();

    void MD5Init();
    void MD5Update(const uint8_t* input, uint32_t length);
    // Writes the 16-byte digest and resets the context for the next input.
    void MD5Final(uint8_t digest[16]);
    // The compression of one 64-byte block into the chaining words.
    void MD5Transform(uint32_t chain[4], const uint8_t block[64]);

    // Appends the upper-case digest text of the file's content to digestText. False (and the text
    // untouched) when the file cannot be opened or read. The file is read in large blocks through
    // the system's calls, so its size is not limited by memory.
    bool MD5File(std::wstring& digestText, const char* ansiPath);

#if defined(_WIN32)
    // Fetches the manifest into m_strUpdateInfo (replacing it); false when it cannot be fetched.
    // A failure inside the fetch is reported to the player in a message box.
    bool GetUpdateInfo(std::wstring url);
#endif

    // Verifies every entry of m_strUpdateInfo against the files under g_szWorkDir, in manifest
    // order, and appends the path of each file that is missing or differs. Paths that would leave
    // the client folder are no entries: they are never opened and never listed. The files are
    // read ahead on a thread of the pass's own (read_ahead_reader.h), joined before this returns.
    // Temporary files of earlier runs ("<path>.qlpart") are removed on the way.
    void CheckFiles(std::vector<std::wstring>& wanted);

    // The launcher's closing flag (the dialog's m_bStop, written by the UI thread, read here
    // without a lock). Once it is non-zero, CheckFiles returns before the next file and MD5File
    // gives up (returns false) after the current chunk; what was listed so far stays listed.
    void SetStopFlag(const volatile int32_t* stop) { m_pStop = stop; }
    bool StopRequested() const { return m_pStop && *m_pStop != 0; }

    uint32_t state[4];
    uint32_t count[2];   // bits fed since the last reset, low word first
    uint8_t buffer[64];  // bytes of the block not yet transformed
    uint8_t padding[64];
    std::wstring m_strUpdateInfo;
    std::map<std::wstring, std::wstring> m_mapFileMD5;

private:
    // Hashes the reader's next file as MD5File does; false when it could not be read whole.
    bool HashNextFile(quenlor::ReadAheadReader& reader, std::wstring& digestText);

    const volatile int32_t* m_pStop = nullptr;
};

namespace quenlor {

// Two upper-case hexadecimal digits per byte, high digit first.
std::wstring DigestText(const uint8_t digest[16]);

// True when text names this digest: 32 hexadecimal digits, in either letter case. A downloaded
// body is judged by the digest's value; verification keeps comparing the exact text.
bool DigestMatches(const uint8_t digest[16], const std::wstring& text);

}  // namespace quenlor
