// What uiauto reports about a window: the main window with its region, each control with the
// state its class has (progress range and position, check state, combo items and selection),
// and message boxes with their buttons.
#pragma once

#include <windows.h>

#include <string>

#include "json_writer.h"

// points: "x,y;x,y" in window coordinates, each reported as inside the region (1) or not (0).
void WriteWindow(JsonWriter& json, HWND dialog, const std::wstring& points);
void WriteControl(JsonWriter& json, HWND dialog, HWND control);
void WriteMessageBox(JsonWriter& json, HWND box);
