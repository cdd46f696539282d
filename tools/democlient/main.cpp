// democlient: a stand-in for the game client, for tests and the demo (not shipped). It plays the
// client's side of the launcher interface:
//   - holds the named mapping "ClientRun" while it runs;
//   - reads "./AutopatchOption.opt", "./PrintScreenList.txt" and the shared block "SendMessAge";
//   - writes what it saw to "democlient.record" beside its program, as key=value lines, and adds
//     its process id as one line to "democlient.starts" there, so tests can count its starts;
//   - when "democlient.cfg" beside its program says so, writes the close word into the block.
//
// democlient.cfg, key=value lines, all optional:
//   close_after_ms=N   write the word into the block N ms after start
//   word=TEXT          the word to write (default Dangerou)
//   exit_after_ms=N    end N ms after start (default: when the window is closed)
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>

#include "share_block.h"

namespace {

constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT_PTR kExitTimer = 2;

struct ClientState {
    std::wstring folder;  // of this program, with a trailing backslash
    std::map<std::string, std::string> record;
    std::map<std::string, std::string> config;
    HANDLE share_map = nullptr;
    uint8_t* share_view = nullptr;
    HWND status = nullptr;
};

ClientState g_state;

std::string ReadFileBytes(const std::wstring& path, bool& found)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    found = file != INVALID_HANDLE_VALUE;
    if (!found) return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::string Hex(const std::string& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

// Values stay on one line: CR, LF and backslash are escaped.
std::string Escape(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c == '\\') out += "\\\\";
        else out.push_back(c);
    }
    return out;
}

// Rewritten whole at every change, under a temporary name first, so a reader never sees half.
void SaveRecord()
{
    std::string text;
    for (const auto& [key, value] : g_state.record) text += key + "=" + value + "\r\n";
    std::wstring path = g_state.folder + L"democlient.record";
    std::wstring temp = path + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// Appended, never rewritten: every start of this program leaves one line.
void CountStart()
{
    std::wstring path = g_state.folder + L"democlient.starts";
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::string line = std::to_string(GetCurrentProcessId()) + "\r\n";
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

void LoadConfig()
{
    bool found = false;
    std::string text = ReadFileBytes(g_state.folder + L"democlient.cfg", found);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t eq = line.find('=');
        if (eq != std::string::npos) g_state.config[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
}

int ConfigMs(const char* key)
{
    auto it = g_state.config.find(key);
    return it == g_state.config.end() ? -1 : atoi(it->second.c_str());
}

void RecordLaunchInputs()
{
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    char cwd_utf8[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_UTF8, 0, cwd, -1, cwd_utf8, sizeof(cwd_utf8), nullptr, nullptr);
    g_state.record["cwd"] = cwd_utf8;
    g_state.record["pid"] = std::to_string(GetCurrentProcessId());
    g_state.record["command_line"] = Escape(GetCommandLineA());

    bool found = false;
    std::string options = ReadFileBytes(L".\\AutopatchOption.opt", found);
    g_state.record["options_found"] = found ? "1" : "0";
    g_state.record["options"] = Escape(options);
    int window_mode = 0, resolution = 0;
    if (found && sscanf(options.c_str(), "%d %d", &window_mode, &resolution) == 2) {
        g_state.record["window_mode"] = std::to_string(window_mode);
        g_state.record["resolution"] = std::to_string(resolution);
    }
    std::string screens = ReadFileBytes(L".\\PrintScreenList.txt", found);
    g_state.record["screens_found"] = found ? "1" : "0";
    g_state.record["screens"] = Escape(screens);

    g_state.share_map = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, quenlor::kShareBlockName);
    g_state.record["block_found"] = g_state.share_map ? "1" : "0";
    if (g_state.share_map) {
        g_state.share_view = static_cast<uint8_t*>(MapViewOfFile(g_state.share_map, FILE_MAP_ALL_ACCESS, 0, 0, quenlor::kShareBlockSize));
    }
    if (g_state.share_view) {
        bool terminated = false;
        std::string line = quenlor::ReadShareBlockText(g_state.share_view, &terminated);
        g_state.record["line_terminated"] = terminated ? "1" : "0";
        g_state.record["line_hex"] = Hex(line);
    }
    g_state.record["state"] = "running";
    SaveRecord();
}

void WriteCloseWord()
{
    auto it = g_state.config.find("word");
    std::string word = it == g_state.config.end() ? quenlor::kCloseRequestWord : it->second;
    if (g_state.share_view && word.size() < quenlor::kShareBlockSize) {
        memcpy(g_state.share_view, word.c_str(), word.size() + 1);
        g_state.record["close_written"] = word;
    } else {
        g_state.record["close_written"] = "";  // no block to write into
    }
    SaveRecord();
    if (g_state.status) SetWindowTextW(g_state.status, L"close word written");
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_TIMER:
        KillTimer(window, wparam);
        if (wparam == kCloseTimer) WriteCloseWord();
        if (wparam == kExitTimer) DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self, length);
    g_state.folder = program.substr(0, program.find_last_of(L"\\/") + 1);

    // The presence marker the launcher looks for; held until this process ends.
    HANDLE client_run = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, quenlor::kClientRunName);
    g_state.record["client_run"] = client_run ? (GetLastError() == ERROR_ALREADY_EXISTS ? "existed" : "created") : "failed";
    LoadConfig();
    CountStart();
    RecordLaunchInputs();

    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = L"QuenlorDemoClient";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, window_class.lpszClassName, L"Quenlor demo client", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 360, 120, nullptr, nullptr, instance, nullptr);
    if (window) {
        std::wstring text = L"running, line ";
        if (g_state.share_view) {
            std::string line = quenlor::ReadShareBlockText(g_state.share_view);
            wchar_t wide[quenlor::kShareBlockSize] = {};
            MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide, quenlor::kShareBlockSize);
            text += wide;
        }
        g_state.status = CreateWindowExW(0, L"STATIC", text.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 320, 40, window, nullptr,
                                         instance, nullptr);
        ShowWindow(window, show);
    }
    if (ConfigMs("close_after_ms") >= 0) SetTimer(window, kCloseTimer, static_cast<UINT>(ConfigMs("close_after_ms")), nullptr);
    if (ConfigMs("exit_after_ms") >= 0) SetTimer(window, kExitTimer, static_cast<UINT>(ConfigMs("exit_after_ms")), nullptr);

    MSG message;
    while (window && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    g_state.record["state"] = "ended";
    SaveRecord();
    if (g_state.share_view) UnmapViewOfFile(g_state.share_view);
    if (g_state.share_map) CloseHandle(g_state.share_map);
    if (client_run) CloseHandle(client_run);
    return 0;
}
