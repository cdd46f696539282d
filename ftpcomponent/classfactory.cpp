#include "classfactory.h"

#include "nimbrel.h"

#include <new>

HRESULT STDMETHODCALLTYPE CNimbrelFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CNimbrelFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_lRef)); }

ULONG STDMETHODCALLTYPE CNimbrelFactory::Release()
{
    if (InterlockedDecrement(&m_lRef) == 0) delete this;
    return 0;
}

HRESULT STDMETHODCALLTYPE CNimbrelFactory::CreateInstance(IUnknown*, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    CNimbrel* object = new (std::nothrow) CNimbrel();
    if (!object || !object->Valid()) {
        delete object;
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete object;  // never handed out, so nobody else holds it
    return hr;
}

HRESULT STDMETHODCALLTYPE CNimbrelFactory::LockServer(BOOL) { return S_OK; }
