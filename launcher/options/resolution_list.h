// The list of screen resolutions the launcher offers: every distinct width and height of every
// display device, device by device, in the order the system first reports each.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

struct QLResolution {
    uint32_t width;
    uint32_t height;
    bool operator==(const QLResolution& other) const { return width == other.width && height == other.height; }
};

// Mode `index` of display device `device`; false once the device has no more modes.
using DisplayModeQuery = std::function<bool(const std::wstring& device, uint32_t index, QLResolution& mode)>;

// Devices are taken once each in the order of `monitor_devices` (several monitors may share one
// device name). A mode is dropped when its device already listed that width and height; colour
// depth and refresh rate play no part. A resolution of two devices is listed twice.
std::vector<QLResolution> BuildResolutionList(const std::vector<std::wstring>& monitor_devices,
                                              const DisplayModeQuery& query_mode);
