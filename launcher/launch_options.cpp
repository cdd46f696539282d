// The launch options of the main window: the resolution list from the display modes, and the
// two files the game client reads.
#include <stdio.h>

#include <vector>

#include "ql_autopatch_dlg.h"
#include "options/option_files.h"
#include "options/resolution_list.h"

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM param)
{
    auto* devices = reinterpret_cast<std::vector<std::wstring>*>(param);
    MONITORINFOEXW info = {};
    info.cbSize = sizeof(info);
    if (::GetMonitorInfoW(monitor, &info)) devices->push_back(info.szDevice);
    return TRUE;
}

bool QueryDisplayMode(const std::wstring& device, uint32_t index, QLResolution& mode)
{
    DEVMODEW devmode = {};
    devmode.dmSize = sizeof(devmode);
    if (!::EnumDisplaySettingsW(device.c_str(), index, &devmode)) return false;
    mode = QLResolution{devmode.dmPelsWidth, devmode.dmPelsHeight};
    return true;
}

}  // namespace

void CQLAutoPatchDlg::LoadLaunchOptions()
{
    std::vector<std::wstring> monitor_devices;
    ::EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitor_devices));
    const std::vector<QLResolution> list = BuildResolutionList(monitor_devices, QueryDisplayMode);

    for (size_t i = 0; i < list.size(); ++i) {
        wchar_t entry[32];
        swprintf(entry, 32, L"%d*%d", static_cast<int>(list[i].width), static_cast<int>(list[i].height));
        m_cmbResolution.InsertString(static_cast<int>(i), entry);
    }
    WritePrintScreenList(kPrintScreenListPath, list);

    // 0 selects nothing; a number past the list clears the selection.
    m_cmbResolution.SetCurSel(ReadSavedResolutionNumber(kLaunchOptionsPath) - 1);
}

void CQLAutoPatchDlg::SaveLaunchOptions()
{
    // Controls that are gone read as unchecked and unselected: that would write 0/0 over the
    // player's saved choice.
    if (m_bStop || !::IsWindow(m_cmbResolution.GetSafeHwnd())) return;
    const int window_mode = m_chkWindowMode.GetCheck();
    const int resolution = m_cmbResolution.GetCurSel() + 1;
    // Read before the stop is looked at again: the reads are sends to the UI thread, which may be
    // closing meanwhile; the file is written only when it has not.
    UnlessStopping([&] { WriteLaunchOptions(kLaunchOptionsPath, window_mode, resolution); });
}

void CQLAutoPatchDlg::OnCbnSelchangeResolution()
{
    SaveLaunchOptions();
}
