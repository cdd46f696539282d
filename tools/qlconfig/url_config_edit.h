// Setting the required launcher version (LunchVer) inside a scrambled URL configuration file,
// with every other byte of its text, its divisor and its header kept.
#pragma once

#include <string>

#include "config/url_config.h"

namespace qlconfig {

// The ten values of a whole .bin file image, read with the launcher's own reader; false with a
// reason for a file the launcher would refuse.
bool ReadUrlConfigImage(const std::string& file, QLUrlConfig& config, std::string& error);

// Versions are compared by the launcher as exact text and held in 15 characters: one word of
// printable ASCII fits every player's code page and cannot be split or escaped.
bool IsPublishableVersion(const std::string& version);

// A new file image whose LunchVer reads as version: every value of the key is replaced in place,
// or the pair is added at the end when the key is missing. False with a reason when the result
// would not read back as the same nine other values and the new version.
bool SetLauncherVersion(const std::string& file, const std::string& version, std::string& result, std::string& error);

}  // namespace qlconfig
