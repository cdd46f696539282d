// The update manifest "MyUpdata.txt": records cut at runs of '#', CR and LF, fields cut at runs
// of '|'; a record of exactly two fields (path, digest) is an entry, any other record is ignored.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "manifest_path.h"

namespace quenlor {

struct ManifestEntry {
    std::wstring path;    // relative to the client folder, "\folder\file"
    std::wstring digest;  // expected MD5 text, compared exactly
};

// Entries in manifest order; the same path may appear more than once.
std::vector<ManifestEntry> ParseManifest(const std::wstring& text);

// The served body as the launcher reads it: ANSI text up to the first NUL byte.
std::wstring ManifestTextFromBody(const char* body, size_t length);

}  // namespace quenlor
