// Laying out a patch server from a finished client folder: the files, their manifest, the URL
// configuration with the launcher version players must have, and the launcher and picture where
// the updater fetches them. Built beside the server folder and moved into place only when it
// verifies, so a refused or failed publish leaves the server folder as it was.
#pragma once

#include <filesystem>
#include <string>

namespace qlconfig {

struct PublishRequest {
    std::filesystem::path client;    // the finished client folder
    std::filesystem::path server;    // the folder the web server serves at UpUrl
    std::string version;             // the new LunchVer
    std::filesystem::path launcher;  // empty: the client's own launcher (LunchName)
    std::filesystem::path picture;   // empty: the client's .\Image\Autopatch\BackGround.bmp
    bool update = false;             // a non-empty server folder is replaced, its tree kept beside it
};

struct PublishReport {
    bool ok = false;
    std::string error;             // why nothing was published
    size_t files = 0;              // entries in the manifest, every one verified
    std::string launcherPlace;     // where the updater fetches the launcher, relative to the server folder
    std::string picturePlace;      // and the picture
    std::filesystem::path previous;  // the replaced tree, empty when there was none
};

PublishReport Publish(const PublishRequest& request);

// Where the updater fetches the launcher and the picture, relative to the folder served at UpUrl
// ('/' between folders); false with a reason when they are not below UpUrl or leave it.
struct UpdaterPlaces {
    std::string launcher;
    std::string picture;
};
bool FindUpdaterPlaces(const std::wstring& upUrl, const std::wstring& upLuchUrl, const std::wstring& lunchName,
                       UpdaterPlaces& places, std::string& error);

// True when the program holds version as the launcher keeps its own: wide text ending in a 0.
bool CarriesLauncherVersion(const std::string& program, const std::string& version);

}  // namespace qlconfig
