#include "manifest_tool.h"

#include <string.h>

#include <algorithm>
#include <fstream>

#include "gbk_text.h"
#include "manifest.h"
#include "md5_ctx.h"

namespace qlconfig {

namespace fs = std::filesystem;

namespace {

bool IsLowerCaseHex(const std::wstring& digest)
{
    return std::any_of(digest.begin(), digest.end(), [](wchar_t ch) { return ch >= L'a' && ch <= L'f'; });
}

}  // namespace

bool FileDigest(const fs::path& file, std::string& digest)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    MD5_CTX md5;
    std::vector<char> chunk(1 << 18);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        std::streamsize got = in.gcount();
        if (got > 0) md5.MD5Update(reinterpret_cast<const uint8_t*>(chunk.data()), static_cast<uint32_t>(got));
    }
    if (in.bad()) return false;
    uint8_t bytes[16];
    md5.MD5Final(bytes);
    digest = WideToUtf8(quenlor::DigestText(bytes));
    return true;
}

ManifestBuild BuildManifest(const fs::path& folder, const fs::path& skip)
{
    ManifestBuild build;
    std::error_code ec;
    const fs::path skip_canonical = skip.empty() ? fs::path() : fs::weakly_canonical(skip, ec);
    std::vector<std::pair<std::string, fs::path>> files;  // UTF-8 relative path with '\', file
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        if (!skip_canonical.empty() && fs::weakly_canonical(it->path(), ec) == skip_canonical) continue;
        std::string relative = it->path().lexically_relative(folder).generic_u8string();
        std::replace(relative.begin(), relative.end(), '/', '\\');
        files.emplace_back("\\" + relative, it->path());
    }
    if (ec) build.errors.push_back(folder.u8string() + ": " + ec.message());
    std::sort(files.begin(), files.end());
    for (const auto& [relative, file] : files) {
        std::string gbk;
        if (relative.find_first_of("#|\r\n") != std::string::npos || !Utf8ToGbk(relative, gbk)) {
            build.errors.push_back(relative + ": the name cannot be written in the manifest");
            continue;
        }
        std::string digest;
        if (!FileDigest(file, digest)) {
            build.errors.push_back(relative + ": cannot be read");
            continue;
        }
        build.text += gbk + "|" + digest + "\r\n";
        ++build.files;
    }
    return build;
}

size_t ManifestCheck::Count(EntryState state) const
{
    return static_cast<size_t>(std::count_if(entries.begin(), entries.end(), [state](const EntryCheck& e) { return e.state == state; }));
}

ManifestCheck VerifyFolder(const fs::path& folder, const std::string& manifestBytes)
{
    ManifestCheck check;
    // The launcher reads up to the first NUL byte.
    std::string gbk = manifestBytes.substr(0, manifestBytes.find('\0'));
    std::string utf8;
    if (!GbkToUtf8(gbk, utf8)) {
        check.readable = false;
        return check;
    }
    for (const quenlor::ManifestEntry& entry : quenlor::ParseManifest(Utf8ToWide(utf8))) {
        EntryCheck result{WideToUtf8(entry.path), EntryState::Matches, IsLowerCaseHex(entry.digest)};
        if (!quenlor::IsSafeManifestPath(entry.path)) {
            result.state = EntryState::Refused;
        } else {
            std::string relative = result.path.substr(1);
            std::replace(relative.begin(), relative.end(), '\\', '/');
            std::string digest;
            if (!FileDigest(folder / fs::u8path(relative), digest)) {
                result.state = EntryState::Missing;
            } else if (Utf8ToWide(digest) != entry.digest) {
                result.state = EntryState::Differs;
            }
        }
        check.entries.push_back(result);
    }
    return check;
}

}  // namespace qlconfig
