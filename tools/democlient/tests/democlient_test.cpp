// Starts the demo client as the launcher does (shared block first, client folder as current
// directory, no command line) and watches it from outside: the presence marker, the close word
// in the block, and the record of what it read.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>

#include "ansi_text.h"
#include "share_block.h"

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE h = nullptr) : h_(h) {}
    ~OwnedHandle() { if (h_) CloseHandle(h_); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

std::wstring ProgramFolder()
{
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::map<std::string, std::string> ReadRecord(const std::wstring& path)
{
    std::map<std::string, std::string> record;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return record;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) text.append(chunk, got);
    CloseHandle(file);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t eq = line.find('=');
        if (eq != std::string::npos) record[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 2;
    }
    return record;
}

bool ClientRunExists()
{
    HANDLE h = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, quenlor::kClientRunName);
    if (!h) return false;
    CloseHandle(h);
    return true;
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD timeout_ms)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeout_ms) return false;
        Sleep(50);
    }
    return true;
}

// A client folder of its own with the demo client copied in, as in a real installation.
class DemoClientFolder {
public:
    explicit DemoClientFolder(const std::wstring& name)
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"ql_democlient_" + name + L"_" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        copied_ = CopyFileW((ProgramFolder() + L"democlient.exe").c_str(), Path(L"democlient.exe").c_str(), FALSE) != FALSE;
    }
    ~DemoClientFolder()
    {
        for (const wchar_t* name : {L"democlient.exe", L"democlient.cfg", L"democlient.record", L"AutopatchOption.opt",
                                    L"PrintScreenList.txt"}) {
            DeleteFileW(Path(name).c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
    bool Copied() const { return copied_; }

    // Started with no command line, the client folder as current directory.
    HANDLE Start() const
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::wstring program = Path(L"democlient.exe");
        if (!CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(), &startup, &info)) {
            return nullptr;
        }
        CloseHandle(info.hThread);
        return info.hProcess;
    }

private:
    std::wstring folder_;
    bool copied_ = false;
};

TEST(DemoClient, HoldsClientRunReadsTheLaunchFilesAndAsksTheLauncherToClose)
{
    DemoClientFolder folder(L"close");
    ASSERT_TRUE(folder.Copied());
    WriteBytes(folder.Path(L"democlient.cfg"), "close_after_ms=1500\r\nexit_after_ms=5000\r\n");
    WriteBytes(folder.Path(L"AutopatchOption.opt"), "1\r\n3");
    WriteBytes(folder.Path(L"PrintScreenList.txt"), "1\t1024\t768\r\n2\t800\t600\r\n");

    OwnedHandle block(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         static_cast<DWORD>(quenlor::kShareBlockSize), quenlor::kShareBlockName));
    ASSERT_NE(block.get(), nullptr);
    auto* view = static_cast<uint8_t*>(MapViewOfFile(block.get(), FILE_MAP_ALL_ACCESS, 0, 0, quenlor::kShareBlockSize));
    ASSERT_NE(view, nullptr);
    const std::string line = "\xB5\xE7\xD0\xC5\xD2\xBB\xC7\xF8";  // a line name in GBK
    ASSERT_TRUE(quenlor::WriteLineToShareBlock(line, view));

    ASSERT_FALSE(ClientRunExists());
    OwnedHandle process(folder.Start());
    ASSERT_NE(process.get(), nullptr);
    EXPECT_TRUE(WaitFor(ClientRunExists, 60000)) << "ClientRun never appeared";
    EXPECT_FALSE(quenlor::IsCloseRequest(view));
    EXPECT_TRUE(WaitFor([&] { return quenlor::IsCloseRequest(view); }, 60000)) << "no close word";
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    DWORD exit_code = 1;
    GetExitCodeProcess(process.get(), &exit_code);
    EXPECT_EQ(exit_code, 0u);
    EXPECT_FALSE(ClientRunExists());

    auto record = ReadRecord(folder.Path(L"democlient.record"));
    EXPECT_EQ(record["client_run"], "created");
    EXPECT_EQ(record["options"], "1\\r\\n3");
    EXPECT_EQ(record["window_mode"], "1");
    EXPECT_EQ(record["resolution"], "3");
    EXPECT_EQ(record["screens"], "1\\t1024\\t768\\r\\n2\\t800\\t600\\r\\n");
    EXPECT_EQ(record["block_found"], "1");
    EXPECT_EQ(record["line_terminated"], "1");
    EXPECT_EQ(record["line_hex"], "B5E7D0C5D2BBC7F8");
    EXPECT_EQ(record["close_written"], "Dangerou");
    EXPECT_EQ(record["state"], "ended");
    UnmapViewOfFile(view);
}

TEST(DemoClient, WithoutBlockOrOptionFilesItRecordsTheirAbsence)
{
    DemoClientFolder folder(L"bare");
    ASSERT_TRUE(folder.Copied());
    WriteBytes(folder.Path(L"democlient.cfg"), "exit_after_ms=500\r\n");
    OwnedHandle process(folder.Start());
    ASSERT_NE(process.get(), nullptr);
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
    auto record = ReadRecord(folder.Path(L"democlient.record"));
    EXPECT_EQ(record["options_found"], "0");
    EXPECT_EQ(record["screens_found"], "0");
    EXPECT_EQ(record["block_found"], "0");
    EXPECT_EQ(record.count("close_written"), 0u);
    EXPECT_EQ(record["state"], "ended");
}

}  // namespace
