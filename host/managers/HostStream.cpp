#include "host/managers/HostStream.h"

#include "host/managers/HostCall.h"
#include "host/managers/HostContext.h"

#include <fstream>
#include <mutex>

namespace QzHost {

KelvComPtr<HostStream> HostStream::Create()
{
    return KelvComPtr<HostStream>::Adopt(new HostStream());
}

HRESULT HostStream::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_ISBStream)
        return FinishQI(static_cast<ISBStream*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT HostStream::get_FilePath(BSTR* pPath)
{
    return HostCall(IID_ISBStream, [&] { StoreString(pPath, m_path); });
}

HRESULT HostStream::Open(LONG mode, VARIANT varPath)
{
    return HostCall(IID_ISBStream, [&] {
        Log("Stream", "Open", {std::to_string(mode), DescribeVariant(varPath)});
        if (m_open)
            Fail(E_INVALIDARG, "The stream on \"" + m_path + "\" is open already.");
        if (varPath.vt != VT_BSTR || SysStringLen(varPath.bstrVal) == 0)
            Fail(E_INVALIDARG, "A stream is opened on a file path.");
        const std::string path = HostPaths::Normal(Narrow(varPath.bstrVal));
        if (mode == SBStreamRead) {
            std::ifstream in(path, std::ios::binary);
            if (!in)
                Fail(STG_E_FILENOTFOUND, "The file \"" + path + "\" cannot be opened for reading.");
        } else if (mode == SBStreamWrite) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            if (!out)
                Fail(E_ACCESSDENIED, "The file \"" + path + "\" cannot be opened for writing.");
        } else {
            Fail(E_INVALIDARG, "Unknown stream mode " + std::to_string(mode) + ".");
        }
        m_path = path;
        m_mode = mode;
        m_open = true;
    });
}

HRESULT HostStream::Close()
{
    return HostCall(IID_ISBStream, [&]() -> HRESULT {
        if (!m_open)
            return S_FALSE;
        m_open = false;
        return S_OK;
    });
}

namespace {

class StreamFactory final : public CKelvUnknown, public IClassFactory {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IClassFactory)
            return FinishQI(static_cast<IClassFactory*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        KelvComPtr<HostStream> stream = HostStream::Create();
        return stream->QueryInterface(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

} // namespace

void HostStream::RegisterClass()
{
    // The class object stays registered (and held here) for the life of the
    // process.
    static std::once_flag once;
    static StreamFactory* factory = nullptr;
    std::call_once(once, [] {
        factory = new StreamFactory();
        DWORD cookie = 0;
        CoRegisterClassObject(CLSID_SBStream, static_cast<IClassFactory*>(factory), CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &cookie);
    });
}

} // namespace QzHost
