// The four module exports of the FTP component. The class object and registration arrive with the
// component object; until then every export answers that the operation is not available.
#include <windows.h>
#include <objbase.h>

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow(void)
{
    return S_OK;  // no object has been handed out, so nothing keeps the module loaded
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, LPVOID* ppv)
{
    if (ppv) *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer(void)
{
    return E_NOTIMPL;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer(void)
{
    return E_NOTIMPL;
}
