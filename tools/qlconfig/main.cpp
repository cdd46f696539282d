// qlconfig: the operators' tool for the launcher's scrambled configuration files.
//
//   qlconfig scramble   TEXT BIN [--divisor N] [--raw]
//   qlconfig unscramble BIN TEXT [--raw]
//   qlconfig manifest   FOLDER [OUT]         (OUT defaults to MyUpdata.txt)
//   qlconfig verify     FOLDER MANIFEST
//   qlconfig publish    CLIENT_FOLDER SERVER_FOLDER --launcher-version V [--launcher PATH]
//                       [--picture PATH] [--update]
//
// TEXT is UTF-8 and is stored in GBK, the launcher's code page, with CR LF line ends; --raw keeps
// the bytes (and line ends) exactly as they are, for text already in GBK.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "config_file.h"
#include "gbk_text.h"
#include "manifest_tool.h"
#include "publish.h"

namespace {

bool ReadWholeFile(const std::string& path, std::string& data)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    data.clear();
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), f)) > 0) data.append(chunk, got);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// Writes beside the target first, so a failed write never leaves a half file in its place.
bool WriteWholeFile(const std::string& path, const std::string& data)
{
    std::string temp = path + ".part";
    FILE* f = fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (fclose(f) == 0) && ok;
    if (ok) {
        remove(path.c_str());
        ok = rename(temp.c_str(), path.c_str()) == 0;
    }
    if (!ok) remove(temp.c_str());
    return ok;
}

int Usage()
{
    fprintf(stderr,
            "usage: qlconfig scramble TEXT BIN [--divisor N] [--raw]\n"
            "       qlconfig unscramble BIN TEXT [--raw]\n"
            "       qlconfig manifest FOLDER [OUT]\n"
            "       qlconfig verify FOLDER MANIFEST\n"
            "       qlconfig publish CLIENT_FOLDER SERVER_FOLDER --launcher-version V [--launcher PATH] [--picture PATH] [--update]\n");
    return 64;
}

int Fail(const std::string& message)
{
    fprintf(stderr, "qlconfig: %s\n", message.c_str());
    return 1;
}

// Exit status of verify when some entry does not match the folder.
constexpr int kFolderDiffers = 2;

int BuildManifestCommand(const std::string& folder, const std::string& output)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(fs::u8path(folder), ec)) return Fail(folder + " is not a folder");
    qlconfig::ManifestBuild build = qlconfig::BuildManifest(fs::u8path(folder), fs::u8path(output));
    for (const std::string& error : build.errors) fprintf(stderr, "qlconfig: %s\n", error.c_str());
    if (!build.errors.empty()) return Fail("manifest not written: some files cannot be listed");
    if (!WriteWholeFile(output, build.text)) return Fail("cannot write " + output);
    printf("%lu files listed in %s\n", static_cast<unsigned long>(build.files), output.c_str());
    return 0;
}

int VerifyCommand(const std::string& folder, const std::string& manifest)
{
    std::string bytes;
    if (!ReadWholeFile(manifest, bytes)) return Fail("cannot read " + manifest);
    qlconfig::ManifestCheck check = qlconfig::VerifyFolder(std::filesystem::u8path(folder), bytes);
    if (!check.readable) return Fail(manifest + " is not GBK text");
    for (const qlconfig::EntryCheck& entry : check.entries) {
        const char* what = nullptr;
        switch (entry.state) {
        case qlconfig::EntryState::Matches: continue;
        case qlconfig::EntryState::Differs: what = "differs"; break;
        case qlconfig::EntryState::Missing: what = "missing"; break;
        case qlconfig::EntryState::Refused: what = "refused (leaves the folder)"; break;
        }
        printf("%s %s%s\n", what, entry.path.c_str(), entry.lowerCaseDigest ? " (digest in lower case never matches)" : "");
    }
    using qlconfig::EntryState;
    printf("%lu entries: %lu match, %lu differ, %lu missing, %lu refused\n", static_cast<unsigned long>(check.entries.size()),
           static_cast<unsigned long>(check.Count(EntryState::Matches)), static_cast<unsigned long>(check.Count(EntryState::Differs)),
           static_cast<unsigned long>(check.Count(EntryState::Missing)), static_cast<unsigned long>(check.Count(EntryState::Refused)));
    return check.Count(EntryState::Matches) == check.entries.size() ? 0 : kFolderDiffers;
}

int PublishCommand(int argc, char** argv)
{
    namespace fs = std::filesystem;
    qlconfig::PublishRequest request;
    std::vector<std::string> folders;
    bool has_version = false;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const bool has_value = i + 1 < argc;
        if (option == "--launcher-version" && has_value) {
            request.version = argv[++i];
            has_version = true;
        } else if (option == "--launcher" && has_value) {
            request.launcher = fs::u8path(argv[++i]);
        } else if (option == "--picture" && has_value) {
            request.picture = fs::u8path(argv[++i]);
        } else if (option == "--update") {
            request.update = true;
        } else if (option.compare(0, 2, "--") != 0) {
            folders.push_back(option);
        } else {
            return Usage();
        }
    }
    if (folders.size() != 2 || !has_version) return Usage();
    request.client = fs::u8path(folders[0]);
    request.server = fs::u8path(folders[1]);
    qlconfig::PublishReport report = qlconfig::Publish(request);
    if (!report.ok) return Fail(report.error + "\nnothing published");
    printf("%lu files listed in MyUpdata.txt and verified; LunchVer %s\n", static_cast<unsigned long>(report.files),
           request.version.c_str());
    printf("launcher at %s, picture at %s\n", report.launcherPlace.c_str(), report.picturePlace.c_str());
    if (!report.previous.empty()) printf("the replaced tree is kept in %s\n", report.previous.u8string().c_str());
    if (!report.error.empty()) fprintf(stderr, "qlconfig: %s\n", report.error.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::string(argv[1]) == "manifest" && argc <= 4) {
        return BuildManifestCommand(argv[2], argc == 4 ? argv[3] : "MyUpdata.txt");
    }
    if (argc == 4 && std::string(argv[1]) == "verify") return VerifyCommand(argv[2], argv[3]);
    if (argc >= 2 && std::string(argv[1]) == "publish") return PublishCommand(argc, argv);
    if (argc < 4) return Usage();
    const std::string command = argv[1];
    const std::string input = argv[2];
    const std::string output = argv[3];
    bool raw = false;
    uint32_t divisor = qlconfig::kDefaultConfigDivisor;
    for (int i = 4; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--raw") {
            raw = true;
        } else if (option == "--divisor" && i + 1 < argc) {
            char* end = nullptr;
            unsigned long value = strtoul(argv[++i], &end, 10);
            if (!end || *end || value == 0 || value > 0xFFFFFFFFul) return Fail("the divisor must be a number from 1 to 4294967295");
            divisor = static_cast<uint32_t>(value);
        } else {
            return Usage();
        }
    }

    std::string data;
    if (!ReadWholeFile(input, data)) return Fail("cannot read " + input);

    if (command == "scramble") {
        std::string body = data;
        if (!raw) {
            if (!qlconfig::Utf8ToGbk(data, body)) return Fail(input + " is not UTF-8 text that GBK can hold (use --raw for GBK text)");
            body = qlconfig::WithCrLfLineEnds(body);
        }
        if (!WriteWholeFile(output, qlconfig::BuildConfigFile(body, divisor))) return Fail("cannot write " + output);
        return 0;
    }
    if (command == "unscramble") {
        std::string body, error;
        if (!qlconfig::ParseConfigFile(data, body, error)) return Fail(input + ": " + error);
        std::string text = body;
        if (!raw && !qlconfig::GbkToUtf8(body, text)) return Fail(input + " holds bytes that are not GBK text (use --raw)");
        if (!WriteWholeFile(output, text)) return Fail("cannot write " + output);
        return 0;
    }
    return Usage();
}
