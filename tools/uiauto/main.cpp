// uiauto: the UI automation helper of the end-to-end tests. It runs inside the same wine server as
// the programs under test and reaches their windows through ordinary window messages. Every
// command prints one JSON object on one line (ASCII; other characters as \u escapes).
//
//   uiauto inspect    --exe NAME [--points X,Y;X,Y]   main window, its controls, message boxes;
//                                                     with points (window coordinates), whether
//                                                     each lies inside the window's region
//   uiauto wait-window --exe NAME [--timeout MS]      until the main window is visible, then inspect
//   uiauto wait-text  --exe NAME --id N --text T [--timeout MS] [--then-click C]
//                                                     until control N shows exactly T (polled every
//                                                     100 ms, for timing runs), then inspect; with
//                                                     then-click, control C is clicked at that
//                                                     moment (a short state caught while it lasts)
//   uiauto watch-text --exe NAME --id N --until T [--timeout MS] [--ready FILE]
//                                                     the texts control N shows (polled every
//                                                     50 ms, repeats folded) until it shows T; a
//                                                     text shown for less than that can slip by;
//                                                     "unix_ms": when each was first seen, by the
//                                                     system clock, for timing runs; FILE is
//                                                     created once the first look was taken, so a
//                                                     caller starts the watched program only then
//   uiauto msgbox     --exe NAME [--title T] [--text X] [--answer ok|cancel|yes|no|ID] [--timeout MS]
//                                                     wait for a matching message box, report it,
//                                                     answer it when asked
//   uiauto click      --exe NAME --id N               click control N as the mouse would: not
//                                                     when it is disabled or hidden
//   uiauto select     --exe NAME --id N --index I     select combo entry I and notify the dialog
//                                                     as the real list does (CBN_SELCHANGE)
//   uiauto send       --exe NAME --id N --msg M [--wparam W] [--lparam L]
//                                                     send a message with number arguments to
//                                                     control N (0: the main window); prints the result
//   uiauto prop       --exe NAME --name PROP            a window property of the main window
//   uiauto redraw     --exe NAME                      repaint the main window and its controls now
//   uiauto close      --exe NAME                      send WM_CLOSE to the main window
//   uiauto key        --exe NAME --vk N [--alt 1]     press and release key N (with Alt held:
//                                                     the system key messages) as the keyboard
//                                                     does, at the window that has the focus in
//                                                     the program's window thread, else the main window
//   uiauto wait-exit  --exe NAME [--timeout MS]       until no process of that name is left;
//                                                     "exit_codes": how those it waited on ended
//   uiauto kill       --exe NAME                      end every process of that name at once
//   uiauto screenshot --exe NAME --out FILE.bmp       what the screen shows in the main window
//   uiauto hold-mapping --name NAME --ms MS [--ready FILE]
//                                                     hold a named file mapping for MS ms, as the
//                                                     game client holds its presence marker; FILE
//                                                     is created once the mapping exists, and
//                                                     deleting it ends the hold early
//   uiauto hold-desktop                               keep the session's desktop open until the
//                                                     wine server stops (started by wine-run.sh)
//   uiauto codepage                                   the ANSI code page this session runs with
//   uiauto exclusive-rename --path FILE --to NEW      open FILE for reading without sharing (as a
//                                                     scanner or an updater does), close it, then
//                                                     rename it to NEW; reports both outcomes
//   uiauto run-and-close PROGRAM [TIMEOUT_MS [HOLD_MS]]
//
// Positions of controls are client coordinates of the main window. The exit code is 0 when the
// command found what it looked for, 1 when not, 64 for a usage error.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "json_writer.h"
#include "process_windows.h"
#include "window_report.h"
#include "run_and_close.h"
#include "screenshot.h"

namespace {

using Options = std::map<std::wstring, std::wstring>;

int Usage();

int Print(const JsonWriter& json, bool found)
{
    std::printf("%s\n", json.Text().c_str());
    std::fflush(stdout);
    return found ? 0 : 1;
}

int NotFound(const char* what)
{
    JsonWriter json;
    json.Begin().Bool("found", false).Field("missing", std::wstring(what, what + strlen(what))).End();
    return Print(json, false);
}

int Inspect(const std::vector<DWORD>& processes, HWND dialog, const std::wstring& points = std::wstring())
{
    JsonWriter json;
    json.Begin().Bool("found", dialog != nullptr).Field("processes", static_cast<long long>(processes.size()));
    if (dialog) {
        WriteWindow(json, dialog, points);
        json.BeginArray("controls");
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            WriteControl(json, dialog, child);
        }
        json.EndArray();
    }
    json.BeginArray("message_boxes");
    for (HWND box : FindMessageBoxes(processes)) WriteMessageBox(json, box);
    json.EndArray().End();
    return Print(json, dialog != nullptr);
}

DWORD Timeout(const Options& options, DWORD fallback)
{
    auto it = options.find(L"timeout");
    return it == options.end() ? fallback : static_cast<DWORD>(_wtoi(it->second.c_str()));
}

int WaitWindow(const std::wstring& exe, DWORD timeout_ms)
{
    for (DWORD waited = 0;; waited += 100) {
        std::vector<DWORD> processes = FindProcessesByExe(exe);
        HWND dialog = FindMainWindow(processes);
        if (dialog && IsWindowVisible(dialog)) return Inspect(processes, dialog);
        if (waited >= timeout_ms) return Inspect(processes, nullptr), 1;
        Sleep(100);
    }
}

// Creates the empty file that option `ready` names, if any: the caller's sign that this command
// is under way (a caller waiting on it must not start the watched program before).
void MarkReady(const Options& options)
{
    auto ready = options.find(L"ready");
    if (ready == options.end()) return;
    if (FILE* marker = _wfopen(ready->second.c_str(), L"wb")) fclose(marker);
}

// Looks at control `id` of the main window every interval_ms until it shows `until` or the time
// is up, handing each look's text to `seen`. The dialog once the text was reached, else null.
// The ready file is created after the first look, when the process list has been taken once.
HWND PollText(const std::wstring& exe, const Options& options, DWORD interval_ms,
              const std::function<void(const std::wstring&)>& seen, std::vector<DWORD>& processes)
{
    const int id = _wtoi(options.at(L"id").c_str());
    const std::wstring& until = options.at(L"until");
    const DWORD timeout_ms = Timeout(options, 30000);
    const DWORD started = GetTickCount();
    for (bool first_look = true;; first_look = false) {
        processes = FindProcessesByExe(exe);
        HWND dialog = FindMainWindow(processes);
        if (dialog) {
            const std::wstring text = WindowText(GetDlgItem(dialog, id));
            seen(text);
            if (text == until) return dialog;
        }
        if (first_look) MarkReady(options);
        if (GetTickCount() - started >= timeout_ms) return nullptr;
        Sleep(interval_ms);
    }
}

bool HasTextOptions(const Options& options)
{
    return options.count(L"id") && options.count(L"until");
}

int WaitText(const std::wstring& exe, Options options)
{
    if (options.count(L"text")) options[L"until"] = options[L"text"];
    if (!HasTextOptions(options)) return Usage();
    std::vector<DWORD> processes;
    // Each look is a cross-process message to the watched window: seldom enough not to slow it.
    HWND dialog = PollText(exe, options, 100, [](const std::wstring&) {}, processes);
    if (!dialog) return NotFound("text");
    auto then_click = options.find(L"then-click");
    if (then_click != options.end()) {
        HWND control = GetDlgItem(dialog, _wtoi(then_click->second.c_str()));
        if (control && IsWindowEnabled(control) && IsWindowVisible(control)) PostMessageW(control, BM_CLICK, 0, 0);
    }
    return Inspect(processes, dialog);
}

// Milliseconds since 1970 by the system clock, which Wine takes from the host's: a caller compares
// them with other programs' time stamps (a server's log).
long long UnixMilliseconds()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const long long ticks = (static_cast<long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const long long kUnixEpochTicks = 116444736000000000LL;  // 1601 to 1970 in 100 ns steps
    return (ticks - kUnixEpochTicks) / 10000;
}

int WatchText(const std::wstring& exe, const Options& options)
{
    if (!HasTextOptions(options)) return Usage();
    std::vector<std::wstring> texts;
    std::vector<long long> seen_unix_ms;
    std::vector<DWORD> processes;
    HWND dialog = PollText(exe, options, 50, [&](const std::wstring& text) {
        if (texts.empty() || texts.back() != text) {
            texts.push_back(text);
            seen_unix_ms.push_back(UnixMilliseconds());
        }
    }, processes);
    JsonWriter json;
    json.Begin().Bool("found", dialog != nullptr).BeginArray("texts");
    for (const std::wstring& text : texts) json.Value(text);
    json.EndArray().BeginArray("unix_ms");
    for (long long ms : seen_unix_ms) json.Value(ms);
    json.EndArray().End();
    return Print(json, dialog != nullptr);
}

int AnswerId(const std::wstring& answer)
{
    if (answer == L"ok") return IDOK;
    if (answer == L"cancel") return IDCANCEL;
    if (answer == L"yes") return IDYES;
    if (answer == L"no") return IDNO;
    return _wtoi(answer.c_str());
}

int MessageBoxCommand(const std::wstring& exe, const Options& options)
{
    auto title = options.find(L"title");
    auto text = options.find(L"text");
    auto answer = options.find(L"answer");
    DWORD timeout_ms = Timeout(options, 30000);
    for (DWORD waited = 0;; waited += 100) {
        for (HWND box : FindMessageBoxes(FindProcessesByExe(exe))) {
            if (title != options.end() && WindowText(box) != title->second) continue;
            if (text != options.end() && WindowText(GetDlgItem(box, 0xFFFF)) != text->second) continue;
            JsonWriter json;
            json.Begin().Bool("found", true).Key("box");
            WriteMessageBox(json, box);
            if (answer != options.end()) {
                int id = AnswerId(answer->second);
                PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
                json.Field("answered", id);
            }
            json.End();
            return Print(json, true);
        }
        if (waited >= timeout_ms) return NotFound("message box");
        Sleep(100);
    }
}

HWND RequireControl(HWND dialog, const Options& options)
{
    auto id = options.find(L"id");
    if (!dialog || id == options.end()) return nullptr;
    return GetDlgItem(dialog, _wtoi(id->second.c_str()));
}

int Click(HWND dialog, const Options& options)
{
    HWND control = RequireControl(dialog, options);
    if (!control) return NotFound("control");
    // A player's click never reaches a disabled control; BM_CLICK itself would not ask.
    const bool enabled = IsWindowEnabled(control) != FALSE && IsWindowVisible(control) != FALSE;
    if (enabled) PostMessageW(control, BM_CLICK, 0, 0);
    JsonWriter json;
    json.Begin().Bool("found", true).Bool("clicked", enabled).End();
    return Print(json, true);
}

int Select(HWND dialog, const Options& options)
{
    HWND combo = RequireControl(dialog, options);
    auto index = options.find(L"index");
    if (!combo || index == options.end()) return NotFound("control");
    LRESULT selected = SendMessageW(combo, CB_SETCURSEL, _wtoi(index->second.c_str()), 0);
    // The dialog hears of a selection the way the list itself tells it; sent, so the handler has
    // run when this command returns.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    JsonWriter json;
    json.Begin().Bool("found", true).Field("selection", static_cast<long long>(selected)).End();
    return Print(json, true);
}

// Waits on the processes themselves rather than for their names to leave the process list: a
// list that could not be taken proves nothing, and a process believed ended would be killed by
// the caller's clean-up while it still works. Reports how each one ended.
int WaitExit(const std::wstring& exe, DWORD timeout_ms)
{
    const DWORD started = GetTickCount();
    std::map<DWORD, DWORD> exit_codes;  // process id -> exit code
    for (;;) {
        std::vector<DWORD> processes;
        const bool listed = ListProcessesByExe(exe, processes);
        if (listed && processes.empty()) {
            JsonWriter json;
            json.Begin().Bool("found", true).Bool("exited", true).BeginArray("exit_codes");
            for (const auto& ended : exit_codes) json.Value(static_cast<long long>(ended.second));
            json.EndArray().End();
            return Print(json, true);
        }
        const DWORD elapsed = GetTickCount() - started;
        if (elapsed >= timeout_ms) {
            JsonWriter json;
            json.Begin().Bool("found", false).Bool("exited", false).Field("left", static_cast<long long>(processes.size()));
            json.Bool("listed", listed).End();
            return Print(json, false);
        }
        std::vector<DWORD> waited_ids;
        std::vector<HANDLE> handles;
        for (DWORD pid : processes) {
            if (handles.size() == MAXIMUM_WAIT_OBJECTS) break;
            if (HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
                waited_ids.push_back(pid);
                handles.push_back(process);
            }
        }
        // Bounded by what is left of the time; the list is taken again afterwards, since one that
        // ended may have started another of the same name. Without a handle to wait on (the list
        // failed, or they ended before they could be opened), or when the wait itself fails, the
        // next look comes a moment later.
        if (handles.empty() || WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE,
                                                      timeout_ms - elapsed) == WAIT_FAILED)
            Sleep(100);
        for (size_t i = 0; i < handles.size(); ++i) {
            DWORD code = STILL_ACTIVE;
            if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0 && GetExitCodeProcess(handles[i], &code))
                exit_codes[waited_ids[i]] = code;
            CloseHandle(handles[i]);
        }
    }
}

int Kill(const std::vector<DWORD>& processes)
{
    for (DWORD pid : processes) {
        if (HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid)) {
            TerminateProcess(process, 9);
            CloseHandle(process);
        }
    }
    JsonWriter json;
    json.Begin().Bool("found", !processes.empty()).Field("killed", static_cast<long long>(processes.size())).End();
    return Print(json, true);
}

int Send(HWND dialog, const Options& options)
{
    auto id = options.find(L"id");
    auto msg = options.find(L"msg");
    if (!dialog || id == options.end() || msg == options.end()) return NotFound("control");
    int control_id = _wtoi(id->second.c_str());
    HWND target = control_id == 0 ? dialog : GetDlgItem(dialog, control_id);
    if (!target) return NotFound("control");
    auto number = [&](const wchar_t* key) {
        auto it = options.find(key);
        return it == options.end() ? 0LL : _wtoi64(it->second.c_str());
    };
    LRESULT result = SendMessageW(target, static_cast<UINT>(number(L"msg")), static_cast<WPARAM>(number(L"wparam")),
                                  static_cast<LPARAM>(number(L"lparam")));
    JsonWriter json;
    json.Begin().Bool("found", true).Field("result", static_cast<long long>(result)).End();
    return Print(json, true);
}

int Prop(HWND dialog, const Options& options)
{
    auto name = options.find(L"name");
    if (!dialog || name == options.end()) return NotFound("window");
    JsonWriter json;
    json.Begin().Bool("found", true)
        .Field("value", static_cast<long long>(reinterpret_cast<INT_PTR>(GetPropW(dialog, name->second.c_str()))))
        .End();
    return Print(json, true);
}

int Redraw(HWND dialog)
{
    if (!dialog) return NotFound("window");
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    JsonWriter json;
    json.Begin().Bool("found", true).End();
    return Print(json, true);
}

int Close(HWND dialog)
{
    if (!dialog) return NotFound("window");
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    JsonWriter json;
    json.Begin().Bool("found", true).End();
    return Print(json, true);
}

int Key(HWND dialog, const Options& options)
{
    auto vk = options.find(L"vk");
    if (!dialog || vk == options.end()) return NotFound("window");
    const WPARAM key = static_cast<WPARAM>(_wtoi(vk->second.c_str()));
    auto alt = options.find(L"alt");
    const bool with_alt = alt != options.end() && alt->second == L"1";
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof(thread);
    HWND target = dialog;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread) && thread.hwndFocus) target = thread.hwndFocus;
    // Repeat count 1; with Alt the context bit (29) is set and the keys are system keys, which is
    // what makes Alt+F4 a close.
    const LPARAM down = 1 | (with_alt ? (1 << 29) : 0);
    const LPARAM up = down | (1 << 30) | (1u << 31);
    PostMessageW(target, with_alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
    PostMessageW(target, with_alt ? WM_SYSKEYUP : WM_KEYUP, key, up);
    JsonWriter json;
    json.Begin().Bool("found", true).Field("target_class", WindowClass(target))
        .Field("target_id", static_cast<long long>(target == dialog ? 0 : GetDlgCtrlID(target))).End();
    return Print(json, true);
}

int ExclusiveRename(const Options& options)
{
    auto path = options.find(L"path");
    auto to = options.find(L"to");
    if (path == options.end() || to == options.end()) return Usage();
    HANDLE file = CreateFileW(path->second.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD open_error = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    const bool renamed = MoveFileExW(path->second.c_str(), to->second.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    const DWORD rename_error = renamed ? 0 : GetLastError();
    JsonWriter json;
    json.Begin().Bool("found", true).Bool("exclusive", open_error == 0).Field("open_error", static_cast<long long>(open_error))
        .Bool("renamed", renamed).Field("rename_error", static_cast<long long>(rename_error)).End();
    return Print(json, open_error == 0 && renamed);
}

int Screenshot(HWND dialog, const Options& options)
{
    auto out = options.find(L"out");
    if (!dialog || out == options.end()) return NotFound("window");
    bool saved = SaveWindowScreenshot(dialog, out->second);
    JsonWriter json;
    json.Begin().Bool("found", saved).End();
    return Print(json, saved);
}

int HoldMapping(const Options& options)
{
    auto name = options.find(L"name");
    auto ms = options.find(L"ms");
    if (name == options.end() || ms == options.end()) return Usage();
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, name->second.c_str());
    if (!mapping) return NotFound("mapping");
    auto ready = options.find(L"ready");
    MarkReady(options);
    const DWORD hold_ms = static_cast<DWORD>(_wtoi(ms->second.c_str()));
    for (DWORD held = 0; held < hold_ms; held += 100) {
        if (ready != options.end() && GetFileAttributesW(ready->second.c_str()) == INVALID_FILE_ATTRIBUTES) break;
        Sleep(100);
    }
    CloseHandle(mapping);
    JsonWriter json;
    json.Begin().Bool("found", true).End();
    return Print(json, true);
}

// Wine closes a desktop, and ends its desktop process, about a second after the last program using
// it ends; a program starting in that moment finds no desktop to create its windows on and ends
// at once. One hidden window held for the whole session keeps the desktop open between tests.
int HoldDesktop()
{
    HWND holder = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"quenlor desktop holder", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!holder) return NotFound("desktop");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: uiauto inspect|wait-window|wait-text|watch-text|msgbox|click|select|send|prop|redraw|close|key|wait-exit|kill|screenshot\n"
                 "              --exe NAME [options]\n"
                 "       uiauto hold-mapping --name NAME --ms MS [--ready FILE]\n"
                 "       uiauto codepage\n"
                 "       uiauto exclusive-rename --path FILE --to NEW\n"
                 "       uiauto run-and-close PROGRAM [TIMEOUT_MS [HOLD_MS]]\n"
                 "(the comment at the top of tools/uiauto/main.cpp explains each command)\n");
    return 64;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"run-and-close") {
        if (argc < 3) return Usage();
        DWORD timeout_ms = argc >= 4 ? static_cast<DWORD>(_wtoi(argv[3])) : 30000;
        DWORD hold_ms = argc >= 5 ? static_cast<DWORD>(_wtoi(argv[4])) : 0;
        return RunAndClose(argv[2], timeout_ms, hold_ms);
    }

    if (command == L"hold-desktop") return HoldDesktop();
    if (command == L"codepage") {
        JsonWriter json;
        json.Begin().Bool("found", true).Field("acp", static_cast<long long>(GetACP())).End();
        return Print(json, true);
    }

    Options options;
    for (int i = 2; i + 1 < argc; i += 2) {
        std::wstring name = argv[i];
        if (name.rfind(L"--", 0) != 0) return Usage();
        options[name.substr(2)] = argv[i + 1];
    }
    if (command == L"hold-mapping") return HoldMapping(options);
    if (command == L"exclusive-rename") return ExclusiveRename(options);
    auto exe = options.find(L"exe");
    if (exe == options.end()) return Usage();

    if (command == L"wait-window") return WaitWindow(exe->second, Timeout(options, 30000));
    if (command == L"wait-text") return WaitText(exe->second, options);
    if (command == L"watch-text") return WatchText(exe->second, options);
    if (command == L"msgbox") return MessageBoxCommand(exe->second, options);
    if (command == L"wait-exit") return WaitExit(exe->second, Timeout(options, 30000));

    std::vector<DWORD> processes = FindProcessesByExe(exe->second);
    if (command == L"kill") return Kill(processes);
    HWND dialog = FindMainWindow(processes);
    if (command == L"inspect") {
        auto points = options.find(L"points");
        return Inspect(processes, dialog, points == options.end() ? std::wstring() : points->second);
    }
    if (command == L"click") return Click(dialog, options);
    if (command == L"select") return Select(dialog, options);
    if (command == L"send") return Send(dialog, options);
    if (command == L"prop") return Prop(dialog, options);
    if (command == L"redraw") return Redraw(dialog);
    if (command == L"close") return Close(dialog);
    if (command == L"key") return Key(dialog, options);
    if (command == L"screenshot") return Screenshot(dialog, options);
    return Usage();
}
