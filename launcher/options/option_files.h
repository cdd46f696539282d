// The two files through which the game client learns the player's launch choices:
// "./PrintScreenList.txt", the numbered list of offered resolutions, and "./AutopatchOption.opt",
// the window mode and the chosen resolution's number. Both are text files with CR LF line ends.
#pragma once

#include <string>
#include <vector>

#include "resolution_list.h"

constexpr const char kPrintScreenListPath[] = "./PrintScreenList.txt";
constexpr const char kLaunchOptionsPath[] = "./AutopatchOption.opt";

// "number\twidth\theight" lines, numbered from 1. False when the file cannot be written.
bool WritePrintScreenList(const char* path, const std::vector<QLResolution>& list);

// The window mode (1 or 0) and the resolution number (0 for none) on two lines, the second without
// a line end.
std::string FormatLaunchOptions(int window_mode, int resolution_number);
bool WriteLaunchOptions(const char* path, int window_mode, int resolution_number);

// The resolution number saved in an options file: the second of its two numbers. A missing file
// gives 0; a file with one number gives that number.
int ReadSavedResolutionNumber(const char* path);
