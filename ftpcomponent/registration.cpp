// The module's entry point and its four exports: the class object and the registry entries.
#include <Nimbrel.h>  // the public header, not this unit's own
#include "classfactory.h"
#include "module.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {

const char kDescription[] = "Nimbrel, Corvane";
const char kProgId[] = "Nimbrel.1";
const char kIndependentProgId[] = "Nimbrel";

// One entry under HKEY_CLASSES_ROOT: key[\subKey], default value when given. Failures are
// ignored so one bad entry does not keep the others from being written.
void WriteEntry(const char* key, const char* subKey, const char* value)
{
    char path[512];
    if (subKey) std::snprintf(path, sizeof path, "%s\\%s", key, subKey);
    else std::snprintf(path, sizeof path, "%s", key);
    HKEY hKey = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &hKey,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (value)
        RegSetValueExA(hKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(hKey);
}

// "CLSID\{...}" in the ANSI code page.
void ClassKeyPath(char* path, size_t size)
{
    wchar_t wide[128];
    StringFromGUID2(CLSID_Nimbrel, wide, 128);
    char clsid[128];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, clsid, sizeof clsid, nullptr, nullptr);
    std::snprintf(path, size, "CLSID\\%s", clsid);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) g_hModuleInstance = hInstance;
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow(void)
{
    return ModuleInUse() ? S_FALSE : S_OK;
}

// Hands out the component object itself (asked for riid), never the class factory.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_Nimbrel)) return CLASS_E_CLASSNOTAVAILABLE;
    CNimbrelFactory* factory = new (std::nothrow) CNimbrelFactory();
    if (!factory) return E_OUTOFMEMORY;
    IUnknown* unknown = nullptr;
    const HRESULT queried = factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    if (FAILED(queried)) {
        delete factory;
        return queried;
    }
    const HRESULT created = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return created;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer(void)
{
    char classKey[256];
    ClassKeyPath(classKey, sizeof classKey);
    const char* clsid = classKey + 6;  // after "CLSID\"
    char modulePath[MAX_PATH] = {};
    GetModuleFileNameA(g_hModuleInstance, modulePath, MAX_PATH);

    WriteEntry(kProgId, nullptr, kDescription);
    WriteEntry("CLSID_Nimbrel.1", "CLSID", clsid);
    WriteEntry(kIndependentProgId, nullptr, kDescription);
    WriteEntry(kProgId, "CurVer", kProgId);
    WriteEntry(kProgId, "CLSID", clsid);
    WriteEntry(classKey, nullptr, kDescription);
    WriteEntry(classKey, "ProgID", kProgId);
    WriteEntry(classKey, "VersionIndependentProgID", kProgId);
    WriteEntry(classKey, "NotInsertable", nullptr);
    WriteEntry(classKey, "InprocServer32", modulePath);

    char inproc[300];
    std::snprintf(inproc, sizeof inproc, "%s\\InprocServer32", classKey);
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, inproc, 0, KEY_ALL_ACCESS, &hKey) == ERROR_SUCCESS) {
        static const char apartment[] = "Apartment";
        RegSetValueExA(hKey, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(apartment), sizeof apartment);
        RegCloseKey(hKey);
    }
    return S_OK;
}

// Leaf first, since a key that still has sub-keys is not removed. Besides the class key this
// removes every key registration creates, including "Nimbrel.1\CurVer" and "CLSID_Nimbrel.1",
// and the "Nimbrel\CurVer" / "Nimbrel\CLSID" pair that earlier registrations may have left.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer(void)
{
    char classKey[256];
    ClassKeyPath(classKey, sizeof classKey);
    const char* const fixedKeys[] = {
        "Nimbrel\\CurVer", "Nimbrel\\CLSID", "Nimbrel", "Nimbrel.1\\CLSID", "Nimbrel.1\\CurVer", "Nimbrel.1",
        "CLSID_Nimbrel.1\\CLSID", "CLSID_Nimbrel.1",
    };
    for (const char* key : fixedKeys) RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    for (const char* sub : {"ProgID", "VersionIndependentProgID", "NotInsertable", "InprocServer32"}) {
        char path[300];
        std::snprintf(path, sizeof path, "%s\\%s", classKey, sub);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, path);
    }
    RegDeleteKeyA(HKEY_CLASSES_ROOT, classKey);
    return S_OK;
}
