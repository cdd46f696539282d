// GDI+'s headers use min and max, which the project's NOMINMAX keeps out of windows.h, and the
// COM property types that WIN32_LEAN_AND_MEAN leaves out.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>
