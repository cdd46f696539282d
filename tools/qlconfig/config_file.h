// Writing and reading whole .bin configuration files for the operator tool.
#pragma once

#include <stdint.h>

#include <string>

namespace qlconfig {

// The divisor the tool writes when none is asked for.
constexpr uint32_t kDefaultConfigDivisor = 16;

// Header, scrambled body and both paddings, as the launcher reads them.
std::string BuildConfigFile(const std::string& body, uint32_t divisor);

// The unscrambled body; false with a reason for a file the launcher would refuse.
bool ParseConfigFile(const std::string& file, std::string& body, std::string& error);

// Lone LF line ends become CR LF (the launcher splits lines only at CR LF); CR LF stays.
std::string WithCrLfLineEnds(const std::string& text);

}  // namespace qlconfig
