#include "resolution_list.h"

namespace {

bool Greater(const QLResolution& a, const QLResolution& b)
{
    return a.width != b.width ? a.width > b.width : a.height > b.height;
}

}  // namespace

std::vector<QLResolution> BuildResolutionList(const std::vector<std::wstring>& monitor_devices,
                                              const DisplayModeQuery& query_mode)
{
    std::vector<std::wstring> devices;
    for (const std::wstring& name : monitor_devices) {
        bool known = false;
        for (const std::wstring& seen : devices) known = known || seen == name;
        if (!known) devices.push_back(name);
    }

    std::vector<QLResolution> list;
    for (const std::wstring& device : devices) {
        // The device's own distinct modes, kept in descending order so a repeat is found where
        // it would be inserted.
        std::vector<QLResolution> distinct;
        QLResolution mode = {};
        for (uint32_t index = 0; query_mode(device, index, mode); ++index) {
            auto place = distinct.begin();
            while (place != distinct.end() && Greater(*place, mode)) ++place;
            if (place != distinct.end() && *place == mode) continue;
            distinct.insert(place, mode);
            list.push_back(mode);
        }
    }
    return list;
}
