#include "host/model/ModelObjects.h"

#include "host/model/ValueObjects.h"

#include "hostapi/atomisticmodel.h"

#include <map>
#include <utility>

namespace HostModel {

namespace {

// ---------------------------------------------------------------------------
// Helpers

std::string Text(BSTR text) { return NarrowFromBSTR(text); }

void StoreString(BSTR* out, const std::string& text)
{
    RequireOut(out);
    *out = Kelv::bstrdup(text);
}

template <class T> void StoreObject(T** out, const KelvComPtr<T>& object)
{
    RequireOut(out);
    *out = object.get();
    if (*out)
        (*out)->AddRef();
}

void StoreVariant(VARIANT* out, KelvVariant value)
{
    RequireOut(out);
    *out = value.Detach();
}

void StoreStatus(LONG* status, LONG value)
{
    if (status)
        *status = value;
}

KelvVariant ObjectVariant(const KelvComPtr<IUnknown>& object) { return KelvVariant(object.get()); }

std::string AtomLabel(const Document& d, Handle h) { return "atom " + std::to_string(d.IndexOf(h) + 1); }

const Lattice3D& Require3D(const Document& d)
{
    if (!d.Lattice3())
        Fail(E_UNEXPECTED, "The model is not periodic in three dimensions.");
    return *d.Lattice3();
}

const Lattice2D& Require2D(const Document& d)
{
    if (!d.Lattice2())
        Fail(E_UNEXPECTED, "The model is not periodic in two dimensions.");
    return *d.Lattice2();
}

// Base of the host's model objects: the document, the handle and the
// private interface.
class CModelPart : public CKelvUnknown, public IHostModelObject {
public:
    CModelPart(std::shared_ptr<Document> document, Handle handle) : m_document(std::move(document)), m_handle(handle) {}
    std::shared_ptr<Document> ModelDocument() override { return m_document; }
    Handle ObjectHandle() override { return m_handle; }

protected:
    HRESULT PartQueryInterface(REFIID iid, void** out)
    {
        if (iid == IID_IHostModelObject)
            return FinishQI(static_cast<IHostModelObject*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    Document& Doc() { return *m_document; }

    std::shared_ptr<Document> m_document;
    Handle m_handle;
};

// ---------------------------------------------------------------------------
// Scope objects

class CScopeObjects final : public CKelvUnknown, public ISBScopeObjects {
public:
    CScopeObjects(std::shared_ptr<Document> document, std::vector<Handle> objects)
        : m_document(std::move(document)), m_objects(std::move(objects))
    {
    }
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScopeObjects)
            return FinishQI(static_cast<ISBScopeObjects*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_Count(LONG* count) override
    {
        return ModelCall(IID_ISBScopeObjects, [&] {
            RequireOut(count);
            *count = static_cast<LONG>(m_objects.size());
        });
    }
    HRESULT Item(LONG index, IUnknown** object) override
    {
        return ModelCall(IID_ISBScopeObjects, [&] {
            RequireOut(object);
            *object = nullptr;
            if (index < 1 || static_cast<std::size_t>(index) > m_objects.size())
                Fail(DISP_E_BADINDEX, "The scope has no object " + std::to_string(index) + ".");
            *object = ObjectFor(m_document, m_objects[static_cast<std::size_t>(index - 1)]).Detach();
        });
    }

private:
    std::shared_ptr<Document> m_document;
    std::vector<Handle> m_objects;
};

class CScopeObject final : public CKelvUnknown, public ISBScope, public IHostScope {
public:
    explicit CScopeObject(Scope scope) : m_scope(std::move(scope)) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScope)
            return FinishQI(static_cast<ISBScope*>(this), out);
        if (iid == IID_IHostScope)
            return FinishQI(static_cast<IHostScope*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    Scope GetScope() override { return m_scope; }
    HRESULT get_Objects(ISBScopeObjects** objects) override
    {
        return ModelCall(IID_ISBScope, [&] {
            RequireOut(objects);
            *objects = new CScopeObjects(m_scope.GetDocument(), m_scope.Objects());
        });
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** root) override
    {
        return ModelCall(IID_ISBScope, [&]() -> HRESULT {
            RequireOut(root);
            *root = nullptr;
            if (!m_scope.GetDocument())
                return S_FALSE;
            *root = DocumentRootFor(m_scope.GetDocument()).Detach();
            return S_OK;
        });
    }

private:
    Scope m_scope;
};

// ---------------------------------------------------------------------------
// Atoms, bonds and pi-systems

class CModelItem;
std::map<std::pair<const Document*, Handle>, CModelItem*>& ItemCache()
{
    static std::map<std::pair<const Document*, Handle>, CModelItem*> cache;
    return cache;
}

class CModelItem final : public CModelPart, public ISDObject {
public:
    CModelItem(std::shared_ptr<Document> document, Handle handle) : CModelPart(std::move(document), handle)
    {
        ItemCache()[{m_document.get(), m_handle}] = this;
    }
    ~CModelItem() override { ItemCache().erase({m_document.get(), m_handle}); }
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDObject)
            return FinishQI(static_cast<ISDObject*>(this), out);
        return PartQueryInterface(iid, out);
    }

    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            RequireOut(value);
            VariantInit(value);
            const std::string property = Text(name);
            const Document::Kind kind = Doc().KindOf(m_handle);
            if (kind == Document::Kind::None)
                Fail(E_UNEXPECTED, "The object has been deleted from its document.");
            if (kind != Document::Kind::Atom)
                Fail(E_INVALIDARG, "The object has no property '" + property + "'.");
            ReadAtom(property, status, value);
        });
    }

    HRESULT put_PropertyValue(BSTR name, LONG* status, VARIANT value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            const std::string property = Text(name);
            const Document::Kind kind = Doc().KindOf(m_handle);
            if (kind == Document::Kind::None)
                Fail(E_UNEXPECTED, "The object has been deleted from its document.");
            if (kind != Document::Kind::Atom)
                Fail(E_INVALIDARG, "The object has no property '" + property + "'.");
            OperationLog::Record("Atom", "put_PropertyValue",
                                 {AtomLabel(Doc(), m_handle), property, DescribeVariant(value)});
            WriteAtom(property, value);
            StoreStatus(status, SDPropertySet);
        });
    }

private:
    void ReadAtom(const std::string& property, LONG* status, VARIANT* value)
    {
        Document& d = Doc();
        const Atom& atom = d.GetAtom(m_handle);
        const bool periodic = d.GetPeriodicity() != Periodicity::None;
        LONG s = SDPropertySet;
        KelvVariant v;
        if (property == "ElementSymbol") {
            v = KelvVariant(atom.element);
        } else if (property == "ForcefieldType") {
            v = KelvVariant(atom.forcefieldType);
        } else if (property == "Charge") {
            v = KelvVariant(atom.charge);
        } else if (property == "Occupancy") {
            v = KelvVariant(atom.occupancy);
        } else if (property == "FormalCharge") {
            v = ObjectVariant(KelvComPtr<IUnknown>(MakeFraction(atom.formalCharge)));
        } else if (property == "ID") {
            v = KelvVariant(static_cast<int32_t>(atom.id));
        } else if (property == "XYZ") {
            v = ObjectVariant(KelvComPtr<IUnknown>(MakePoint(d.Cartesian(m_handle))));
            s = periodic ? SDPropertyDerived : SDPropertySet;
        } else if (property == "FractionalXYZ") {
            v = ObjectVariant(KelvComPtr<IUnknown>(MakePoint(d.Fractional(m_handle))));
            s = periodic ? SDPropertySet : SDPropertyDerived;
        } else if (property == "SymmetryMultiplicity") {
            v = KelvVariant(static_cast<int32_t>(d.Multiplicity(m_handle)));
            s = SDPropertyDerived;
        } else if (property == "SymmetryParent") {
            v = ObjectVariant(ObjectFor(m_document, atom.parent));
            s = SDPropertyDerived;
        } else if (property == "IsSymmetryParent") {
            v = KelvVariant(atom.IsSymmetryParent());
            s = SDPropertyDerived;
        } else if (property == "IsSelected") {
            v = KelvVariant(atom.selected);
        } else if (property == "FixedAxes") {
            v = KelvVariant(static_cast<int32_t>(atom.fixedMask));
        } else if (property == "AttachedAtoms") {
            std::vector<KelvVariant> attached;
            for (Handle h : d.AttachedAtoms(m_handle))
                attached.push_back(ObjectVariant(ObjectFor(m_document, h)));
            v = ObjectVariant(KelvComPtr<IUnknown>(MakeCollection(attached)));
            s = SDPropertyDerived;
        } else {
            Fail(E_INVALIDARG, "An atom has no property '" + property + "'.");
        }
        *value = v.Detach();
        StoreStatus(status, s);
    }

    void WriteAtom(const std::string& property, const VARIANT& value)
    {
        Document& d = Doc();
        const KelvVariant v(value);
        if (property == "ElementSymbol") {
            d.SetElement(m_handle, v.String());
        } else if (property == "ForcefieldType") {
            d.SetForcefieldType(m_handle, v.String());
        } else if (property == "Charge") {
            d.SetCharge(m_handle, v.Double());
        } else if (property == "Occupancy") {
            d.SetOccupancy(m_handle, v.Double());
        } else if (property == "ID") {
            d.SetId(m_handle, v.Long());
        } else if (property == "IsSelected") {
            d.SetSelected(m_handle, v.Bool());
        } else if (property == "FixedAxes") {
            d.SetFixedMask(m_handle, v.Long());
        } else if (property == "XYZ") {
            d.SetCartesian(m_handle, PointFromVariant(value));
        } else if (property == "FractionalXYZ") {
            d.SetFractional(m_handle, PointFromVariant(value));
        } else if (property == "FormalCharge") {
            KelvComPtr<ISDFraction> fraction;
            KelvComPtr<IUnknown> object = v.ExtractUnknown();
            if (FAILED(object->QueryInterface(IID_ISDFraction, fraction.ReceiveVoid())) || !fraction)
                Fail(DISP_E_TYPEMISMATCH, "A formal charge must be given as a fraction object.");
            Fraction f;
            KelvResult::Check(fraction->GetNumeratorDenominator(&f.numerator, &f.denominator));
            d.SetFormalCharge(m_handle, f);
        } else if (property == "SymmetryMultiplicity" || property == "SymmetryParent" || property == "IsSymmetryParent" ||
                   property == "AttachedAtoms") {
            Fail(E_ACCESSDENIED, "The atom property '" + property + "' cannot be written.");
        } else {
            Fail(E_INVALIDARG, "An atom has no property '" + property + "'.");
        }
    }
};

// ---------------------------------------------------------------------------
// The document root

class CDocumentRoot;
std::map<const Document*, CDocumentRoot*>& RootRegistry()
{
    static std::map<const Document*, CDocumentRoot*> roots;
    return roots;
}

class CDocumentRoot final : public CModelPart, public ISBDocumentRoot, public ISBDocumentInfo, public ISBPersistable {
public:
    explicit CDocumentRoot(std::shared_ptr<Document> document) : CModelPart(std::move(document), ModelHandle)
    {
        RootRegistry()[m_document.get()] = this;
    }
    ~CDocumentRoot() override
    {
        auto it = RootRegistry().find(m_document.get());
        if (it != RootRegistry().end() && it->second == this)
            RootRegistry().erase(it);
    }
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBDocumentRoot)
            return FinishQI(static_cast<ISBDocumentRoot*>(this), out);
        if (iid == IID_ISBDocumentInfo)
            return FinishQI(static_cast<ISBDocumentInfo*>(this), out);
        if (iid == IID_ISBPersistable)
            return FinishQI(static_cast<ISBPersistable*>(this), out);
        return PartQueryInterface(iid, out);
    }

    // ISBDocumentRoot
    HRESULT get_ContentsAsScope(ISBScope** scope) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] { StoreObject(scope, MakeScopeObject(Scope::Contents(m_document))); });
    }
    HRESULT get_DocumentID(BSTR* id) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] { StoreString(id, Doc().Id()); });
    }
    HRESULT get_DocumentURL(BSTR* url) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] { StoreString(url, Doc().Url()); });
    }
    HRESULT get_DocumentName(BSTR* name) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] { StoreString(name, Doc().Name()); });
    }
    HRESULT get_ModelDocument(IUnknown** model) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] { StoreObject(model, ModelObjectFor(m_document)); });
    }
    HRESULT get_DocumentInfo(ISBDocumentInfo** info) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] {
            RequireOut(info);
            AddRef();
            *info = this;
        });
    }
    HRESULT CopyModelFrom(ISBDocumentRoot* source) override
    {
        return ModelCall(IID_ISBDocumentRoot, [&] {
            std::shared_ptr<Document> from = DocumentOf(source);
            if (!from)
                Fail(E_INVALIDARG, "The model can only be copied from a structure document of this application.");
            OperationLog::Record("DocumentRoot", "CopyModelFrom", {Doc().Name(), from->Name()});
            if (from != m_document)
                Doc().CopyModelFrom(*from);
        });
    }

    // ISBDocumentInfo
    HRESULT put_DocumentName(BSTR name) override
    {
        return ModelCall(IID_ISBDocumentInfo, [&] {
            OperationLog::Record("DocumentInfo", "put_DocumentName", {Text(name)});
            Doc().SetName(Text(name));
        });
    }
    HRESULT GetDocumentProperty(BSTR name, VARIANT* value) override
    {
        return ModelCall(IID_ISBDocumentInfo, [&]() -> HRESULT {
            RequireOut(value);
            VariantInit(value);
            const auto v = Doc().Property(Text(name));
            if (!v)
                return S_FALSE;
            StoreVariant(value, KelvVariant(*v));
            return S_OK;
        });
    }
    HRESULT SetDocumentProperty(BSTR name, VARIANT value) override
    {
        return ModelCall(IID_ISBDocumentInfo, [&] {
            const std::string property = Text(name);
            if (property.empty())
                Fail(E_INVALIDARG, "A document property needs a name.");
            OperationLog::Record("DocumentInfo", "SetDocumentProperty", {property, DescribeVariant(value)});
            Doc().SetProperty(property, KelvVariant(value).String());
        });
    }

    // ISBPersistable
    HRESULT LoadFrom(IUnknown* stream, VARIANT format, VARIANT options) override
    {
        return ModelCall(IID_ISBPersistable, [&] {
            const std::string path = StreamPath(stream);
            const std::string kind = FormatOf(format);
            OperationLog::Record("Persistable", "LoadFrom", {path, kind, DescribeVariant(options)});
            std::shared_ptr<Document> loaded = LoadQsd(path);
            Doc().CopyModelFrom(*loaded);
            for (const auto& [key, text] : loaded->Properties())
                Doc().SetProperty(key, text);
        });
    }
    HRESULT SaveTo(IUnknown* stream, VARIANT format, VARIANT options) override
    {
        return ModelCall(IID_ISBPersistable, [&] {
            const std::string path = StreamPath(stream);
            const std::string kind = FormatOf(format);
            OperationLog::Record("Persistable", "SaveTo", {path, kind, DescribeVariant(options)});
            SaveQsd(Doc(), path);
        });
    }

private:
    static std::string StreamPath(IUnknown* stream)
    {
        if (!stream)
            Fail(E_POINTER, "No stream was given.");
        KelvComPtr<ISBStream> s;
        if (FAILED(stream->QueryInterface(IID_ISBStream, s.ReceiveVoid())) || !s)
            throw Kelv::QueryInterfaceFailure(E_NOINTERFACE, IID_ISBStream);
        KelvBSTR path;
        KelvResult::Check(s->get_FilePath(path.Receive()));
        if (path.IsEmpty())
            Fail(E_INVALIDARG, "The stream is not open on a file.");
        return path.ToTString();
    }
    static std::string FormatOf(const VARIANT& format)
    {
        const std::string f = KelvVariant(format).String();
        if (f != FormatQsd && f != FormatQtd)
            Fail(E_INVALIDARG, "Unknown document format '" + f + "'.");
        return f;
    }
};

// ---------------------------------------------------------------------------
// The model

class CModelObject final : public CModelPart,
                           public ISBScope,
                           public IHostScope,
                           public ISDObject,
                           public ISDNamedSets,
                           public ISDSurfaceDescription,
                           public IQoAtomNumberingSource,
                           public ISDAtomisticModel {
public:
    explicit CModelObject(std::shared_ptr<Document> document) : CModelPart(std::move(document), ModelHandle) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBScope)
            return FinishQI(static_cast<ISBScope*>(this), out);
        if (iid == IID_IHostScope)
            return FinishQI(static_cast<IHostScope*>(this), out);
        if (iid == IID_ISDObject)
            return FinishQI(static_cast<ISDObject*>(this), out);
        if (iid == IID_ISDNamedSets)
            return FinishQI(static_cast<ISDNamedSets*>(this), out);
        if (iid == IID_ISDSurfaceDescription)
            return FinishQI(static_cast<ISDSurfaceDescription*>(this), out);
        if (iid == IID_IQoAtomNumberingSource)
            return FinishQI(static_cast<IQoAtomNumberingSource*>(this), out);
        if (iid == IID_ISDAtomisticModel)
            return FinishQI(static_cast<ISDAtomisticModel*>(this), out);
        return PartQueryInterface(iid, out);
    }

    // ISDAtomisticModel
    HRESULT get_Lattice(IUnknown** lattice) override
    {
        return ModelCall(IID_ISDAtomisticModel, [&]() -> HRESULT {
            KelvComPtr<IUnknown> object = Lattice3DObjectFor(m_document);
            if (!object)
                object = Lattice2DObjectFor(m_document);
            StoreObject(lattice, object);
            return object ? S_OK : S_FALSE;
        });
    }
    HRESULT get_LatticeFrame(IUnknown** frame) override
    {
        return ModelCall(IID_ISDAtomisticModel, [&]() -> HRESULT {
            KelvComPtr<IUnknown> object = LatticeFrameFor(m_document);
            StoreObject(frame, object);
            return object ? S_OK : S_FALSE;
        });
    }
    HRESULT get_Symmetry(IUnknown** symmetry) override
    {
        return ModelCall(IID_ISDAtomisticModel, [&]() -> HRESULT {
            KelvComPtr<IUnknown> object = SymmetryObjectFor(m_document);
            StoreObject(symmetry, object);
            return object ? S_OK : S_FALSE;
        });
    }
    HRESULT MakeP1() override
    {
        return ModelCall(IID_ISDAtomisticModel, [&]() -> HRESULT {
            OperationLog::Record("AtomisticModel", "MakeP1", {Doc().Name()});
            if (Doc().IsP1())
                return S_FALSE;
            Doc().MakeP1();
            return S_OK;
        });
    }
    HRESULT get_NeedsPrimitiveConversion(VARIANT_BOOL* needs) override
    {
        return ModelCall(IID_ISDAtomisticModel, [&] {
            RequireOut(needs);
            *needs = Doc().NeedsPrimitiveConversion() ? VARIANT_TRUE : VARIANT_FALSE;
        });
    }
    HRESULT ConvertToPrimitive() override
    {
        return ModelCall(IID_ISDAtomisticModel, [&]() -> HRESULT {
            OperationLog::Record("AtomisticModel", "ConvertToPrimitive", {Doc().Name()});
            return Doc().ConvertToPrimitive() ? S_OK : S_FALSE;
        });
    }
    HRESULT get_HasNonStandardSetting(VARIANT_BOOL* nonStandard) override
    {
        return ModelCall(IID_ISDAtomisticModel, [&] {
            RequireOut(nonStandard);
            *nonStandard = Doc().Lattice3() && Doc().GetSymmetry().HasNonStandardSetting() ? VARIANT_TRUE : VARIANT_FALSE;
        });
    }

    // ISBScope / IHostScope
    Scope GetScope() override { return Scope::Model(m_document); }
    HRESULT get_Objects(ISBScopeObjects** objects) override
    {
        return ModelCall(IID_ISBScope, [&] {
            RequireOut(objects);
            *objects = new CScopeObjects(m_document, Scope::Contents(m_document).Objects());
        });
    }
    HRESULT get_DocumentRoot(ISBDocumentRoot** root) override
    {
        return ModelCall(IID_ISBScope, [&] { StoreObject(root, DocumentRootFor(m_document)); });
    }

    // ISDObject
    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            RequireOut(value);
            VariantInit(value);
            const std::string property = Text(name);
            if (property != "LatticeRepresentation")
                Fail(E_INVALIDARG, "The model has no property '" + property + "'.");
            // A model without a 3-D lattice is described as triclinic.
            if (Doc().Lattice3()) {
                StoreVariant(value, KelvVariant(static_cast<int32_t>(Doc().GetSymmetry().LatticeRepresentation())));
                StoreStatus(status, SDPropertyDerived);
            } else {
                StoreVariant(value, KelvVariant(static_cast<int32_t>(RepresentationTriclinic)));
                StoreStatus(status, SDPropertyDefault);
            }
        });
    }
    HRESULT put_PropertyValue(BSTR name, LONG*, VARIANT) override
    {
        return ModelCall(IID_ISDObject, [&] {
            const std::string property = Text(name);
            if (property == "LatticeRepresentation")
                Fail(E_ACCESSDENIED, "The lattice representation follows the space group and cannot be written.");
            Fail(E_INVALIDARG, "The model has no property '" + property + "'.");
        });
    }

    // ISDNamedSets
    HRESULT HasSet(BSTR name, VARIANT_BOOL* has) override
    {
        return ModelCall(IID_ISDNamedSets, [&] {
            RequireOut(has);
            *has = Doc().HasSet(Text(name)) ? VARIANT_TRUE : VARIANT_FALSE;
        });
    }
    HRESULT CreateSet(BSTR name, VARIANT_BOOL visible) override
    {
        return ModelCall(IID_ISDNamedSets, [&]() -> HRESULT {
            OperationLog::Record("NamedSets", "CreateSet", {Text(name), visible ? "True" : "False"});
            return Doc().CreateSet(Text(name), visible != VARIANT_FALSE) ? S_OK : S_FALSE;
        });
    }
    HRESULT DeleteSet(BSTR name) override
    {
        return ModelCall(IID_ISDNamedSets, [&]() -> HRESULT {
            OperationLog::Record("NamedSets", "DeleteSet", {Text(name)});
            return Doc().DeleteSet(Text(name)) ? S_OK : S_FALSE;
        });
    }
    HRESULT SetIsEmpty(BSTR name, VARIANT_BOOL* empty) override
    {
        return ModelCall(IID_ISDNamedSets, [&] {
            RequireOut(empty);
            *empty = Doc().SetIsEmpty(Text(name)) ? VARIANT_TRUE : VARIANT_FALSE;
        });
    }
    HRESULT ObjectBelongsToSet(IUnknown* object, BSTR name, VARIANT_BOOL* belongs) override
    {
        return ModelCall(IID_ISDNamedSets, [&] {
            RequireOut(belongs);
            *belongs = VARIANT_FALSE;
            const Handle h = AtomOf(object);
            *belongs = Doc().SetContains(Text(name), h) ? VARIANT_TRUE : VARIANT_FALSE;
        });
    }
    HRESULT AddObjectToSet(IUnknown* object, BSTR name) override
    {
        return ModelCall(IID_ISDNamedSets, [&]() -> HRESULT {
            const Handle h = AtomOf(object);
            const std::string set = Text(name);
            OperationLog::Record("NamedSets", "AddObjectToSet", {AtomLabel(Doc(), h), set});
            if (Doc().SetContains(set, h))
                return S_FALSE;
            Doc().AddToSet(set, h);
            return S_OK;
        });
    }
    HRESULT RemoveObjectFromSet(IUnknown* object, BSTR name) override
    {
        return ModelCall(IID_ISDNamedSets, [&]() -> HRESULT {
            const Handle h = AtomOf(object);
            const std::string set = Text(name);
            OperationLog::Record("NamedSets", "RemoveObjectFromSet", {AtomLabel(Doc(), h), set});
            if (!Doc().SetContains(set, h))
                return S_FALSE;
            Doc().RemoveFromSet(set, h);
            return S_OK;
        });
    }
    HRESULT SetSelectionToSet(BSTR name) override
    {
        return ModelCall(IID_ISDNamedSets, [&] {
            OperationLog::Record("NamedSets", "SetSelectionToSet", {Text(name)});
            Doc().SelectSet(Text(name));
        });
    }
    HRESULT GetSetAsScope(BSTR name, ISBScope** scope) override
    {
        return ModelCall(IID_ISDNamedSets, [&] {
            RequireOut(scope);
            *scope = nullptr;
            const std::string set = Text(name);
            if (!Doc().HasSet(set))
                Fail(E_INVALIDARG, "The model has no atom set named '" + set + "'.");
            StoreObject(scope, MakeScopeObject(Scope::OfSet(m_document, set)));
        });
    }
    HRESULT get_SetNames(SAFEARRAY** names) override
    {
        return ModelCall(IID_ISDNamedSets, [&] {
            RequireOut(names);
            *names = nullptr;
            KelvSafeArray::FromStrings(Doc().SetNames()).StoreIn(names);
        });
    }

    // ISDSurfaceDescription
    HRESULT GetSurfaceInformation(VARIANT_BOOL* isCleaved, BSTR* plane, LONG* h, LONG* k, LONG* l,
                                  double* topPosition, double* dSpacing, double* relativeDepth,
                                  double* absoluteDepth, double* surfaceArea, LONG* atomCount,
                                  double* vacuumThickness, LONG* termination, LONG* repeatCount,
                                  BSTR* bulkDocumentID) override
    {
        return ModelCall(IID_ISDSurfaceDescription, [&] {
            if (plane)
                *plane = nullptr;
            const SurfaceDescription& s = Doc().Surface();
            if (!s.IsPresent()) {
                if (isCleaved)
                    *isCleaved = VARIANT_FALSE;
                return;
            }
            if (isCleaved)
                *isCleaved = VARIANT_TRUE;
            if (plane)
                *plane = Kelv::bstrdup(s.plane);
            if (h)
                *h = s.h;
            if (k)
                *k = s.k;
            if (l)
                *l = s.l;
            if (topPosition)
                *topPosition = s.topOffset;
            if (dSpacing)
                *dSpacing = s.dSpacing;
            if (relativeDepth)
                *relativeDepth = s.relativeDepth;
            if (absoluteDepth)
                *absoluteDepth = s.absoluteDepth;
            if (surfaceArea)
                *surfaceArea = Doc().Lattice2() ? Doc().Lattice2()->Area() : 0.0;
            if (atomCount)
                *atomCount = static_cast<LONG>(Doc().Atoms().size());
            if (vacuumThickness)
                *vacuumThickness = 0.0;
            if (termination)
                *termination = 0;
            if (repeatCount)
                *repeatCount = 1;
            if (bulkDocumentID)
                *bulkDocumentID = Kelv::bstrdup(""); // the bulk document is not recorded
        });
    }

    // IQoAtomNumberingSource
    HRESULT get_NumberingSource(VARIANT* value) override
    {
        return ModelCall(IID_IQoAtomNumberingSource, [&] {
            RequireOut(value);
            VariantInit(value);
            StoreVariant(value, KelvVariant(static_cast<IUnknown*>(static_cast<ISBScope*>(this))));
        });
    }

private:
    Handle AtomOf(IUnknown* object)
    {
        std::shared_ptr<Document> d;
        Handle h = 0;
        if (!object || !TryHandleOf(object, d, h) || d != m_document || !Doc().FindAtom(h))
            Fail(E_INVALIDARG, "The object is not an atom of this model.");
        return h;
    }
};

// ---------------------------------------------------------------------------
// Lattices, frame and symmetry

class CLattice3D final : public CModelPart, public ISDLattice3D, public ISDObject {
public:
    using CModelPart::CModelPart;
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDLattice3D)
            return FinishQI(static_cast<ISDLattice3D*>(this), out);
        if (iid == IID_ISDObject)
            return FinishQI(static_cast<ISDObject*>(this), out);
        return PartQueryInterface(iid, out);
    }
    HRESULT SetCellParameters(double a, double b, double c, double alpha, double beta, double gamma) override
    {
        return ModelCall(IID_ISDLattice3D, [&] {
            OperationLog::Record("Lattice3D", "SetCellParameters",
                                 {LogNumber(a), LogNumber(b), LogNumber(c), LogNumber(alpha), LogNumber(beta),
                                  LogNumber(gamma)});
            Require3D(Doc());
            Doc().SetCell({a, b, c, alpha, beta, gamma});
        });
    }
    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            RequireOut(value);
            VariantInit(value);
            const std::string property = Text(name);
            const CellParameters& p = Require3D(Doc()).Parameters();
            const Symmetry& s = Doc().GetSymmetry();
            KelvVariant v;
            LONG st = SDPropertySet;
            if (property == "LengthA")
                v = KelvVariant(p.a);
            else if (property == "LengthB")
                v = KelvVariant(p.b);
            else if (property == "LengthC")
                v = KelvVariant(p.c);
            else if (property == "AngleAlpha")
                v = KelvVariant(p.alpha);
            else if (property == "AngleBeta")
                v = KelvVariant(p.beta);
            else if (property == "AngleGamma")
                v = KelvVariant(p.gamma);
            else if (property == "LatticeRepresentation")
                v = KelvVariant(static_cast<int32_t>(s.LatticeRepresentation())), st = SDPropertyDerived;
            else if (property == "SpaceGroupLongName")
                v = KelvVariant(s.LongName()), st = SDPropertyDerived;
            else if (property == "SpaceGroupITNumber")
                v = KelvVariant(static_cast<int32_t>(s.Number())), st = SDPropertyDerived;
            else if (property == "SpaceGroupQualifier")
                v = KelvVariant(s.Qualifier()), st = SDPropertyDerived;
            else
                Fail(E_INVALIDARG, "The lattice has no property '" + property + "'.");
            *value = v.Detach();
            StoreStatus(status, st);
        });
    }
    HRESULT put_PropertyValue(BSTR name, LONG*, VARIANT) override
    {
        return ModelCall(IID_ISDObject, [&] {
            Fail(E_ACCESSDENIED, "The lattice property '" + Text(name) + "' is set through SetCellParameters.");
        });
    }
};

class CLattice2D final : public CModelPart, public ISDLattice2D, public ISDObject {
public:
    using CModelPart::CModelPart;
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDLattice2D)
            return FinishQI(static_cast<ISDLattice2D*>(this), out);
        if (iid == IID_ISDObject)
            return FinishQI(static_cast<ISDObject*>(this), out);
        return PartQueryInterface(iid, out);
    }
    HRESULT SetCellParameters(double u, double v, double theta) override
    {
        return ModelCall(IID_ISDLattice2D, [&] {
            OperationLog::Record("Lattice2D", "SetCellParameters", {LogNumber(u), LogNumber(v), LogNumber(theta)});
            Require2D(Doc());
            Doc().SetSurfaceCell({u, v, theta});
        });
    }
    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            RequireOut(value);
            VariantInit(value);
            const std::string property = Text(name);
            const SurfaceCellParameters& p = Require2D(Doc()).Parameters();
            double x = 0.0;
            if (property == "LengthU")
                x = p.u;
            else if (property == "LengthV")
                x = p.v;
            else if (property == "AngleTheta")
                x = p.theta;
            else
                Fail(E_INVALIDARG, "The surface lattice has no property '" + property + "'.");
            StoreVariant(value, KelvVariant(x));
            StoreStatus(status, SDPropertySet);
        });
    }
    HRESULT put_PropertyValue(BSTR name, LONG*, VARIANT) override
    {
        return ModelCall(IID_ISDObject, [&] {
            Fail(E_ACCESSDENIED, "The lattice property '" + Text(name) + "' is set through SetCellParameters.");
        });
    }
};

class CPointConverter final : public CModelPart, public ISDPointConverter {
public:
    CPointConverter(std::shared_ptr<Document> document, LONG kind) : CModelPart(std::move(document), ModelHandle), m_kind(kind) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDPointConverter)
            return FinishQI(static_cast<ISDPointConverter*>(this), out);
        return PartQueryInterface(iid, out);
    }
    HRESULT ConvertPoint(ISDPoint3d* point, ISDPoint3d** converted) override
    {
        return ModelCall(IID_ISDPointConverter, [&] {
            RequireOut(converted);
            *converted = nullptr;
            const Vec3 p = PointValue(point);
            Vec3 r = p;
            const Document& d = Doc();
            switch (m_kind) {
            case SDConvertFractionalToCartesian:
                r = d.Lattice3() ? d.Lattice3()->ToCartesian(p) : d.Lattice2() ? d.Lattice2()->ToCartesian(p) : p;
                break;
            case SDConvertCartesianToFractional:
                r = d.Lattice3() ? d.Lattice3()->ToFractional(p) : d.Lattice2() ? d.Lattice2()->ToFractional(p) : p;
                break;
            case SDConvertStandardToModel:
                // Models of this host always keep the standard orientation.
                break;
            }
            *converted = MakePoint(r).Detach();
        });
    }

private:
    LONG m_kind;
};

class CLatticeFrame final : public CModelPart, public ISDLatticeFrame {
public:
    using CModelPart::CModelPart;
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDLatticeFrame)
            return FinishQI(static_cast<ISDLatticeFrame*>(this), out);
        return PartQueryInterface(iid, out);
    }
    HRESULT GetPointConverter(ISDPointConverter** converter, LONG kind) override
    {
        return ModelCall(IID_ISDLatticeFrame, [&] {
            RequireOut(converter);
            *converter = nullptr;
            if (kind != SDConvertFractionalToCartesian && kind != SDConvertCartesianToFractional &&
                kind != SDConvertStandardToModel)
                Fail(E_INVALIDARG, "Unknown kind of point conversion " + std::to_string(kind) + ".");
            *converter = new CPointConverter(m_document, kind);
        });
    }
};

class CSymmetryOperatorObject final : public CKelvUnknown, public ISDSymmetryOperator, public ISDObject {
public:
    explicit CSymmetryOperatorObject(const SymmetryOperator& op) : m_op(op) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDSymmetryOperator)
            return FinishQI(static_cast<ISDSymmetryOperator*>(this), out);
        if (iid == IID_ISDObject)
            return FinishQI(static_cast<ISDObject*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT GetTransform(double* rows) override
    {
        return ModelCall(IID_ISDSymmetryOperator, [&] {
            RequireOut(rows);
            for (std::size_t i = 0; i < 3; ++i) {
                for (std::size_t j = 0; j < 3; ++j)
                    rows[4 * i + j] = m_op.rotation[i][j];
                rows[4 * i + 3] = m_op.translation[i];
            }
        });
    }
    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            RequireOut(value);
            VariantInit(value);
            if (Text(name) != "Triplet")
                Fail(E_INVALIDARG, "A symmetry operator has no property '" + Text(name) + "'.");
            StoreVariant(value, KelvVariant(m_op.Triplet()));
            StoreStatus(status, SDPropertyDerived);
        });
    }
    HRESULT put_PropertyValue(BSTR name, LONG*, VARIANT) override
    {
        return ModelCall(IID_ISDObject, [&] {
            Fail(E_ACCESSDENIED, "The symmetry operator property '" + Text(name) + "' cannot be written.");
        });
    }

private:
    SymmetryOperator m_op;
};

class CSymmetryObject final : public CModelPart, public ISDObject {
public:
    using CModelPart::CModelPart;
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDObject)
            return FinishQI(static_cast<ISDObject*>(this), out);
        return PartQueryInterface(iid, out);
    }
    HRESULT get_PropertyValue(BSTR name, LONG* status, VARIANT* value) override
    {
        return ModelCall(IID_ISDObject, [&] {
            RequireOut(value);
            VariantInit(value);
            if (Text(name) != "AllOperatorElements")
                Fail(E_INVALIDARG, "The symmetry has no property '" + Text(name) + "'.");
            std::vector<KelvVariant> operators;
            if (Doc().Lattice3()) {
                for (const SymmetryOperator& op : Doc().GetSymmetry().Operators())
                    operators.push_back(ObjectVariant(
                        KelvComPtr<IUnknown>::Adopt(static_cast<ISDSymmetryOperator*>(new CSymmetryOperatorObject(op)))));
            } else {
                operators.push_back(ObjectVariant(KelvComPtr<IUnknown>::Adopt(
                    static_cast<ISDSymmetryOperator*>(new CSymmetryOperatorObject(Symmetry().Operators().front())))));
            }
            StoreVariant(value, ObjectVariant(KelvComPtr<IUnknown>(MakeCollection(operators))));
            StoreStatus(status, SDPropertyDerived);
        });
    }
    HRESULT put_PropertyValue(BSTR name, LONG*, VARIANT) override
    {
        return ModelCall(IID_ISDObject, [&] {
            Fail(E_ACCESSDENIED, "The symmetry property '" + Text(name) + "' cannot be written.");
        });
    }
};

// ---------------------------------------------------------------------------
// Property service and templates

const char* const kTemplateNames[] = {"IsSelected", "XYZ",    "FractionalXYZ",  "DistanceAlongAxis",
                                      "ElementSymbol", "Charge", "ForcefieldType", "ID", "FixedAxes"};

class CPropertyTemplate final : public CKelvUnknown, public ISDPropertyTemplate {
public:
    explicit CPropertyTemplate(std::string name) : m_name(std::move(name)) {}
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDPropertyTemplate)
            return FinishQI(static_cast<ISDPropertyTemplate*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT get_Name(BSTR* name) override
    {
        return ModelCall(IID_ISDPropertyTemplate, [&] { StoreString(name, m_name); });
    }
    HRESULT SetValueOnScope(ISBScope* scope, VARIANT value) override
    {
        return ModelCall(IID_ISDPropertyTemplate, [&] {
            const Scope s = ScopeOf(scope);
            const std::shared_ptr<Document> d = s.GetDocument();
            std::vector<Handle> atoms = ProcessScope(s, ProcessorAtom).Objects();
            OperationLog::Record("PropertyTemplate", "SetValueOnScope",
                                 {m_name, DescribeVariant(value), std::to_string(atoms.size()) + " atoms"});
            if (m_name == "DistanceAlongAxis")
                return; // no atom carries it in this host
            KelvBSTR name(m_name);
            for (Handle h : atoms) {
                KelvComPtr<IUnknown> object = ObjectFor(d, h);
                KelvComPtr<ISDObject> atom;
                KelvResult::Check(object->QueryInterface(IID_ISDObject, atom.ReceiveVoid()));
                LONG status = SDPropertyNoHint;
                KelvResult::Check(atom->put_PropertyValue(name.Get(), &status, value));
            }
        });
    }

private:
    std::string m_name;
};

class CPropertyService final : public CKelvUnknown, public ISDPropertyService {
public:
    KELV_DELEGATE_IUNKNOWN

    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISDPropertyService)
            return FinishQI(static_cast<ISDPropertyService*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT GetPropertyTemplate(BSTR name, ISDPropertyTemplate** result) override
    {
        return ModelCall(IID_ISDPropertyService, [&] {
            RequireOut(result);
            *result = nullptr;
            const std::string property = Text(name);
            OperationLog::Record("PropertyService", "GetPropertyTemplate", {property});
            for (const char* known : kTemplateNames)
                if (property == known) {
                    *result = new CPropertyTemplate(property);
                    return;
                }
            Fail(E_INVALIDARG, "The data model has no property named '" + property + "'.");
        });
    }
};

} // namespace

// ---------------------------------------------------------------------------

KelvComPtr<ISBDocumentRoot> DocumentRootFor(const std::shared_ptr<Document>& document)
{
    if (!document)
        return {};
    auto it = RootRegistry().find(document.get());
    if (it != RootRegistry().end())
        return KelvComPtr<ISBDocumentRoot>(static_cast<ISBDocumentRoot*>(it->second));
    return KelvComPtr<ISBDocumentRoot>::Adopt(static_cast<ISBDocumentRoot*>(new CDocumentRoot(document)));
}

std::shared_ptr<Document> DocumentOf(IUnknown* object)
{
    if (!object)
        return nullptr;
    KelvComPtr<IHostModelObject> part;
    if (SUCCEEDED(object->QueryInterface(IID_IHostModelObject, part.ReceiveVoid())) && part)
        return part->ModelDocument();
    KelvComPtr<IHostScope> scope;
    if (SUCCEEDED(object->QueryInterface(IID_IHostScope, scope.ReceiveVoid())) && scope)
        return scope->GetScope().GetDocument();
    return nullptr;
}

KelvComPtr<ISBScope> MakeScopeObject(const Scope& scope)
{
    return KelvComPtr<ISBScope>::Adopt(static_cast<ISBScope*>(new CScopeObject(scope)));
}

bool TryScopeOf(IUnknown* object, Scope& scope)
{
    if (!object)
        return false;
    KelvComPtr<IHostScope> host;
    if (FAILED(object->QueryInterface(IID_IHostScope, host.ReceiveVoid())) || !host)
        return false;
    scope = host->GetScope();
    return true;
}

Scope ScopeOf(IUnknown* object)
{
    if (!object)
        Fail(E_INVALIDARG, "No scope was given.");
    Scope scope;
    if (!TryScopeOf(object, scope))
        Fail(E_INVALIDARG, "The scope does not belong to a document of this application.");
    return scope;
}

KelvComPtr<ISBScope> ProcessScopeObject(ISBScope* scope, const std::string& processor)
{
    // A scope of another kind of document (a text, a chart) holds no
    // atomistic model: every processor makes an empty scope of it.
    Scope foreign;
    if (scope && !TryScopeOf(scope, foreign)) {
        KelvComPtr<ISBDocumentRoot> document;
        if (processor == ProcessorDocumentRoot ||
            (IsKnownProcessor(processor) && scope->get_DocumentRoot(document.Receive()) == S_OK && document))
            return MakeScopeObject(Scope());
    }
    const Scope s = ScopeOf(scope);
    try {
        return MakeScopeObject(ProcessScope(s, processor));
    } catch (const ModelError& e) {
        throw KelvResult(E_INVALIDARG, e.what());
    }
}

KelvComPtr<IUnknown> ModelObjectFor(const std::shared_ptr<Document>& document)
{
    if (!document)
        return {};
    return KelvComPtr<IUnknown>::Adopt(static_cast<ISBScope*>(new CModelObject(document)));
}

KelvComPtr<IUnknown> ObjectFor(const std::shared_ptr<Document>& document, Handle handle)
{
    if (!document)
        Fail(E_INVALIDARG, "The object belongs to no document.");
    switch (document->KindOf(handle)) {
    case Document::Kind::Model:
        return ModelObjectFor(document);
    case Document::Kind::Atom:
    case Document::Kind::Bond:
    case Document::Kind::PiSystem: {
        auto it = ItemCache().find({document.get(), handle});
        if (it != ItemCache().end())
            return KelvComPtr<IUnknown>(static_cast<ISDObject*>(it->second));
        return KelvComPtr<IUnknown>::Adopt(static_cast<ISDObject*>(new CModelItem(document, handle)));
    }
    case Document::Kind::None:
        break;
    }
    throw ModelError("The object does not exist in the document (it may have been deleted).");
}

bool TryHandleOf(IUnknown* object, std::shared_ptr<Document>& document, Handle& handle)
{
    if (!object)
        return false;
    KelvComPtr<IHostModelObject> part;
    if (FAILED(object->QueryInterface(IID_IHostModelObject, part.ReceiveVoid())) || !part)
        return false;
    document = part->ModelDocument();
    handle = part->ObjectHandle();
    return true;
}

KelvComPtr<IUnknown> Lattice3DObjectFor(const std::shared_ptr<Document>& document)
{
    if (!document || !document->Lattice3())
        return {};
    return KelvComPtr<IUnknown>::Adopt(static_cast<ISDLattice3D*>(new CLattice3D(document, ModelHandle)));
}

KelvComPtr<IUnknown> Lattice2DObjectFor(const std::shared_ptr<Document>& document)
{
    if (!document || !document->Lattice2())
        return {};
    return KelvComPtr<IUnknown>::Adopt(static_cast<ISDLattice2D*>(new CLattice2D(document, ModelHandle)));
}

KelvComPtr<IUnknown> LatticeFrameFor(const std::shared_ptr<Document>& document)
{
    if (!document || document->GetPeriodicity() == Periodicity::None)
        return {};
    return KelvComPtr<IUnknown>::Adopt(static_cast<ISDLatticeFrame*>(new CLatticeFrame(document, ModelHandle)));
}

KelvComPtr<IUnknown> SymmetryObjectFor(const std::shared_ptr<Document>& document)
{
    if (!document || document->GetPeriodicity() == Periodicity::None)
        return {};
    return KelvComPtr<IUnknown>::Adopt(static_cast<ISDObject*>(new CSymmetryObject(document, ModelHandle)));
}

HRESULT CreatePropertyService(void** out)
{
    if (!out)
        return E_POINTER;
    *out = static_cast<IDelegatedUnknown*>(new CPropertyService());
    return S_OK;
}

} // namespace HostModel
