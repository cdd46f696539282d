// libFuzzer harness for the update manifest: any served body through the launcher's reading,
// parsing and path rules. The parser's promises are checked, not only its survival.
#include <stdint.h>
#include <stddef.h>

#include <string>

#include "manifest.h"
#include "md5_ctx.h"

namespace {

void Check(bool promise)
{
    if (!promise) __builtin_trap();
}

bool IsComponentEscape(const std::wstring& path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring part = path.substr(start, end - start);
        if (!part.empty() && part.find_first_not_of(L". ") == std::wstring::npos) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring text = quenlor::ManifestTextFromBody(reinterpret_cast<const char*>(data), size);
    for (const quenlor::ManifestEntry& entry : quenlor::ParseManifest(text)) {
        for (const std::wstring* field : {&entry.path, &entry.digest}) {
            Check(!field->empty());
            Check(field->find_first_of(L"#\r\n|") == std::wstring::npos);
        }
        if (quenlor::IsSafeManifestPath(entry.path)) {
            Check(entry.path[0] == L'\\');
            Check(entry.path.find(L':') == std::wstring::npos);
            Check(!IsComponentEscape(entry.path));
        }
    }
    // The digest of the same body fed in one piece and in two must agree.
    MD5_CTX whole, split;
    uint8_t a[16], b[16];
    whole.MD5Update(data, static_cast<uint32_t>(size));
    whole.MD5Final(a);
    size_t half = size / 2;
    split.MD5Update(data, static_cast<uint32_t>(half));
    split.MD5Update(data + half, static_cast<uint32_t>(size - half));
    split.MD5Final(b);
    Check(quenlor::DigestText(a) == quenlor::DigestText(b));
    return 0;
}
