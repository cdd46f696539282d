#include "window_report.h"

#include <commctrl.h>

#include <cwchar>

#include "process_windows.h"

namespace {

void WriteRect(JsonWriter& json, const RECT& rect)
{
    json.Field("x", rect.left).Field("y", rect.top).Field("width", rect.right - rect.left).Field("height", rect.bottom - rect.top);
}

}  // namespace

void WriteControl(JsonWriter& json, HWND dialog, HWND control)
{
    const std::wstring cls = WindowClass(control);
    json.Begin().Field("id", GetDlgCtrlID(control)).Field("class", cls).Field("text", WindowText(control));
    LONG style = GetWindowLongW(control, GWL_STYLE);
    json.Bool("visible", (style & WS_VISIBLE) != 0).Bool("enabled", IsWindowEnabled(control) != FALSE);
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    WriteRect(json, rect);
    if (lstrcmpiW(cls.c_str(), PROGRESS_CLASSW) == 0) {
        json.Field("range_low", static_cast<long long>(SendMessageW(control, PBM_GETRANGE, TRUE, 0)));
        json.Field("range_high", static_cast<long long>(SendMessageW(control, PBM_GETRANGE, FALSE, 0)));
        json.Field("pos", static_cast<long long>(SendMessageW(control, PBM_GETPOS, 0, 0)));
        json.Field("bar_color", static_cast<long long>(SendMessageW(control, PBM_GETBARCOLOR, 0, 0)));
        json.Field("back_color", static_cast<long long>(SendMessageW(control, PBM_GETBKCOLOR, 0, 0)));
    } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
        LONG type = style & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE) {
            json.Field("check", static_cast<long long>(SendMessageW(control, BM_GETCHECK, 0, 0)));
        }
    } else if (lstrcmpiW(cls.c_str(), L"ComboBox") == 0) {
        json.BeginArray("items");
        LRESULT count = SendMessageW(control, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t item[256] = L"";
            if (SendMessageW(control, CB_GETLBTEXTLEN, i, 0) < 256) SendMessageW(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
            json.Value(item);
        }
        json.EndArray();
        json.Field("selection", static_cast<long long>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
    }
    json.End();
}

void WriteMessageBox(JsonWriter& json, HWND box)
{
    json.Begin().Field("title", WindowText(box)).Field("text", WindowText(GetDlgItem(box, 0xFFFF)));
    json.BeginArray("buttons");
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (lstrcmpiW(WindowClass(child).c_str(), L"Button") == 0) json.Value(WindowText(child));
    }
    json.EndArray().End();
}

void WriteWindow(JsonWriter& json, HWND dialog, const std::wstring& points)
{
    json.BeginObject("window").Field("title", WindowText(dialog)).Bool("visible", IsWindowVisible(dialog) != FALSE);
    RECT rect;
    GetWindowRect(dialog, &rect);
    WriteRect(json, rect);
    RECT client;
    GetClientRect(dialog, &client);
    json.Field("client_width", client.right).Field("client_height", client.bottom);
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    int kind = GetWindowRgn(dialog, region);
    json.Bool("has_region", kind != ERROR);
    if (kind != ERROR) {
        RECT box;
        GetRgnBox(region, &box);
        json.BeginObject("region_box").Field("x", box.left).Field("y", box.top).Field("width", box.right - box.left)
            .Field("height", box.bottom - box.top).End();
        json.Field("region_empty", kind == NULLREGION);
        json.BeginArray("region_hits");
        for (size_t at = 0; at < points.size();) {
            int x = 0, y = 0;
            if (swscanf(points.c_str() + at, L"%d,%d", &x, &y) != 2) break;
            json.Value(PtInRegion(region, x, y) ? 1 : 0);
            size_t next = points.find(L';', at);
            at = next == std::wstring::npos ? points.size() : next + 1;
        }
        json.EndArray();
    }
    DeleteObject(region);
    json.End();
}

