#include "md5_ctx.h"

#include <stdio.h>
#include <string.h>

#include <exception>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "ansi_text.h"
#include "manifest.h"
#include "md5_transform.h"
#include "read_ahead_reader.h"
#include "sequential_file.h"
#include "staged_file.h"

wchar_t g_szWorkDir[260];

namespace {

// Files are hashed through a fixed window so a client file of any size costs the same memory.
constexpr uint32_t kFileChunkBytes = quenlor::ReadAheadReader::kBlockBytes;

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The shipped code runs on x86 only, which is little-endian and reads unaligned words.
inline uint32_t LoadLittleEndian(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, sizeof(v));
    return v;
}

inline void StoreLittleEndian(uint32_t v, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// The round functions in forms with short dependency chains; G is split into two disjoint
// AND terms added separately, so the term without b can be computed before b is ready.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define MD5_STEP(f, a, b, c, d, x, s, ac) \
    (a) += f((b), (c), (d)) + (x) + static_cast<uint32_t>(ac); \
    (a) = RotateLeft((a), (s)) + (b)
#define MD5_STEP_G(a, b, c, d, x, s, ac) \
    (a) += ((c) & ~(d)) + (x) + static_cast<uint32_t>(ac); \
    (a) += (b) & (d); \
    (a) = RotateLeft((a), (s)) + (b)

void StoreCurrentDirectory()
{
#if defined(_WIN32)
    DWORD n = GetCurrentDirectoryW(260, g_szWorkDir);
    if (n == 0 || n >= 260) g_szWorkDir[0] = L'\0';
#else
    char narrow[4096];
    std::wstring wide;
    if (getcwd(narrow, sizeof(narrow))) wide = quenlor::AnsiToWide(narrow, strlen(narrow));
    size_t n = wide.size() < 259 ? wide.size() : 0;
    wmemcpy(g_szWorkDir, wide.data(), n);
    g_szWorkDir[n] = L'\0';
#endif
}

}  // namespace

MD5_CTX::MD5_CTX()
{
    MD5Init();
    StoreCurrentDirectory();
}

MD5_CTX::~MD5_CTX() = default;

void MD5_CTX::MD5Init()
{
    state[0] = 0x67452301u;
    state[1] = 0xefcdab89u;
    state[2] = 0x98badcfeu;
    state[3] = 0x10325476u;
    count[0] = count[1] = 0;
    memset(buffer, 0, sizeof(buffer));
    memset(padding, 0, sizeof(padding));
    padding[0] = 0x80;
}

void MD5_CTX::MD5Update(const uint8_t* input, uint32_t length)
{
    uint32_t index = (count[0] >> 3) & 0x3F;
    uint32_t added_bits = length << 3;
    count[0] += added_bits;
    if (count[0] < added_bits) ++count[1];
    count[1] += length >> 29;

    uint32_t part = 64 - index;
    uint32_t i = 0;
    if (length >= part) {
        memcpy(&buffer[index], input, part);
        MD5Transform(state, buffer);
        // Whole blocks straight from the caller's bytes: no copy on the hot path.
        i = part;
        uint32_t blocks = (length - part) / 64;
#if defined(__i386__)
        quenlor_md5_blocks_x86(state, &input[i], blocks);
        i += blocks * 64;
#else
        for (; blocks > 0; --blocks, i += 64) MD5Transform(state, &input[i]);
#endif
        index = 0;
    }
    if (length > i) memcpy(&buffer[index], &input[i], length - i);
}

void MD5_CTX::MD5Final(uint8_t digest[16])
{
    uint8_t bits[8];
    StoreLittleEndian(count[0], bits);
    StoreLittleEndian(count[1], bits + 4);
    uint32_t index = (count[0] >> 3) & 0x3F;
    uint32_t pad_length = index < 56 ? 56 - index : 120 - index;
    MD5Update(padding, pad_length);
    MD5Update(bits, 8);
    for (int i = 0; i < 4; ++i) StoreLittleEndian(state[i], digest + 4 * i);
    MD5Init();
}

void MD5_CTX::MD5Transform(uint32_t chain[4], const uint8_t block[64])
{
#if defined(__i386__)
    quenlor_md5_blocks_x86(chain, block, 1);
#else
    quenlor::Md5TransformPortable(chain, block);
#endif
}

void quenlor::Md5TransformPortable(uint32_t chain[4], const uint8_t block[64])
{
    uint32_t a = chain[0], b = chain[1], c = chain[2], d = chain[3];
    // Message words are read from the block where they are used, not copied first: on 32-bit
    // x86 the copy costs sixteen stores and loads per block for nothing.
#define x(i) LoadLittleEndian(block + 4 * (i))

    MD5_STEP(MD5_F, a, b, c, d, x(0), 7, 0xd76aa478);
    MD5_STEP(MD5_F, d, a, b, c, x(1), 12, 0xe8c7b756);
    MD5_STEP(MD5_F, c, d, a, b, x(2), 17, 0x242070db);
    MD5_STEP(MD5_F, b, c, d, a, x(3), 22, 0xc1bdceee);
    MD5_STEP(MD5_F, a, b, c, d, x(4), 7, 0xf57c0faf);
    MD5_STEP(MD5_F, d, a, b, c, x(5), 12, 0x4787c62a);
    MD5_STEP(MD5_F, c, d, a, b, x(6), 17, 0xa8304613);
    MD5_STEP(MD5_F, b, c, d, a, x(7), 22, 0xfd469501);
    MD5_STEP(MD5_F, a, b, c, d, x(8), 7, 0x698098d8);
    MD5_STEP(MD5_F, d, a, b, c, x(9), 12, 0x8b44f7af);
    MD5_STEP(MD5_F, c, d, a, b, x(10), 17, 0xffff5bb1);
    MD5_STEP(MD5_F, b, c, d, a, x(11), 22, 0x895cd7be);
    MD5_STEP(MD5_F, a, b, c, d, x(12), 7, 0x6b901122);
    MD5_STEP(MD5_F, d, a, b, c, x(13), 12, 0xfd987193);
    MD5_STEP(MD5_F, c, d, a, b, x(14), 17, 0xa679438e);
    MD5_STEP(MD5_F, b, c, d, a, x(15), 22, 0x49b40821);

    MD5_STEP_G(a, b, c, d, x(1), 5, 0xf61e2562);
    MD5_STEP_G(d, a, b, c, x(6), 9, 0xc040b340);
    MD5_STEP_G(c, d, a, b, x(11), 14, 0x265e5a51);
    MD5_STEP_G(b, c, d, a, x(0), 20, 0xe9b6c7aa);
    MD5_STEP_G(a, b, c, d, x(5), 5, 0xd62f105d);
    MD5_STEP_G(d, a, b, c, x(10), 9, 0x02441453);
    MD5_STEP_G(c, d, a, b, x(15), 14, 0xd8a1e681);
    MD5_STEP_G(b, c, d, a, x(4), 20, 0xe7d3fbc8);
    MD5_STEP_G(a, b, c, d, x(9), 5, 0x21e1cde6);
    MD5_STEP_G(d, a, b, c, x(14), 9, 0xc33707d6);
    MD5_STEP_G(c, d, a, b, x(3), 14, 0xf4d50d87);
    MD5_STEP_G(b, c, d, a, x(8), 20, 0x455a14ed);
    MD5_STEP_G(a, b, c, d, x(13), 5, 0xa9e3e905);
    MD5_STEP_G(d, a, b, c, x(2), 9, 0xfcefa3f8);
    MD5_STEP_G(c, d, a, b, x(7), 14, 0x676f02d9);
    MD5_STEP_G(b, c, d, a, x(12), 20, 0x8d2a4c8a);

    MD5_STEP(MD5_H, a, b, c, d, x(5), 4, 0xfffa3942);
    MD5_STEP(MD5_H, d, a, b, c, x(8), 11, 0x8771f681);
    MD5_STEP(MD5_H, c, d, a, b, x(11), 16, 0x6d9d6122);
    MD5_STEP(MD5_H, b, c, d, a, x(14), 23, 0xfde5380c);
    MD5_STEP(MD5_H, a, b, c, d, x(1), 4, 0xa4beea44);
    MD5_STEP(MD5_H, d, a, b, c, x(4), 11, 0x4bdecfa9);
    MD5_STEP(MD5_H, c, d, a, b, x(7), 16, 0xf6bb4b60);
    MD5_STEP(MD5_H, b, c, d, a, x(10), 23, 0xbebfbc70);
    MD5_STEP(MD5_H, a, b, c, d, x(13), 4, 0x289b7ec6);
    MD5_STEP(MD5_H, d, a, b, c, x(0), 11, 0xeaa127fa);
    MD5_STEP(MD5_H, c, d, a, b, x(3), 16, 0xd4ef3085);
    MD5_STEP(MD5_H, b, c, d, a, x(6), 23, 0x04881d05);
    MD5_STEP(MD5_H, a, b, c, d, x(9), 4, 0xd9d4d039);
    MD5_STEP(MD5_H, d, a, b, c, x(12), 11, 0xe6db99e5);
    MD5_STEP(MD5_H, c, d, a, b, x(15), 16, 0x1fa27cf8);
    MD5_STEP(MD5_H, b, c, d, a, x(2), 23, 0xc4ac5665);

    MD5_STEP(MD5_I, a, b, c, d, x(0), 6, 0xf4292244);
    MD5_STEP(MD5_I, d, a, b, c, x(7), 10, 0x432aff97);
    MD5_STEP(MD5_I, c, d, a, b, x(14), 15, 0xab9423a7);
    MD5_STEP(MD5_I, b, c, d, a, x(5), 21, 0xfc93a039);
    MD5_STEP(MD5_I, a, b, c, d, x(12), 6, 0x655b59c3);
    MD5_STEP(MD5_I, d, a, b, c, x(3), 10, 0x8f0ccc92);
    MD5_STEP(MD5_I, c, d, a, b, x(10), 15, 0xffeff47d);
    MD5_STEP(MD5_I, b, c, d, a, x(1), 21, 0x85845dd1);
    MD5_STEP(MD5_I, a, b, c, d, x(8), 6, 0x6fa87e4f);
    MD5_STEP(MD5_I, d, a, b, c, x(15), 10, 0xfe2ce6e0);
    MD5_STEP(MD5_I, c, d, a, b, x(6), 15, 0xa3014314);
    MD5_STEP(MD5_I, b, c, d, a, x(13), 21, 0x4e0811a1);
    MD5_STEP(MD5_I, a, b, c, d, x(4), 6, 0xf7537e82);
    MD5_STEP(MD5_I, d, a, b, c, x(11), 10, 0xbd3af235);
    MD5_STEP(MD5_I, c, d, a, b, x(2), 15, 0x2ad7d2bb);
    MD5_STEP(MD5_I, b, c, d, a, x(9), 21, 0xeb86d391);

#undef x
    chain[0] += a;
    chain[1] += b;
    chain[2] += c;
    chain[3] += d;
}

bool MD5_CTX::MD5File(std::wstring& digestText, const char* ansiPath)
{
    if (!ansiPath || !*ansiPath) return false;
    quenlor::SequentialFile file;
    if (!file.Open(ansiPath)) return false;
    std::vector<uint8_t> chunk(kFileChunkBytes);
    bool read_ok = true;
    for (;;) {
        int64_t got = file.Read(chunk.data(), kFileChunkBytes);
        if (got <= 0) {
            read_ok = got == 0;
            break;
        }
        MD5Update(chunk.data(), static_cast<uint32_t>(got));
        // A large client takes long to hash: a closing launcher must not wait for the whole file.
        if (StopRequested()) {
            read_ok = false;
            break;
        }
    }
    uint8_t digest[16];
    MD5Final(digest);  // also resets after a failed read, so the next file starts clean
    if (!read_ok) return false;
    digestText += quenlor::DigestText(digest);
    return true;
}

bool MD5_CTX::HashNextFile(quenlor::ReadAheadReader& reader, std::wstring& digestText)
{
    for (;;) {
        const quenlor::FileBlock block = reader.Next();
        if (block.kind == quenlor::FileBlock::Failed) break;
        MD5Update(block.bytes, block.size);
        if (block.kind == quenlor::FileBlock::Last) {
            uint8_t digest[16];
            MD5Final(digest);
            digestText += quenlor::DigestText(digest);
            return true;
        }
        // A large client takes long to hash: a closing launcher must not wait for the whole file.
        if (StopRequested()) break;
    }
    uint8_t digest[16];
    MD5Final(digest);  // resets, so the next file starts clean
    return false;
}

void MD5_CTX::CheckFiles(std::vector<std::wstring>& wanted)
{
    // Every entry with its name in the ANSI code page; empty when the pass skips or cannot read
    // it. The names go to the read-ahead reader in manifest order, which is the order hashed.
    struct Entry {
        quenlor::ManifestEntry manifest;
        bool safe;
        bool readable;
    };
    std::vector<Entry> entries;
    std::vector<std::string> names;
    for (quenlor::ManifestEntry& manifest_entry : quenlor::ParseManifest(m_strUpdateInfo)) {
        Entry entry{std::move(manifest_entry), false, false};
        entry.safe = quenlor::IsSafeManifestPath(entry.manifest.path);
        if (entry.safe) {
            std::wstring full = std::wstring(g_szWorkDir) + entry.manifest.path;
#if !defined(_WIN32)
            // The native build of the portable code runs on a file system with '/' separators.
            for (wchar_t& ch : full) if (ch == L'\\') ch = L'/';
#endif
            // A name the ANSI code page cannot hold names some other file: treat it as missing.
            bool exact = false;
            std::string ansi = quenlor::WideToAnsi(full, &exact);
            entry.readable = exact && !ansi.empty();
            if (entry.readable) names.push_back(std::move(ansi));
        }
        entries.push_back(std::move(entry));
    }

    std::unique_ptr<quenlor::ReadAheadReader> reader;
    std::vector<std::string> one_by_one;
    try {
        reader.reset(new quenlor::ReadAheadReader(names, m_pStop));
    } catch (const std::exception&) {
        // No thread to spare: the same files are read and hashed in turn on this thread.
        one_by_one = std::move(names);
    }
    size_t next_name = 0;
    for (const Entry& entry : entries) {
        if (StopRequested()) return;
        if (!entry.safe) continue;
        const std::wstring& path = entry.manifest.path;
        m_mapFileMD5[path] = entry.manifest.digest;
        quenlor::StagedFile::RemoveLeftover(std::wstring(g_szWorkDir) + path);
        std::wstring computed;
        bool hashed = false;
        if (entry.readable) {
            hashed = reader ? HashNextFile(*reader, computed) : MD5File(computed, one_by_one[next_name].c_str());
            ++next_name;
        }
        if (!hashed || m_mapFileMD5[path] != computed) wanted.push_back(path);
    }
}

namespace quenlor {

std::wstring DigestText(const uint8_t digest[16])
{
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(32);
    for (int i = 0; i < 16; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    return text;
}

bool DigestMatches(const uint8_t digest[16], const std::wstring& text)
{
    const std::wstring expected = DigestText(digest);
    if (text.size() != expected.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t ch = text[i];
        if (ch >= L'a' && ch <= L'f') ch = static_cast<wchar_t>(ch - L'a' + L'A');
        if (ch != expected[i]) return false;
    }
    return true;
}

}  // namespace quenlor
