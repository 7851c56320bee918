#pragma once
// Small stand-ins of the host's COM objects for the QorQMUtilities tests:
// documents, models, lattices, symmetry, atoms, scopes, the container root
// with its scope and document managers, a job, and a dispersion path. Every
// fake records what it was asked so that a test can check the exact
// arguments. Objects are reference counted and delete themselves.

#include "common/ErrorInfo.h"
#include "common/FakeCom.h"
#include "common/FakeDataObjects.h"
#include "com/com.h"
#include "hostapi/atomisticmodel.h"
#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Fakes {

using QzTest::Collection;
using QzTest::Fake;
using QzTest::HostError;
using QzTest::LastErrorText;
using QzTest::Make;
using QzTest::NoDispatch;
using QzTest::Point;
using QzTest::PropertyObject;

using Atom = PropertyObject<>;

inline KelvComPtr<Atom> MakeAtom(const std::string& element, LONG fixedAxes) {
    auto atom = Make<Atom>();
    atom->properties["ElementSymbol"] = KelvVariant(element);
    atom->properties["FixedAxes"] = fixedAxes < 0 ? KelvVariant() : KelvVariant(static_cast<int32_t>(fixedAxes));
    return atom;
}

class Operator final : public PropertyObject<ISDSymmetryOperator> {
public:
    explicit Operator(const std::vector<double>& rows12) : rows(rows12) {}
    HRESULT GetTransform(double* out) override {
        for (std::size_t i = 0; i < 12; ++i) {
            out[i] = rows[i];
        }
        return S_OK;
    }
    std::vector<double> rows;
};

inline KelvComPtr<Operator> Identity() {
    return Make<Operator>(std::vector<double>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0});
}

// A symmetry object with `count` operators (the first the identity).
inline KelvComPtr<IUnknown> MakeSymmetry(int count) {
    auto operators = Make<Collection>();
    for (int i = 0; i < count; ++i) {
        KelvComPtr<IUnknown> op = i == 0 ? KelvComPtr<IUnknown>(static_cast<ISDObject*>(Identity().get()))
                                         : KelvComPtr<IUnknown>(static_cast<ISDObject*>(
                                               Make<Operator>(std::vector<double>{-1, 0, 0, 0.5, 0, -1, 0, 0,
                                                                                  0, 0, 1, 0.25})
                                                   .get()));
        operators->values.emplace_back(op.get());
    }
    auto symmetry = Make<PropertyObject<>>();
    symmetry->properties["AllOperatorElements"] = KelvVariant(static_cast<IUnknown*>(operators.get()));
    return KelvComPtr<IUnknown>(static_cast<ISDObject*>(symmetry.get()));
}

class Lattice3D final : public PropertyObject<ISDLattice3D> {
public:
    HRESULT SetCellParameters(double, double, double, double, double, double) override { return S_OK; }
};

class Lattice2D final : public PropertyObject<ISDLattice2D> {
public:
    HRESULT SetCellParameters(double, double, double) override { return S_OK; }
};

class Frame final : public Fake<ISDLatticeFrame> {
public:
    HRESULT GetPointConverter(ISDPointConverter** out, LONG) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
};

class ScopeObjects final : public Fake<ISBScopeObjects> {
public:
    explicit ScopeObjects(std::vector<KelvComPtr<IUnknown>> list) : objects(std::move(list)) {}
    HRESULT get_Count(LONG* count) override { return *count = static_cast<LONG>(objects.size()), S_OK; }
    HRESULT Item(LONG index, IUnknown** out) override {
        *out = nullptr;
        if (index < 1 || index > static_cast<LONG>(objects.size())) {
            return DISP_E_BADINDEX;
        }
        *out = objects[static_cast<std::size_t>(index - 1)].get();
        (*out)->AddRef();
        return S_OK;
    }
    std::vector<KelvComPtr<IUnknown>> objects;
};

class Document;

// A scope: a list of objects of one document (or of none).
class Scope : public Fake<ISBScope> {
public:
    Scope() = default;
    Scope(ISBDocumentRoot* doc, std::vector<KelvComPtr<IUnknown>> list) : document(doc), objects(std::move(list)) {}
    HRESULT get_Objects(ISBScopeObjects** out) override {
        *out = Make<ScopeObjects>(objects).Detach();
        return S_OK;
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** out) override {
        *out = document.get();
        if (!document) {
            return S_FALSE;
        }
        document->AddRef();
        return S_OK;
    }
    KelvComPtr<ISBDocumentRoot> document;
    std::vector<KelvComPtr<IUnknown>> objects;
};

// The model of an atomistic document: it is a scope over its atoms.
class Model final : public PropertyObject<ISDAtomisticModel, ISBScope> {
public:
    HRESULT get_Lattice(IUnknown** out) override { return HandOut(lattice, out); }
    HRESULT get_LatticeFrame(IUnknown** out) override { return HandOut(frame, out); }
    HRESULT get_Symmetry(IUnknown** out) override { return HandOut(symmetry, out); }
    HRESULT MakeP1() override {
        ++makeP1Calls;
        return makeP1Error.empty() ? S_OK : HostError(E_FAIL, makeP1Error);
    }
    HRESULT get_NeedsPrimitiveConversion(VARIANT_BOOL* out) override { return *out = needsPrimitive, S_OK; }
    HRESULT ConvertToPrimitive() override { return ++convertCalls, S_OK; }
    HRESULT get_HasNonStandardSetting(VARIANT_BOOL* out) override { return *out = nonStandard, S_OK; }
    HRESULT get_Objects(ISBScopeObjects** out) override {
        *out = Make<ScopeObjects>(atoms).Detach();
        return S_OK;
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** out) override {
        *out = document;  // not counted: the document owns the model
        if (document) {
            document->AddRef();
        }
        return document ? S_OK : S_FALSE;
    }

    KelvComPtr<IUnknown> lattice;
    KelvComPtr<IUnknown> frame;
    KelvComPtr<IUnknown> symmetry;
    VARIANT_BOOL needsPrimitive = VARIANT_FALSE;
    VARIANT_BOOL nonStandard = VARIANT_FALSE;
    std::string makeP1Error;  // non-empty: MakeP1 fails with E_FAIL and this text
    int makeP1Calls = 0;
    int convertCalls = 0;
    std::vector<KelvComPtr<IUnknown>> atoms;
    ISBDocumentRoot* document = nullptr;

private:
    static HRESULT HandOut(const KelvComPtr<IUnknown>& object, IUnknown** out) {
        *out = object.get();
        if (!object) {
            return S_FALSE;
        }
        object->AddRef();
        return S_OK;
    }
};

class Document final : public Fake<ISBDocumentRoot> {
public:
    explicit Document(KelvComPtr<IUnknown> modelObject = nullptr, std::string path = "")
        : model(std::move(modelObject)), url(std::move(path)) {}
    HRESULT get_ContentsAsScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_DocumentID(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_DocumentURL(BSTR* out) override { return *out = SysAllocStringFromNarrow(url), S_OK; }
    HRESULT get_DocumentName(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_ModelDocument(IUnknown** out) override {
        *out = model.get();
        if (model) {
            model->AddRef();
        }
        return S_OK;
    }
    HRESULT get_DocumentInfo(ISBDocumentInfo**) override { return E_NOTIMPL; }
    HRESULT CopyModelFrom(ISBDocumentRoot*) override { return E_NOTIMPL; }
    KelvComPtr<IUnknown> model;
    std::string url;
};

// Applies "Filter:Model3d!Atom": the atoms of the scope, a model standing
// for all of its atoms. Any other processor name is refused.
class ScopeManager final : public Fake<ISBScopeManager> {
public:
    HRESULT ProcessScope(ISBScope* scope, BSTR processor, ISBScope** out) override {
        *out = nullptr;
        const std::string name = NarrowFromBSTR(processor);
        calls.push_back(name);
        if (name != "Filter:Model3d!Atom") {
            return HostError(E_INVALIDARG, "Unknown scope processor " + name);
        }
        KelvComPtr<ISBDocumentRoot> document;
        scope->get_DocumentRoot(document.Receive());
        std::vector<KelvComPtr<IUnknown>> atoms;
        Collect(scope, atoms);
        *out = Make<Scope>(document.get(), atoms).Detach();
        return S_OK;
    }
    HRESULT get_DefaultScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_ActiveScope(ISBScope**) override { return E_NOTIMPL; }
    std::vector<std::string> calls;

private:
    static void Collect(ISBScope* scope, std::vector<KelvComPtr<IUnknown>>& atoms) {
        KelvComPtr<ISBScopeObjects> objects;
        scope->get_Objects(objects.Receive());
        LONG count = 0;
        objects->get_Count(&count);
        for (LONG i = 1; i <= count; ++i) {
            KelvComPtr<IUnknown> object;
            objects->Item(i, object.Receive());
            if (auto inner = object.TryQueryInterface<ISDAtomisticModel>()) {
                Collect(object.QueryInterface<ISBScope>().get(), atoms);
            } else if (dynamic_cast<Atom*>(object.get())) {
                atoms.push_back(object);
            }
        }
    }
};

struct ExportCall {
    IUnknown* document;
    LONG flags;
    std::string exporter;
    VARTYPE dataType;
    std::string path;
};

struct NewDocumentCall {
    std::string progId;
    std::string path;
    LONG flags;
    std::string name;
};

class DocumentManager final : public Fake<ISBDocumentManager> {
public:
    HRESULT FindDocument(BSTR path, ISBDocumentRoot** out) override {
        findCalls.push_back(NarrowFromBSTR(path));
        const auto found = documents.find(NarrowFromBSTR(path));
        *out = found == documents.end() ? nullptr : KelvComPtr<ISBDocumentRoot>(found->second).Detach();
        return *out ? S_OK : S_FALSE;
    }
    HRESULT FindDocumentByID(BSTR, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT NewPrivateDocument(BSTR, VARIANT, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT NewProjectDocument(BSTR progId, BSTR path, LONG flags, VARIANT name,
                               ISBDocumentRoot** out) override {
        const KelvVariant nameValue(name);
        newCalls.push_back({NarrowFromBSTR(progId), NarrowFromBSTR(path), flags, nameValue.String()});
        auto document = Make<Document>(nullptr, NarrowFromBSTR(path));
        documents[NarrowFromBSTR(path)] = document;
        *out = document.Detach();
        return S_OK;
    }
    HRESULT ImportDocument(LONG, BSTR, BSTR, BSTR, VARIANT, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT ExportDocument(ISBDocumentRoot* document, LONG flags, BSTR exporter, VARIANT data, BSTR path) override {
        if (failExport) {
            return HostError(E_ACCESSDENIED, "The folder is read-only");
        }
        exports.push_back({document, flags, NarrowFromBSTR(exporter), data.vt, NarrowFromBSTR(path)});
        return S_OK;
    }
    HRESULT ImportDocumentReference(LONG, BSTR, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT PurgeDocument(ISBDocumentRoot*, LONG) override { return E_NOTIMPL; }
    HRESULT Synchronize() override { return E_NOTIMPL; }
    HRESULT AssociateDocument(ISBDocumentRoot* document, BSTR handler, BSTR path) override {
        associations.push_back({document, NarrowFromBSTR(handler) + "|" + NarrowFromBSTR(path)});
        return S_OK;
    }

    std::map<std::string, KelvComPtr<ISBDocumentRoot>> documents;
    std::vector<std::string> findCalls;
    std::vector<NewDocumentCall> newCalls;
    std::vector<ExportCall> exports;
    std::vector<std::pair<IUnknown*, std::string>> associations;
    bool failExport = false;
};

class Root final : public Fake<ISBContainerRoot> {
public:
    Root() : scopes(Make<ScopeManager>()), documents(Make<DocumentManager>()) {}
    HRESULT get_DiskManager(ISBDiskManager**) override { return E_NOTIMPL; }
    HRESULT get_FolderManager(ISBFolderManager**) override { return E_NOTIMPL; }
    HRESULT get_DocumentManager(ISBDocumentManager** out) override {
        *out = KelvComPtr<ISBDocumentManager>(documents.get()).Detach();
        return S_OK;
    }
    HRESULT get_StateManager(ISBStateManager**) override { return E_NOTIMPL; }
    HRESULT get_JobManager(ISBJobManager**) override { return E_NOTIMPL; }
    HRESULT get_OperationManager(ISBOperationManager**) override { return E_NOTIMPL; }
    HRESULT get_ModuleManager(ISBModuleManager**) override { return E_NOTIMPL; }
    HRESULT get_ScopeManager(ISBScopeManager** out) override {
        *out = KelvComPtr<ISBScopeManager>(scopes.get()).Detach();
        return S_OK;
    }
    HRESULT get_Extensions(ISBExtensions**) override { return E_NOTIMPL; }
    HRESULT get_DocumentService(ISBDocumentService**) override { return E_NOTIMPL; }
    HRESULT get_PathService(ISBPathService**) override { return E_NOTIMPL; }
    KelvComPtr<ScopeManager> scopes;
    KelvComPtr<DocumentManager> documents;
};

struct TransferCall {
    std::string descriptor;
    LONG upload;
    LONG download;
    std::string identifier;
    VARTYPE identifierType;
    VARTYPE docType;
    VARTYPE importExport;
    VARTYPE viewer;
};

// A job's task: safe names and file-transfer items.
class Task final : public Fake<ISBManagedTask> {
public:
    HRESULT get_TaskOriginator(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_TaskOriginator(BSTR) override { return E_NOTIMPL; }
    HRESULT get_TaskTypeDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_TaskTypeDescription(BSTR) override { return E_NOTIMPL; }
    HRESULT get_TaskPrefix(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_TaskPrefix(BSTR) override { return E_NOTIMPL; }
    HRESULT AddServerCommandItem(BSTR, BSTR) override { return E_NOTIMPL; }
    HRESULT AddFileTransferItem(BSTR descriptor, LONG upload, LONG download, VARIANT id, VARIANT docType,
                                VARIANT importExport, VARIANT viewer, ISBFileTransferItem** item) override {
        if (item) {
            *item = nullptr;
        }
        if (failTransfers) {
            return HostError(E_FAIL, "The job has started already");
        }
        const KelvVariant identifier(id);
        transfers.push_back({NarrowFromBSTR(descriptor), upload, download,
                             identifier.IsEmpty() ? std::string() : identifier.String(), id.vt, docType.vt,
                             importExport.vt, viewer.vt});
        return S_OK;
    }
    HRESULT get_Scope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT putref_Scope(ISBScope*) override { return E_NOTIMPL; }
    HRESULT Start() override { return E_NOTIMPL; }
    HRESULT get_ResultsFolder(BSTR*) override { return E_NOTIMPL; }
    HRESULT MakeSafeName(BSTR name, BSTR* safe) override {
        safeNameCalls.push_back(NarrowFromBSTR(name));
        if (failSafeName) {
            *safe = nullptr;
            return HostError(E_UNEXPECTED, "No server for this job");
        }
        *safe = SysAllocStringFromNarrow("safe:" + NarrowFromBSTR(name));
        return S_OK;
    }
    std::vector<TransferCall> transfers;
    std::vector<std::string> safeNameCalls;
    bool failTransfers = false;
    bool failSafeName = false;
};

struct PathPoint {
    double x, y, z;
    LONG kind;
    std::string label;
};

// A dispersion path; the point kinds come through the second interface.
class DispersionPath final : public Fake<IQoDispersionPath, IQoDispersionPathPointKinds> {
public:
    explicit DispersionPath(std::vector<PathPoint> list) : points(std::move(list)) {}
    HRESULT get_PointCount(LONG* count) override { return *count = static_cast<LONG>(points.size()), S_OK; }
    HRESULT GetPoint(LONG i, ISDPoint3d** out) override {
        if (i == failAt) {
            *out = nullptr;
            return HostError(E_UNEXPECTED, "Point " + std::to_string(i) + " is not ready");
        }
        const PathPoint& p = points.at(static_cast<std::size_t>(i));
        *out = Make<Point>(p.x, p.y, p.z).Detach();
        return S_OK;
    }
    HRESULT GetPointLabel(LONG i, BSTR* label) override {
        *label = SysAllocStringFromNarrow(points.at(static_cast<std::size_t>(i)).label);
        return S_OK;
    }
    HRESULT GetPointKind(LONG i, LONG* kind) override {
        *kind = points.at(static_cast<std::size_t>(i)).kind;
        return S_OK;
    }
    std::vector<PathPoint> points;
    LONG failAt = -1;
};

}  // namespace Fakes
