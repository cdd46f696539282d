#include "publish.h"

#include <errno.h>
#include <stdio.h>

#if defined(__linux__)
#include <fcntl.h>
#endif

#include <algorithm>
#include <fstream>
#include <iterator>
#include <vector>

#include "gbk_text.h"
#include "manifest.h"
#include "manifest_tool.h"
#include "url_config_edit.h"

namespace qlconfig {

namespace fs = std::filesystem;

namespace {

const char kManifestName[] = "MyUpdata.txt";
const char kPictureName[] = "BackGround.bmp";

bool ReadBytes(const fs::path& file, std::string& data)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteBytes(const fs::path& file, const std::string& data)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    return static_cast<bool>(out);
}

// A file of the client folder as the player's launcher names it, '/' between folders.
fs::path ClientFile(const fs::path& client, const std::string& relative)
{
    return client / fs::u8path(relative);
}

bool SameFile(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    return fs::exists(b, ec) && fs::equivalent(a, b, ec);
}

bool SameBytes(const fs::path& a, const fs::path& b)
{
    std::string da, db;
    return FileDigest(a, da) && FileDigest(b, db) && da == db;
}

// Every segment a plain name: no "." or "..", nothing a URL would have to escape or cut.
bool IsPlainRelativePath(const std::string& relative)
{
    if (relative.empty() || relative.find_first_of("?#%:") != std::string::npos) return false;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string segment = relative.substr(start, end - start);
        if (segment.empty() || segment == "." || segment == "..") return false;
        start = end + 1;
    }
    return true;
}

// Copies every client file except the launcher itself and a manifest lying in the client folder.
// The launcher is never listed: a running launcher cannot replace its own program, so only the
// updater installs it, from where it fetches it.
bool CopyClientTree(const fs::path& client, const fs::path& tree, const fs::path& clientLauncher, std::string& error)
{
    std::error_code ec;
    for (fs::recursive_directory_iterator it(client, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = tree / it->path().lexically_relative(client);
        if (it->is_directory(ec)) {
            // Folders go too, empty ones included: the launcher creates none, so a client needs
            // every folder a later patch writes into.
            fs::create_directories(target, ec);
            if (ec) break;
            continue;
        }
        if (!it->is_regular_file(ec)) continue;
        if (SameFile(it->path(), clientLauncher) || SameFile(it->path(), client / kManifestName)) continue;
        fs::copy_file(it->path(), target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy " + it->path().u8string() + ": " + ec.message();
            return false;
        }
    }
    if (ec) error = "cannot read " + client.u8string() + ": " + ec.message();
    return !ec;
}

// Puts a file where the updater fetches it. A client file already there must be the same bytes:
// the manifest lists it, and the launcher would fetch other bytes than it expects.
bool Place(const fs::path& source, const fs::path& tree, const std::string& relative, const char* what, std::string& error)
{
    std::error_code ec;
    const fs::path target = tree / fs::u8path(relative);
    if (relative == kManifestName) {
        error = std::string("the ") + what + " would take the manifest's place " + relative;
        return false;
    }
    if (fs::exists(target, ec)) {
        if (SameBytes(source, target)) return true;
        error = std::string("the ") + what + " would replace the client's " + relative + " with other bytes";
        return false;
    }
    fs::create_directories(target.parent_path(), ec);
    if (!ec) fs::copy_file(source, target, ec);
    if (ec) error = std::string("cannot place the ") + what + " at " + relative + ": " + ec.message();
    return !ec;
}

// Moves the built tree into the server folder's place.
//
// Atomic: on Linux, where the file system can exchange two names (renameat2 RENAME_EXCHANGE),
// the server folder changes from the old tree to the new one in one step; elsewhere the old tree
// is renamed away and the new one renamed in, two steps between which the server folder does not
// exist for a moment (a launcher asking then gets "not found", never a file of either tree).
// Either way a request sees one whole tree. Not atomic: a launcher that fetched the old manifest
// and downloads after the swap gets the new tree's files; it checks each file's digest against
// the manifest it holds, so such a file fails as a download error and is fetched again at the
// next start. Requests already being answered keep reading the old files, which stay on disk.
bool SwapInto(const fs::path& built, const fs::path& server, const fs::path& previous, std::string& error)
{
    std::error_code ec;
#if defined(__linux__)
    if (renameat2(AT_FDCWD, built.c_str(), AT_FDCWD, server.c_str(), RENAME_EXCHANGE) == 0) {
        fs::rename(built, previous, ec);
        if (ec) error = "published, but the old tree stays at " + built.u8string() + ": " + ec.message();
        return true;
    }
    // The file system cannot exchange names (EINVAL) or the system is too old (ENOSYS): two steps.
#endif
    fs::rename(server, previous, ec);
    if (ec) {
        error = "cannot move the old tree aside: " + ec.message();
        return false;
    }
    fs::rename(built, server, ec);
    if (ec) {
        error = "cannot move the new tree into place: " + ec.message();
        std::error_code back;
        fs::rename(previous, server, back);
        return false;
    }
    return true;
}

fs::path FolderName(const fs::path& folder)
{
    fs::path absolute = fs::absolute(folder).lexically_normal();
    if (absolute.filename().empty()) absolute = absolute.parent_path();
    return absolute;
}

bool Inside(const fs::path& inner, const fs::path& outer)
{
    std::error_code ec;
    const fs::path a = fs::weakly_canonical(inner, ec), b = fs::weakly_canonical(outer, ec);
    const fs::path relative = a.lexically_relative(b);
    return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

bool FindUpdaterPlaces(const std::wstring& upUrl, const std::wstring& upLuchUrl, const std::wstring& lunchName,
                       UpdaterPlaces& places, std::string& error)
{
    if (upUrl.empty() || upLuchUrl.empty() || lunchName.empty()) {
        error = "the URL configuration needs UpUrl, UpLuchUrl and LunchName";
        return false;
    }
    // The updater fetches UpLuchUrl "/" LunchName with every backslash made a slash, and the
    // picture from the folder of that address.
    std::wstring url = upLuchUrl + L"/" + lunchName;
    for (wchar_t& ch : url) {
        if (ch == L'\\') ch = L'/';
    }
    std::wstring base = upUrl;
    while (!base.empty() && base.back() == L'/') base.pop_back();
    if (url.compare(0, base.size() + 1, base + L"/") != 0) {
        error = "the updater's address " + WideToUtf8(url) + " is not below UpUrl " + WideToUtf8(upUrl) +
                ": the launcher cannot be laid out in this server folder";
        return false;
    }
    std::string relative = WideToUtf8(url.substr(base.size() + 1));
    while (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
    if (!IsPlainRelativePath(relative)) {
        error = "the updater's address " + WideToUtf8(url) + " does not name a plain file below UpUrl";
        return false;
    }
    places.launcher = relative;
    const size_t slash = relative.rfind('/');
    places.picture = (slash == std::string::npos ? std::string() : relative.substr(0, slash + 1)) + kPictureName;
    return true;
}

bool CarriesLauncherVersion(const std::string& program, const std::string& version)
{
    std::string wide;
    for (char c : version) {
        wide.push_back(c);
        wide.push_back('\0');
    }
    wide.append(2, '\0');
    return program.find(wide) != std::string::npos;
}

PublishReport Publish(const PublishRequest& request)
{
    PublishReport report;
    std::string& error = report.error;
    std::error_code ec;
    const fs::path client = request.client;
    const fs::path server = FolderName(request.server);

    if (!IsPublishableVersion(request.version)) {
        error = "the launcher version must be 1 to 15 printable ASCII characters without spaces";
        return report;
    }
    if (!fs::is_directory(client, ec)) {
        error = client.u8string() + " is not a folder";
        return report;
    }
    if (Inside(server, client) || Inside(client, server)) {
        error = "the client folder and the server folder must not hold one another";
        return report;
    }
    const fs::path config_path = client / "Image" / "Autopatch" / "AutoPatchURL.bin";
    std::string config_bytes;
    QLUrlConfig config;
    if (!ReadBytes(config_path, config_bytes)) {
        error = "the client has no URL configuration " + config_path.u8string();
        return report;
    }
    if (!ReadUrlConfigImage(config_bytes, config, error)) {
        error = config_path.u8string() + ": " + error;
        return report;
    }
    std::string new_config;
    if (!SetLauncherVersion(config_bytes, request.version, new_config, error)) {
        error = config_path.u8string() + ": " + error;
        return report;
    }
    UpdaterPlaces places;
    if (!FindUpdaterPlaces(config.m_strUpUrl, config.m_strUpLuchUrl, config.m_strLunchName, places, error)) return report;

    std::string lunch_name = WideToUtf8(config.m_strLunchName);
    std::replace(lunch_name.begin(), lunch_name.end(), '\\', '/');
    if (!IsPlainRelativePath(lunch_name)) {
        error = "LunchName " + lunch_name + " is not a file name inside the client folder";
        return report;
    }
    const fs::path client_launcher = ClientFile(client, lunch_name);
    const fs::path launcher = request.launcher.empty() ? client_launcher : request.launcher;
    const fs::path picture = request.picture.empty() ? client / "Image" / "Autopatch" / kPictureName : request.picture;
    std::string launcher_bytes;
    if (!fs::is_regular_file(launcher, ec) || !ReadBytes(launcher, launcher_bytes)) {
        error = "no launcher at " + launcher.u8string();
        return report;
    }
    if (!fs::is_regular_file(picture, ec)) {
        error = "no picture at " + picture.u8string();
        return report;
    }
    // A launcher without this version would find itself outdated at every start and hand over to
    // the updater again and again.
    if (!CarriesLauncherVersion(launcher_bytes, request.version)) {
        error = launcher.u8string() + " is not launcher version " + request.version;
        return report;
    }

    const bool occupied = fs::exists(server, ec) && !(fs::is_directory(server, ec) && fs::is_empty(server, ec));
    if (occupied && !request.update) {
        error = server.u8string() + " is not empty (--update replaces a published tree)";
        return report;
    }

    // Built beside the server folder, on the same file system, so it moves in by renames.
    const fs::path built = server.parent_path() / (server.filename().u8string() + ".publishing");
    const fs::path previous = server.parent_path() / (server.filename().u8string() + ".previous");
    fs::remove_all(built, ec);  // what an interrupted run left
    fs::create_directories(built, ec);
    if (ec) {
        error = "cannot create " + built.u8string() + ": " + ec.message();
        return report;
    }
    auto abandon = [&]() {
        std::error_code ignored;
        fs::remove_all(built, ignored);
        return report;
    };

    if (!CopyClientTree(client, built, client_launcher, error)) return abandon();
    const fs::path built_config = built / "Image" / "Autopatch" / "AutoPatchURL.bin";
    if (!WriteBytes(built_config, new_config)) {
        error = "cannot write " + built_config.u8string();
        return abandon();
    }
    const fs::path manifest_path = built / kManifestName;
    ManifestBuild manifest = BuildManifest(built, manifest_path);
    if (!manifest.errors.empty()) {
        error = "the manifest cannot list every file:";
        for (const std::string& line : manifest.errors) error += "\n  " + line;
        return abandon();
    }
    if (!WriteBytes(manifest_path, manifest.text)) {
        error = "cannot write " + manifest_path.u8string();
        return abandon();
    }
    if (!Place(launcher, built, places.launcher, "launcher", error) || !Place(picture, built, places.picture, "picture", error))
        return abandon();

    // The finished tree, checked as a launcher will check it.
    ManifestCheck check = VerifyFolder(built, manifest.text);
    QLUrlConfig published;
    std::string published_config;
    if (!check.readable || check.entries.size() != manifest.files || check.Count(EntryState::Matches) != manifest.files ||
        !ReadBytes(built_config, published_config) || !ReadUrlConfigImage(published_config, published, error) ||
        WideToUtf8(published.m_strLunchVer) != request.version || !SameBytes(launcher, built / fs::u8path(places.launcher))) {
        error = "the built tree does not verify: " + error;
        return abandon();
    }

    if (!occupied) {
        fs::remove(server, ec);  // an empty folder, or none
        fs::rename(built, server, ec);
        if (ec) {
            error = "cannot move the tree into " + server.u8string() + ": " + ec.message();
            return abandon();
        }
    } else {
        fs::remove_all(previous, ec);
        if (ec) {
            error = "cannot remove the older tree " + previous.u8string() + ": " + ec.message();
            return abandon();
        }
        if (!SwapInto(built, server, previous, error)) return abandon();
        // Published either way; a failed last rename leaves the old tree under the building name.
        report.previous = error.empty() ? previous : built;
    }
    report.ok = true;
    report.files = manifest.files;
    report.launcherPlace = places.launcher;
    report.picturePlace = places.picture;
    return report;
}

}  // namespace qlconfig
