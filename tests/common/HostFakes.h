// Small stand-ins of the host's objects for the framework and utility
// library tests (appfw, qorvira): a container root with its managers, extensions, logics and states, scopes,
// documents with named sets, atoms and points. Every fake that the libraries
// call appends what it was asked to one call log, so that a test can check
// that a call reached the host with the right arguments.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "com/com.h"
#include "common/ErrorInfo.h"
#include "common/FakeCom.h"
#include "common/FakeDataObjects.h"
#include "hostapi/hostapi.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

inline std::vector<std::string>& CallLog()
{
    static std::vector<std::string> log;
    return log;
}

inline std::string Text(BSTR text)
{
    return Kelv::BSTRToTString(text);
}

using QzTest::Fake;
using QzTest::HostError;
using QzTest::Make;

// A dual interface of a fake: IDispatch answered by the framework's plumbing.
template <class Itf>
using Dual = IKelvDispatchImpl<Itf>;

class FakeState : public Fake<Dual<ISBState>>
{
public:
    std::map<std::string, KelvVariant> values;
    std::map<std::string, std::string> enumTexts;

    HRESULT GetPropertyValue(BSTR name, VARIANT* value) override
    {
        const auto found = values.find(Text(name));
        if (found == values.end())
            return HostError(E_INVALIDARG, "Unknown state property " + Text(name) + ".");
        return VariantCopy(value, &found->second.Get());
    }
    HRESULT SetPropertyValue(BSTR name, VARIANT value) override
    {
        values[Text(name)] = KelvVariant(value);
        return S_OK;
    }
    HRESULT GetPropertyEnumText(BSTR name, BSTR* text) override
    {
        const auto found = enumTexts.find(Text(name));
        if (found == enumTexts.end())
            return E_INVALIDARG;
        *text = Kelv::bstrdup(found->second);
        return S_OK;
    }
    HRESULT HasProperty(BSTR name, VARIANT_BOOL* has) override
    {
        *has = values.count(Text(name)) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT GetPropertyKind(BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT get_PropertyNames(SAFEARRAY**) override { return E_NOTIMPL; }
};

class FakeLogic : public Fake<Dual<ISBLogic>>
{
public:
    explicit FakeLogic(KelvComPtr<ISBState> state = nullptr) : m_state(std::move(state)) {}
    HRESULT get_State(ISBState** state) override
    {
        *state = KelvComPtr<ISBState>(m_state).Detach();
        return S_OK;
    }
    HRESULT OnConnect(ISBExtension*, VARIANT) override { return E_NOTIMPL; }
    HRESULT get_Extension(ISBExtension**) override { return E_NOTIMPL; }

private:
    KelvComPtr<ISBState> m_state;
};

class FakeExtension : public Fake<ISBExtension>
{
public:
    std::map<std::string, KelvComPtr<ISBLogic>> logics;

    HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Logics(ISBLogics**) override { return E_NOTIMPL; }
    HRESULT Item(VARIANT index, ISBLogic** logic) override
    {
        *logic = nullptr;
        const auto found = index.vt == VT_BSTR ? logics.find(Text(index.bstrVal)) : logics.end();
        if (found == logics.end())
            return HostError(E_INVALIDARG, "No such logic.");
        *logic = KelvComPtr<ISBLogic>(found->second).Detach();
        return S_OK;
    }
    HRESULT CreateContainedState(ISBLogic*, REFGUID, ISBState**) override { return E_NOTIMPL; }
};

class FakeExtensions : public Fake<ISBExtensions>
{
public:
    std::map<std::string, KelvComPtr<ISBExtension>> extensions;

    HRESULT get_Count(LONG* count) override
    {
        *count = static_cast<LONG>(extensions.size());
        return S_OK;
    }
    HRESULT Item(VARIANT index, ISBExtension** extension) override
    {
        *extension = nullptr;
        const auto found = index.vt == VT_BSTR ? extensions.find(Text(index.bstrVal)) : extensions.end();
        if (found == extensions.end())
            return E_INVALIDARG;
        *extension = KelvComPtr<ISBExtension>(found->second).Detach();
        return S_OK;
    }
};

using FakePoint = QzTest::Point;
using FakeCollection = QzTest::Collection;

// An atom (or any data-model object): named properties; writes are logged.
class FakeAtom : public QzTest::PropertyObject<>
{
public:
    explicit FakeAtom(std::string label) : label(std::move(label)) {}
    std::string label;

    HRESULT put_PropertyValue(BSTR name, LONG* status, VARIANT value) override
    {
        CallLog().push_back("put " + label + "." + Text(name) + "=" + KelvVariant(value).String());
        return PropertyObject::put_PropertyValue(name, status, value);
    }
};

inline std::string LabelOf(IUnknown* object)
{
    auto* atom = dynamic_cast<FakeAtom*>(object);
    return atom ? atom->label : std::string("?");
}

class FakeScope : public Fake<ISBScope, ISBScopeObjects>
{
public:
    FakeScope(std::string name, std::vector<KelvComPtr<IUnknown>> objects, ISBDocumentRoot* document = nullptr)
        : name(std::move(name)), objects(std::move(objects)), document(document)
    {
    }
    std::string name;
    std::vector<KelvComPtr<IUnknown>> objects;
    ISBDocumentRoot* document; // not owned: documents own their scopes

    HRESULT get_Objects(ISBScopeObjects** out) override
    {
        AddRef();
        *out = this;
        return S_OK;
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** out) override
    {
        *out = KelvComPtr<ISBDocumentRoot>(document).Detach();
        return document ? S_OK : S_FALSE;
    }
    HRESULT get_Count(LONG* count) override { return *count = static_cast<LONG>(objects.size()), S_OK; }
    HRESULT Item(LONG index, IUnknown** object) override
    {
        if (index < 1 || index > static_cast<LONG>(objects.size()))
            return DISP_E_BADINDEX;
        *object = KelvComPtr<IUnknown>(objects[index - 1]).Detach();
        return S_OK;
    }
};

// Scope processors with the host's meaning, over fake atoms.
class FakeScopeManager : public Fake<ISBScopeManager>
{
public:
    HRESULT ProcessScope(ISBScope* scope, BSTR processor, ISBScope** result) override
    {
        auto* in = dynamic_cast<FakeScope*>(scope);
        const std::string name = Text(processor);
        CallLog().push_back("ProcessScope(" + in->name + ", " + name + ")");
        std::vector<KelvComPtr<IUnknown>> out;
        for (const auto& object : in->objects) {
            auto* atom = dynamic_cast<FakeAtom*>(object.get());
            KelvComPtr<IUnknown> kept;
            if (name == "Normalization:Model3d!SymmetryParent") {
                kept = object;
                if (atom && atom->properties.count("SymmetryParent"))
                    kept = atom->properties["SymmetryParent"].ExtractUnknown();
            } else if (name == "Filter:Model3d!Atom") {
                if (atom && atom->properties.count("ElementSymbol"))
                    kept = object;
            } else if (name == "Filter:Model3d!!IsSelected") {
                if (atom && atom->properties.count("IsSelected") && atom->properties["IsSelected"].Bool())
                    kept = object;
            } else {
                return E_INVALIDARG;
            }
            bool seen = false;
            for (const auto& o : out)
                seen = seen || o == kept;
            if (kept && !seen)
                out.push_back(kept);
        }
        *result = new FakeScope(in->name + "|" + name, std::move(out), in->document);
        return S_OK;
    }
    HRESULT get_DefaultScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_ActiveScope(ISBScope**) override { return E_NOTIMPL; }
};

// A document's model with named sets; every call is logged with its arguments.
class FakeModel : public Fake<ISDNamedSets>
{
public:
    std::map<std::string, std::vector<KelvComPtr<IUnknown>>> sets;
    ISBDocumentRoot* document = nullptr;

    HRESULT HasSet(BSTR name, VARIANT_BOOL* has) override
    {
        CallLog().push_back("HasSet(" + Text(name) + ")");
        *has = sets.count(Text(name)) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT CreateSet(BSTR name, VARIANT_BOOL visible) override
    {
        CallLog().push_back("CreateSet(" + Text(name) + ", " + std::to_string(visible) + ")");
        return sets.emplace(Text(name), std::vector<KelvComPtr<IUnknown>>()).second ? S_OK : S_FALSE;
    }
    HRESULT DeleteSet(BSTR name) override
    {
        CallLog().push_back("DeleteSet(" + Text(name) + ")");
        return sets.erase(Text(name)) ? S_OK : S_FALSE;
    }
    HRESULT SetIsEmpty(BSTR name, VARIANT_BOOL* empty) override
    {
        CallLog().push_back("SetIsEmpty(" + Text(name) + ")");
        *empty = sets[Text(name)].empty() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT ObjectBelongsToSet(IUnknown* object, BSTR name, VARIANT_BOOL* belongs) override
    {
        CallLog().push_back("ObjectBelongsToSet(" + LabelOf(object) + ", " + Text(name) + ")");
        *belongs = VARIANT_FALSE;
        for (const auto& member : sets[Text(name)])
            if (member.get() == object)
                *belongs = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT AddObjectToSet(IUnknown* object, BSTR name) override
    {
        CallLog().push_back("AddObjectToSet(" + LabelOf(object) + ", " + Text(name) + ")");
        if (!sets.count(Text(name)))
            return E_INVALIDARG;
        sets[Text(name)].emplace_back(object);
        return S_OK;
    }
    HRESULT RemoveObjectFromSet(IUnknown* object, BSTR name) override
    {
        CallLog().push_back("RemoveObjectFromSet(" + LabelOf(object) + ", " + Text(name) + ")");
        return S_OK;
    }
    HRESULT SetSelectionToSet(BSTR name) override
    {
        CallLog().push_back("SetSelectionToSet(" + Text(name) + ")");
        return S_OK;
    }
    HRESULT GetSetAsScope(BSTR name, ISBScope** scope) override
    {
        CallLog().push_back("GetSetAsScope(" + Text(name) + ")");
        if (!sets.count(Text(name)))
            return E_INVALIDARG;
        *scope = new FakeScope("set " + Text(name), sets[Text(name)], document);
        return S_OK;
    }
    HRESULT get_SetNames(SAFEARRAY**) override { return E_NOTIMPL; }
};

class FakeDocumentInfo : public Fake<ISBDocumentInfo>
{
public:
    explicit FakeDocumentInfo(std::string url) : url(std::move(url)) {}
    std::string url;
    HRESULT get_DocumentName(BSTR*) override { return E_NOTIMPL; }
    HRESULT put_DocumentName(BSTR) override { return E_NOTIMPL; }
    HRESULT get_DocumentURL(BSTR* out) override { return *out = Kelv::bstrdup(url), S_OK; }
    HRESULT GetDocumentProperty(BSTR, VARIANT*) override { return E_NOTIMPL; }
    HRESULT SetDocumentProperty(BSTR, VARIANT) override { return E_NOTIMPL; }
};

// A document whose contents are the given objects and whose model holds named sets.
class FakeDocument : public Fake<ISBDocumentRoot>
{
public:
    explicit FakeDocument(std::vector<KelvComPtr<IUnknown>> objects = {})
        : contents(Make<FakeScope>("contents", std::move(objects), this)), model(Make<FakeModel>())
    {
        model->document = this;
    }
    KelvComPtr<FakeScope> contents;
    KelvComPtr<FakeModel> model;
    KelvComPtr<ISBDocumentInfo> info;

    HRESULT get_ContentsAsScope(ISBScope** scope) override
    {
        *scope = KelvComPtr<ISBScope>(contents.get()).Detach();
        return S_OK;
    }
    HRESULT get_DocumentID(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_DocumentURL(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_DocumentName(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_ModelDocument(IUnknown** out) override
    {
        *out = KelvComPtr<IUnknown>(static_cast<ISDNamedSets*>(model.get())).Detach();
        return S_OK;
    }
    HRESULT get_DocumentInfo(ISBDocumentInfo** out) override
    {
        *out = KelvComPtr<ISBDocumentInfo>(info).Detach();
        return info ? S_OK : E_NOTIMPL;
    }
    HRESULT CopyModelFrom(ISBDocumentRoot*) override { return E_NOTIMPL; }
};

class FakeFolderManager : public Fake<ISBFolderManager>
{
public:
    std::string core;
    std::string project;
    HRESULT ExpandPath(BSTR path, BSTR* expanded) override
    {
        std::string text = Text(path);
        const std::string variable = "%PROJECT_DOCUMENTS_FOLDER%";
        if (text.compare(0, variable.size(), variable) == 0)
            text = project + text.substr(variable.size());
        *expanded = Kelv::bstrdup(text);
        return S_OK;
    }
    HRESULT CompactPath(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT get_CoreFolder(BSTR* folder) override { return *folder = Kelv::bstrdup(core), S_OK; }
};

class FakeOperation : public Fake<ISBOperation>
{
public:
    ~FakeOperation() override { CallLog().push_back("operation closed"); }
    HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Description(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_Kind(LONG*) override { return E_NOTIMPL; }
};

class FakeOperationManager : public Fake<ISBOperationManager>
{
public:
    HRESULT CreateOperation(BSTR name, BSTR description, LONG kind, ISBOperation** operation) override
    {
        CallLog().push_back("CreateOperation(" + Text(name) + ", " + Text(description) + ", " +
                            std::to_string(kind) + ")");
        *operation = new FakeOperation;
        return S_OK;
    }
};

class FakeDocumentManager : public Fake<ISBDocumentManager>
{
public:
    std::map<std::string, KelvComPtr<ISBDocumentRoot>> byId;
    HRESULT FindDocument(BSTR, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT FindDocumentByID(BSTR id, ISBDocumentRoot** document) override
    {
        const auto found = byId.find(Text(id));
        *document = found == byId.end() ? nullptr : KelvComPtr<ISBDocumentRoot>(found->second).Detach();
        return *document ? S_OK : S_FALSE;
    }
    HRESULT NewPrivateDocument(BSTR, VARIANT, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT NewProjectDocument(BSTR, BSTR, LONG, VARIANT, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT ImportDocument(LONG, BSTR, BSTR, BSTR, VARIANT, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT ExportDocument(ISBDocumentRoot*, LONG, BSTR, VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT ImportDocumentReference(LONG, BSTR, ISBDocumentRoot**) override { return E_NOTIMPL; }
    HRESULT PurgeDocument(ISBDocumentRoot*, LONG) override { return E_NOTIMPL; }
    HRESULT Synchronize() override { return E_NOTIMPL; }
    HRESULT AssociateDocument(ISBDocumentRoot*, BSTR, BSTR) override { return E_NOTIMPL; }
};

// A container root; a manager left null answers E_NOTIMPL.
class FakeRoot : public Fake<ISBContainerRoot>
{
public:
    KelvComPtr<FakeFolderManager> folders = Make<FakeFolderManager>();
    KelvComPtr<FakeScopeManager> scopes = Make<FakeScopeManager>();
    KelvComPtr<FakeExtensions> extensions = Make<FakeExtensions>();
    KelvComPtr<FakeDocumentManager> documents = Make<FakeDocumentManager>();
    KelvComPtr<FakeOperationManager> operations = Make<FakeOperationManager>();

    // Adds a logic with a fresh state to an extension (made when missing); returns the state.
    KelvComPtr<FakeState> AddLogic(const std::string& extension, const std::string& logic)
    {
        auto& slot = extensions->extensions[extension];
        if (!slot)
            slot = Make<FakeExtension>();
        auto state = Make<FakeState>();
        static_cast<FakeExtension*>(slot.get())->logics[logic] = Make<FakeLogic>(KelvComPtr<ISBState>(state.get()));
        return state;
    }

    template <class T, class Out>
    static HRESULT Give(const KelvComPtr<T>& held, Out** out)
    {
        *out = KelvComPtr<Out>(held.get()).Detach();
        return held ? S_OK : E_NOTIMPL;
    }
    HRESULT get_DiskManager(ISBDiskManager**) override { return E_NOTIMPL; }
    HRESULT get_FolderManager(ISBFolderManager** out) override { return Give(folders, out); }
    HRESULT get_DocumentManager(ISBDocumentManager** out) override { return Give(documents, out); }
    HRESULT get_StateManager(ISBStateManager**) override { return E_NOTIMPL; }
    HRESULT get_JobManager(ISBJobManager**) override { return E_NOTIMPL; }
    HRESULT get_OperationManager(ISBOperationManager** out) override { return Give(operations, out); }
    HRESULT get_ModuleManager(ISBModuleManager**) override { return E_NOTIMPL; }
    HRESULT get_ScopeManager(ISBScopeManager** out) override { return Give(scopes, out); }
    HRESULT get_Extensions(ISBExtensions** out) override { return Give(extensions, out); }
    HRESULT get_DocumentService(ISBDocumentService**) override { return E_NOTIMPL; }
    HRESULT get_PathService(ISBPathService**) override { return E_NOTIMPL; }
};

// Makes an atom with an element symbol (so that "Filter:Model3d!Atom" keeps it).
inline KelvComPtr<FakeAtom> MakeAtom(const std::string& label, const std::string& element = "O")
{
    auto atom = Make<FakeAtom>(label);
    atom->properties["ElementSymbol"] = KelvVariant(element);
    return atom;
}

inline KelvComPtr<IUnknown> AsUnknown(IUnknown* object)
{
    return KelvComPtr<IUnknown>(object);
}

// A class object that makes instances of T, registered in this process under
// a class identifier and a ProgID for as long as the registration lives.
template <class T>
class FakeClassFactory : public Fake<IClassFactory>
{
public:
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        KelvComPtr<IUnknown> object = KelvComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(new T));
        return object->QueryInterface(iid, out);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

template <class T>
class ClassRegistration
{
public:
    ClassRegistration(REFCLSID clsid, const std::string& progId)
    {
        auto factory = Make<FakeClassFactory<T>>();
        CoRegisterClassObject(clsid, factory.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie);
        if (!progId.empty())
            ComRegistry::RegisterInProcessProgId(progId, clsid);
    }
    ~ClassRegistration() { CoRevokeClassObject(m_cookie); }

private:
    DWORD m_cookie = 0;
};
