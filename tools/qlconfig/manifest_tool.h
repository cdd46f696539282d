// Building and checking the update manifest "MyUpdata.txt" for a client folder. The manifest is
// GBK text with CR LF lines, one "\folder\file|DIGEST" record per file, and is read back with the
// launcher's own parser and path rules.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qlconfig {

struct ManifestBuild {
    std::string text;                 // the manifest bytes
    size_t files = 0;
    std::vector<std::string> errors;  // files that cannot be listed or read (UTF-8 names)
};

// Every regular file below folder, sorted by path, except the file at skip (the manifest itself
// when it is written into the folder). A name holding '#', '|', CR or LF, or one GBK cannot
// hold, cannot be listed and is reported.
ManifestBuild BuildManifest(const std::filesystem::path& folder, const std::filesystem::path& skip);

enum class EntryState { Matches, Differs, Missing, Refused };

struct EntryCheck {
    std::string path;  // as listed, in UTF-8
    EntryState state;
    bool lowerCaseDigest;  // the digest can never match: the launcher compares exact text
};

struct ManifestCheck {
    bool readable = true;  // false when the manifest is not GBK text
    std::vector<EntryCheck> entries;
    size_t Count(EntryState state) const;
};

// Checks the folder the way the launcher does: each entry in order, exact digest text.
ManifestCheck VerifyFolder(const std::filesystem::path& folder, const std::string& manifestBytes);

// Upper-case MD5 text of a file's content; false when it cannot be read.
bool FileDigest(const std::filesystem::path& file, std::string& digest);

}  // namespace qlconfig
