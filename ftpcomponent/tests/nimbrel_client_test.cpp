// A game client's view of the registered component: the registry entries that registration
// wrote (or that unregistration removed), and the module loaded from the registered path.
// Run after "regsvr32 Nimbrel.dll" with --gtest_filter=Registered.* and after "regsvr32 /u"
// with --gtest_filter=Unregistered.*.
#include <Nimbrel.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const char kClassKey[] = "CLSID\\{BD895BFE-FAE3-40AD-9860-771614A502FF}";
const char kClassText[] = "{BD895BFE-FAE3-40AD-9860-771614A502FF}";

bool KeyExists(const std::string& path)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The value (default when name is null) as text; "<missing>" when the key or value is absent.
std::string Value(const std::string& path, const char* name = nullptr)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<missing>";
    char text[1024] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    const LONG r = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return "<missing>";
    if (type != REG_SZ) return "<not REG_SZ>";
    return text;
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

TEST(Registered, EveryEntryOfTheTableIsWritten)
{
    EXPECT_EQ(Value("Nimbrel.1"), "Nimbrel, Corvane");
    EXPECT_EQ(Value("CLSID_Nimbrel.1\\CLSID"), kClassText);
    EXPECT_EQ(Value("Nimbrel"), "Nimbrel, Corvane");
    EXPECT_EQ(Value("Nimbrel.1\\CurVer"), "Nimbrel.1");
    EXPECT_EQ(Value("Nimbrel.1\\CLSID"), kClassText);
    const std::string cls = kClassKey;
    EXPECT_EQ(Value(cls), "Nimbrel, Corvane");
    EXPECT_EQ(Value(cls + "\\ProgID"), "Nimbrel.1");
    EXPECT_EQ(Value(cls + "\\VersionIndependentProgID"), "Nimbrel.1");
    EXPECT_TRUE(KeyExists(cls + "\\NotInsertable"));
    EXPECT_EQ(Value(cls + "\\NotInsertable"), "<missing>") << "key only";
    EXPECT_EQ(Value(cls + "\\InprocServer32", "ThreadingModel"), "Apartment");
    const std::string path = Value(cls + "\\InprocServer32");
    ASSERT_GT(path.size(), 12u);
    EXPECT_EQ(_stricmp(path.c_str() + path.size() - 12, "\\Nimbrel.dll"), 0) << path;
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path;
    // Nothing registration does not own appears.
    EXPECT_FALSE(KeyExists("Nimbrel\\CurVer"));
    EXPECT_FALSE(KeyExists("Nimbrel\\CLSID"));
}

// A hidden window with a message loop, as the game client has.
struct ClientWindow {
    static constexpr UINT kMessage = WM_APP + 42;
    HWND hwnd = CreateWindowExA(0, "STATIC", "client", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ~ClientWindow() { DestroyWindow(hwnd); }
    bool pump(DWORD ms)
    {
        for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == kMessage && msg.hwnd == hwnd) return true;
                DispatchMessageA(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        return false;
    }
};

TEST(Registered, TheRegisteredModuleHandsOutTheComponentObject)
{
    const std::string path = Value(std::string(kClassKey) + "\\InprocServer32");
    HMODULE module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << path;
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(2))), reinterpret_cast<void*>(getClassObject));

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(IID_INimbrel, IID_INimbrel, &object), CLASS_E_CLASSNOTAVAILABLE) << "wrong class";
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(CLSID_Nimbrel, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK) << "the object refused above was never counted as alive";

    INimbrel* nimbrel = nullptr;
    ASSERT_EQ(getClassObject(CLSID_Nimbrel, IID_INimbrel, reinterpret_cast<void**>(&nimbrel)), S_OK);
    ASSERT_NE(nimbrel, nullptr);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(nimbrel->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(nimbrel));
    unknown->Release();
    IClassFactory* factory = reinterpret_cast<IClassFactory*>(1);
    EXPECT_EQ(nimbrel->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory)), E_NOINTERFACE);
    EXPECT_EQ(factory, nullptr);

    ClientWindow window;
    EXPECT_EQ(nimbrel->Initialize(window.hwnd, ClientWindow::kMessage, 4097), -2);
    ASSERT_EQ(nimbrel->Initialize(window.hwnd, ClientWindow::kMessage, 8), 0);
    EXPECT_EQ(nimbrel->Initialize(window.hwnd, ClientWindow::kMessage, 8), -1);
    EXPECT_EQ(nimbrel->GetNotifiedSession(nullptr), 0);
    const int session = nimbrel->CreateSession();
    ASSERT_EQ(session, 1);
    EXPECT_EQ(nimbrel->SetSessionData(session, 0x5EED), 0);
    DWORD data = 0;
    EXPECT_EQ(nimbrel->GetSessionData(session, &data), 0);
    EXPECT_EQ(data, 0x5EEDu);

    NIMBREL_CONNECT connect = {};
    lstrcpyA(connect.szHost, "127.0.0.1");
    connect.wPort = 21;
    connect.dwPassive = 1;
    ASSERT_EQ(nimbrel->Connect(session, &connect), 0);
    EXPECT_EQ(connect.nStatus, NIMBREL_STATUS_PENDING);
    ASSERT_TRUE(window.pump(20000)) << "the completion is announced by the client's message";
    data = 0;
    EXPECT_EQ(nimbrel->GetNotifiedSession(&data), session);
    EXPECT_EQ(data, 0x5EEDu);
    void* request = nullptr;
    EXPECT_EQ(nimbrel->GetResult(session, &request, FALSE), 0);
    EXPECT_EQ(request, &connect);
    EXPECT_NE(connect.nStatus, NIMBREL_STATUS_PENDING);
    EXPECT_EQ(nimbrel->CloseSession(session), 0);
    EXPECT_EQ(nimbrel->CloseSession(session), -2);

    EXPECT_EQ(nimbrel->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK) << "after the last release";
    FreeLibrary(module);
}

TEST(Unregistered, EveryKeyRegistrationWroteIsGone)
{
    for (const char* key : {"Nimbrel", "Nimbrel.1", "Nimbrel.1\\CLSID", "Nimbrel.1\\CurVer", "CLSID_Nimbrel.1",
                            "CLSID_Nimbrel.1\\CLSID", kClassKey})
        EXPECT_FALSE(KeyExists(key)) << key;
    EXPECT_TRUE(KeyExists("CLSID")) << "the shared parent stays";
}

}  // namespace
