// Plumbing shared by the COM objects of the document model: the error
// convention of a host method, the private interfaces through which the
// host recognises its own model objects, a small class factory, and text
// forms of values for the operation log.
#pragma once

#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

#include "host/model/Document.h"
#include "host/model/OperationLog.h"
#include "host/model/QsdFile.h"
#include "host/model/Scope.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace HostModel {

// Runs a host method body: model, lattice, symmetry and file errors become
// E_INVALIDARG (E_FAIL for files) with their text; everything else follows
// the framework's error mapping for the interface.
template <class F> HRESULT ModelCall(REFIID iid, F&& body);

[[noreturn]] void Fail(HRESULT hr, const std::string& message);
void RequireOut(const void* out);

// Text of a VARIANT for the log: "empty", "\"text\"", "object", numbers and
// "True"/"False".
std::string DescribeVariant(const VARIANT& value);

// Host objects of a model (document root, model, atoms, bonds, pi-systems,
// lattices) answer this private interface; the host uses it to find its
// document and object behind an interface pointer a caller hands back.
inline constexpr IID IID_IHostModelObject = HostApi::MakeGuid("5C1B3E0A-7D42-4F6E-9A31-2E8C4D6F0B17");
struct IHostModelObject : public IUnknown {
    static const IID& Iid() { return IID_IHostModelObject; }
    virtual std::shared_ptr<Document> ModelDocument() = 0;
    // The object's handle (ModelHandle for the model and the document root).
    virtual Handle ObjectHandle() = 0;
};

// Scope objects of the host (and the model, which is a scope of itself)
// answer this private interface.
inline constexpr IID IID_IHostScope = HostApi::MakeGuid("8E0F6A21-3C59-4B7D-B2E4-91A7C3D5F862");
struct IHostScope : public IUnknown {
    static const IID& Iid() { return IID_IHostScope; }
    virtual Scope GetScope() = 0;
};

// An IClassFactory over a create function that stores a new object's
// IUnknown (one reference) in *out.
KelvComPtr<IClassFactory> MakeClassFactory(std::function<HRESULT(void**)> create);

template <class F> HRESULT ModelCall(REFIID iid, F&& body)
{
    return Kelv::ComMethod(GUID_NULL, iid, [&]() -> HRESULT {
        try {
            if constexpr (std::is_void_v<std::invoke_result_t<F&>>) {
                body();
                return S_OK;
            } else {
                return static_cast<HRESULT>(body());
            }
        } catch (const ModelError& e) {
            throw KelvResult(E_INVALIDARG, e.what());
        } catch (const LatticeError& e) {
            throw KelvResult(E_INVALIDARG, e.what());
        } catch (const SymmetryError& e) {
            throw KelvResult(E_INVALIDARG, e.what());
        } catch (const FileError& e) {
            throw KelvResult(E_FAIL, e.what());
        }
    });
}

} // namespace HostModel
