// Turns directory listing lines (MLSD facts, Unix and DOS style LIST) into find records.
#pragma once

#include <windows.h>

#include <string>

namespace asyncftp {

// Each returns false for lines that name no entry: totals, blank lines, "." and "..".
bool ParseMlsdLine(const std::string& line, WIN32_FIND_DATAA& entry);
// now: current UTC date, for Unix dates that give a time instead of a year.
bool ParseListLine(const std::string& line, WIN32_FIND_DATAA& entry, const SYSTEMTIME& now);

// Wildcard match of * and ?, without regard to ASCII case; "*.*" matches every name.
bool MatchesPattern(const char* name, const std::string& pattern);

}  // namespace asyncftp
