// The host's file stream (object CLSID_SBStream): a file path opened for
// reading or writing. Documents and importers read the file by its path.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include <string>

namespace QzHost {

class HostStream final : public CKelvUnknown, public ISBStream {
public:
    static KelvComPtr<HostStream> Create();

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT get_FilePath(BSTR* pPath) override;
    // SBStreamRead: the file must exist and be readable. SBStreamWrite: the
    // file must be writable and is created when it is not there; an existing
    // file is left as it is for the writer, which replaces it whole. Another
    // mode, a path that is not a text or an open stream: E_INVALIDARG.
    HRESULT Open(LONG mode, VARIANT varPath) override;
    HRESULT Close() override;

    bool IsOpen() const { return m_open; }
    LONG Mode() const { return m_mode; }
    const std::string& Path() const { return m_path; }

    // Registers the stream's class object in this process (once).
    static void RegisterClass();

private:
    HostStream() = default;
    std::string m_path;
    LONG m_mode = 0;
    bool m_open = false;
};

} // namespace QzHost
