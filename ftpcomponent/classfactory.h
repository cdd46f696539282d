// The class object of the component's one creatable class.
#pragma once

#include <unknwn.h>

class CNimbrelFactory : public IClassFactory {
public:
    virtual ~CNimbrelFactory() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL bLock) override;

private:
    volatile LONG m_lRef = 0;
};
