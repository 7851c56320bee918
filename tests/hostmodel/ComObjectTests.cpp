#include "ComFixtures.h"
#include "common/TempFolder.h"

#include <filesystem>
#include <functional>

#include <unistd.h>

using namespace HostModelTest;

namespace {

KelvComPtr<ISBScope> Contents(const std::shared_ptr<Document>& d)
{
    KelvComPtr<ISBScope> scope;
    EXPECT_EQ(DocumentRootFor(d)->get_ContentsAsScope(scope.Receive()), S_OK);
    return scope;
}

} // namespace

TEST(AtomObjects, PropertiesReadWithTheirStatus)
{
    auto d = RockSalt();
    d->SetCharge(d->Atoms()[4].handle, -1.0);
    d->SetFormalCharge(d->Atoms()[4].handle, {-1, 1});
    d->AddBond(d->Atoms()[4].handle, d->Atoms()[0].handle);
    const auto items = Items(Contents(d).get());
    ASSERT_EQ(items.size(), 9u); // 8 atoms and the bond
    IUnknown* clImage = items[6].get();

    PropertyRead element = Read(clImage, "ElementSymbol");
    EXPECT_EQ(element.hr, S_OK);
    EXPECT_EQ(element.status, SDPropertySet);
    EXPECT_EQ(element.value.String(), "Cl");
    EXPECT_DOUBLE_EQ(Read(clImage, "Charge").value.Double(), -1.0);
    EXPECT_EQ(Read(clImage, "ID").value.Long(), d->Atoms()[6].id);
    EXPECT_EQ(Read(clImage, "ForcefieldType").value.String(), "");

    PropertyRead multiplicity = Read(clImage, "SymmetryMultiplicity");
    EXPECT_EQ(multiplicity.value.Long(), 4);
    EXPECT_EQ(multiplicity.status, SDPropertyDerived);
    EXPECT_FALSE(Read(clImage, "IsSymmetryParent").value.Bool());
    EXPECT_TRUE(Read(items[4].get(), "IsSymmetryParent").value.Bool());

    // The parent object is the very object the scope hands out for it.
    KelvComPtr<IUnknown> parent = Read(clImage, "SymmetryParent").value.ExtractUnknown();
    EXPECT_EQ(Identity(parent.get()), Identity(items[4].get()));

    const Vec3 f = ReadPoint(clImage, "FractionalXYZ");
    EXPECT_TRUE(SameSite(f, d->Atoms()[6].position));
    const Vec3 x = ReadPoint(clImage, "XYZ");
    EXPECT_TRUE(Near(x, d->Lattice3()->ToCartesian(f), 1e-12));

    KelvComPtr<ISDFraction> charge = Query<ISDFraction>(Read(clImage, "FormalCharge").value.ExtractUnknown());
    LONG numerator = 0, denominator = 0;
    EXPECT_EQ(charge->GetNumeratorDenominator(&numerator, &denominator), S_OK);
    EXPECT_EQ(numerator, -1);
    EXPECT_EQ(denominator, 1);

    KelvComPtr<ISDVariantDataDimension> attached =
        Query<ISDVariantDataDimension>(Read(items[4].get(), "AttachedAtoms").value.ExtractUnknown());
    LONG count = 0;
    attached->get_Count(&count);
    ASSERT_EQ(count, 1);
    KelvVariant first;
    EXPECT_EQ(attached->Item(1, first.Receive()), S_OK);
    EXPECT_EQ(Read(first.ExtractUnknown().get(), "ElementSymbol").value.String(), "Na");
    EXPECT_EQ(attached->Item(2, first.Receive()), DISP_E_BADINDEX);

    PropertyRead unknown = Read(clImage, "Colour");
    EXPECT_EQ(unknown.hr, E_INVALIDARG);
    EXPECT_NE(LastErrorText().find("Colour"), std::string::npos);
    EXPECT_EQ(Read(items[8].get(), "ElementSymbol").hr, E_INVALIDARG) << "a bond is no atom";
}

TEST(AtomObjects, WritesReachTheModelAndTheLog)
{
    auto d = RockSalt();
    const auto items = Items(Contents(d).get());
    OperationLog::Clear();
    EXPECT_EQ(Write(items[0].get(), "ID", KelvVariant(int32_t(17))), S_OK);
    EXPECT_EQ(Write(items[5].get(), "IsSelected", KelvVariant(true)), S_OK);
    EXPECT_EQ(d->Atoms()[0].id, 17);
    EXPECT_TRUE(d->Atoms()[5].selected);
    const auto log = OperationLog::Find("Atom", "put_PropertyValue");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].arguments, (std::vector<std::string>{"atom 1", "ID", "17"}));
    EXPECT_EQ(log[1].arguments, (std::vector<std::string>{"atom 6", "IsSelected", "True"}));

    // The structure updater's pattern: read the point, set it, write it back.
    PropertyRead xyz = Read(items[4].get(), "XYZ");
    KelvComPtr<ISDPoint3d> point = Query<ISDPoint3d>(xyz.value.ExtractUnknown());
    // (1/2, 0, 0) is a site of the same orbit as the body centre.
    EXPECT_EQ(point->SetXYZ(2.8201, 0.0, 0.0), S_OK);
    EXPECT_EQ(Write(items[4].get(), "XYZ", KelvVariant(static_cast<IUnknown*>(point.get()))), S_OK);
    EXPECT_TRUE(Near(d->Cartesian(d->Atoms()[4].handle), {2.8201, 0.0, 0.0}, 1e-12));
    EXPECT_EQ(d->Multiplicity(d->Atoms()[4].handle), 4);
    // Off the special position the orbit grows to the general one.
    EXPECT_EQ(point->SetXYZ(0.3, 0.2, 0.1), S_OK);
    EXPECT_EQ(Write(items[4].get(), "XYZ", KelvVariant(static_cast<IUnknown*>(point.get()))), S_OK);
    EXPECT_EQ(d->Multiplicity(d->Atoms()[4].handle), 192);
    EXPECT_EQ(d->Atoms().size(), 4u + 192u);

    EXPECT_EQ(Write(items[0].get(), "SymmetryMultiplicity", KelvVariant(int32_t(2))), E_ACCESSDENIED);
    EXPECT_EQ(Write(items[0].get(), "XYZ", KelvVariant(1.5)), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Write(items[0].get(), "ID", KelvVariant("not a number")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(d->Atoms()[0].id, 17);
}

TEST(AtomObjects, DeletedAtomsAnswerWithAnError)
{
    auto d = RockSalt();
    const auto items = Items(Contents(d).get());
    d->RemoveAtom(d->Atoms()[0].handle);
    EXPECT_EQ(Read(items[0].get(), "ElementSymbol").hr, E_UNEXPECTED);
    EXPECT_EQ(Write(items[0].get(), "ID", KelvVariant(int32_t(1))), E_UNEXPECTED);
    EXPECT_EQ(Read(items[4].get(), "ElementSymbol").value.String(), "Cl");
}

TEST(ScopeObjects, ItemsAreOneBasedAndStable)
{
    auto d = RockSalt();
    KelvComPtr<ISBScope> scope = Contents(d);
    KelvComPtr<ISBScopeObjects> objects;
    ASSERT_EQ(scope->get_Objects(objects.Receive()), S_OK);
    LONG count = 0;
    EXPECT_EQ(objects->get_Count(&count), S_OK);
    EXPECT_EQ(count, 8);
    KelvComPtr<IUnknown> a, b;
    EXPECT_EQ(objects->Item(0, a.Receive()), DISP_E_BADINDEX);
    EXPECT_EQ(a.get(), nullptr);
    EXPECT_EQ(objects->Item(9, a.Receive()), DISP_E_BADINDEX);
    EXPECT_EQ(objects->Item(3, a.Receive()), S_OK);
    EXPECT_EQ(objects->Item(3, b.Receive()), S_OK);
    EXPECT_EQ(Identity(a.get()), Identity(b.get()));
    EXPECT_EQ(objects->get_Count(nullptr), E_POINTER);

    KelvComPtr<ISBDocumentRoot> root;
    EXPECT_EQ(scope->get_DocumentRoot(root.Receive()), S_OK);
    EXPECT_EQ(root.get(), DocumentRootFor(d).get());
    EXPECT_EQ(DocumentOf(a.get()), d);

    KelvComPtr<ISBScope> parents = ProcessScopeObject(scope.get(), ProcessorSymmetryParent);
    EXPECT_EQ(Items(ProcessScopeObject(parents.get(), ProcessorAtom).get()).size(), 2u);
    EXPECT_THROW(ProcessScopeObject(scope.get(), "Filter:Model3d!Nothing"), KelvResult);

    // A scope of another kind of document: no model to coerce to, nothing else to process.
    KelvComPtr<ISBScope> foreign = KelvComPtr<ISBScope>::Adopt(new ForeignScope());
    EXPECT_TRUE(Items(ProcessScopeObject(foreign.get(), ProcessorDocumentRoot).get()).empty());
    EXPECT_THROW(ProcessScopeObject(foreign.get(), ProcessorAtom), KelvResult);
}

TEST(DocumentObjects, RootAndInformation)
{
    auto d = RockSalt();
    d->SetUrl("/project/NaCl.qsd");
    KelvComPtr<ISBDocumentRoot> root = DocumentRootFor(d);
    KelvBSTR text;
    EXPECT_EQ(root->get_DocumentName(text.Receive()), S_OK);
    EXPECT_EQ(text.ToTString(), "NaCl");
    EXPECT_EQ(root->get_DocumentURL(text.Receive()), S_OK);
    EXPECT_EQ(text.ToTString(), "/project/NaCl.qsd");
    EXPECT_EQ(root->get_DocumentID(text.Receive()), S_OK);
    EXPECT_EQ(text.ToTString(), d->Id());

    KelvComPtr<ISBDocumentInfo> info;
    ASSERT_EQ(root->get_DocumentInfo(info.Receive()), S_OK);
    KelvBSTR name("Fit structure"), key("_ParentDocID");
    EXPECT_EQ(info->put_DocumentName(name.Get()), S_OK);
    EXPECT_EQ(d->Name(), "Fit structure");
    KelvVariant missing;
    EXPECT_EQ(info->GetDocumentProperty(key.Get(), missing.Receive()), S_FALSE);
    EXPECT_TRUE(missing.IsEmpty());
    EXPECT_EQ(info->SetDocumentProperty(key.Get(), KelvVariant("{ABC}").Get()), S_OK);
    KelvVariant value;
    EXPECT_EQ(info->GetDocumentProperty(key.Get(), value.Receive()), S_OK);
    EXPECT_EQ(value.String(), "{ABC}");

    // A fresh document gets a copy of the model; its identity stays.
    auto copy = std::make_shared<Document>();
    KelvComPtr<ISBDocumentRoot> copyRoot = DocumentRootFor(copy);
    EXPECT_EQ(copyRoot->CopyModelFrom(root.get()), S_OK);
    EXPECT_EQ(copy->Atoms().size(), 8u);
    EXPECT_NE(copy->Id(), d->Id());
    EXPECT_EQ(copyRoot->CopyModelFrom(nullptr), E_INVALIDARG);
}

TEST(DocumentObjects, PersistableLoadsAndSavesThroughStreams)
{
    const QzTest::TempFolder scratch("hostmodel-persist");
    const std::string& folder = scratch.Path();
    auto d = RockSalt();
    KelvComPtr<ISBPersistable> persist = Query<ISBPersistable>(DocumentRootFor(d));
    KelvComPtr<ISBStream> out = KelvComPtr<ISBStream>::Adopt(new FakeStream(folder + "/salt.qtd"));
    EXPECT_EQ(persist->SaveTo(out.get(), KelvVariant(FormatQtd).Get(), KelvVariant().Get()), S_OK);

    auto target = std::make_shared<Document>();
    target->SetName("Imported");
    KelvComPtr<ISBPersistable> load = Query<ISBPersistable>(DocumentRootFor(target));
    EXPECT_EQ(load->LoadFrom(out.get(), KelvVariant(FormatQsd).Get(), KelvVariant().Get()), S_OK);
    EXPECT_EQ(target->Atoms().size(), 8u);
    EXPECT_EQ(target->Name(), "Imported");

    EXPECT_EQ(load->LoadFrom(out.get(), KelvVariant("Other.Format").Get(), KelvVariant().Get()), E_INVALIDARG);
    KelvComPtr<ISBStream> missing = KelvComPtr<ISBStream>::Adopt(new FakeStream(folder + "/none.qsd"));
    EXPECT_EQ(load->LoadFrom(missing.get(), KelvVariant(FormatQsd).Get(), KelvVariant().Get()), E_FAIL);
    EXPECT_EQ(target->Atoms().size(), 8u) << "a failed load changes nothing";
}

TEST(ModelObjects, NamedSetsThroughTheModel)
{
    auto d = RockSalt();
    KelvComPtr<IUnknown> model = ModelObjectFor(d);
    KelvComPtr<ISDNamedSets> sets = Query<ISDNamedSets>(model);
    const auto items = Items(Contents(d).get());
    KelvBSTR surface("SurfaceAtoms"), attachment("AttachmentLayer");

    VARIANT_BOOL flag = VARIANT_TRUE;
    EXPECT_EQ(sets->HasSet(surface.Get(), &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_EQ(sets->AddObjectToSet(items[0].get(), surface.Get()), E_INVALIDARG);
    EXPECT_EQ(sets->CreateSet(surface.Get(), VARIANT_TRUE), S_OK);
    EXPECT_EQ(sets->CreateSet(surface.Get(), VARIANT_TRUE), S_FALSE);
    EXPECT_EQ(sets->CreateSet(attachment.Get(), VARIANT_FALSE), S_OK);
    EXPECT_EQ(sets->AddObjectToSet(items[4].get(), surface.Get()), S_OK);
    EXPECT_EQ(sets->AddObjectToSet(items[4].get(), surface.Get()), S_FALSE);
    EXPECT_EQ(sets->ObjectBelongsToSet(items[4].get(), surface.Get(), &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_EQ(sets->ObjectBelongsToSet(items[5].get(), surface.Get(), &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    EXPECT_EQ(sets->SetIsEmpty(attachment.Get(), &flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);

    // An atom of another document is not an object of this model.
    auto other = RockSalt();
    KelvComPtr<IUnknown> foreign = ObjectFor(other, other->Atoms()[0].handle);
    EXPECT_EQ(sets->AddObjectToSet(foreign.get(), surface.Get()), E_INVALIDARG);

    EXPECT_EQ(sets->SetSelectionToSet(surface.Get()), S_OK);
    EXPECT_TRUE(d->Atoms()[4].selected);
    KelvComPtr<ISBScope> setScope;
    EXPECT_EQ(sets->GetSetAsScope(surface.Get(), setScope.Receive()), S_OK);
    EXPECT_EQ(Items(setScope.get()).size(), 1u);
    KelvBSTR none("None");
    EXPECT_EQ(sets->GetSetAsScope(none.Get(), setScope.Receive()), E_INVALIDARG);

    SAFEARRAY* names = nullptr;
    EXPECT_EQ(sets->get_SetNames(&names), S_OK);
    KelvSafeArray holder(names);
    ASSERT_EQ(holder.Count(), 2u);
    EXPECT_EQ(holder.GetString(0), "SurfaceAtoms");
    EXPECT_EQ(holder.GetString(1), "AttachmentLayer");

    EXPECT_EQ(sets->RemoveObjectFromSet(items[4].get(), surface.Get()), S_OK);
    EXPECT_EQ(sets->RemoveObjectFromSet(items[4].get(), surface.Get()), S_FALSE);
    EXPECT_EQ(sets->DeleteSet(attachment.Get()), S_OK);
    EXPECT_EQ(sets->DeleteSet(attachment.Get()), S_FALSE);
}

TEST(ModelObjects, SurfaceDescriptionWritesOnlyWhenPresent)
{
    auto d = std::make_shared<Document>();
    d->SetSurfaceCell({4.0, 4.0, Radians(90)});
    KelvComPtr<ISDSurfaceDescription> surface = Query<ISDSurfaceDescription>(ModelObjectFor(d));
    BSTR plane = nullptr;
    double relative = -7.0, absolute = -7.0;
    EXPECT_EQ(surface->GetSurfaceInformation(nullptr, &plane, nullptr, nullptr, nullptr, nullptr, nullptr, &relative,
                                             &absolute, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(plane, nullptr);
    EXPECT_EQ(relative, -7.0);
    EXPECT_EQ(absolute, -7.0);

    SurfaceDescription s;
    s.plane = "(1 0 4)";
    s.h = 1;
    s.l = 4;
    s.relativeDepth = 2.0;
    s.absoluteDepth = 6.1;
    d->SetSurface(s);
    LONG l = 0;
    EXPECT_EQ(surface->GetSurfaceInformation(nullptr, &plane, nullptr, nullptr, &l, nullptr, nullptr, &relative,
                                             &absolute, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(NarrowFromBSTR(plane), "(1 0 4)");
    SysFreeString(plane);
    EXPECT_EQ(l, 4);
    EXPECT_DOUBLE_EQ(relative, 2.0);
    EXPECT_DOUBLE_EQ(absolute, 6.1);
}

TEST(ModelObjects, LatticeRepresentationOfEveryModel)
{
    // A molecule is described as triclinic, so that a run need not stop on it.
    auto molecule = std::make_shared<Document>();
    molecule->AddAtom("O", {0, 0, 0});
    PropertyRead r = Read(ModelObjectFor(molecule).get(), "LatticeRepresentation");
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.status, SDPropertyDefault);
    EXPECT_EQ(r.value.Long(), RepresentationTriclinic);

    auto monoclinic = std::make_shared<Document>();
    monoclinic->SetCell({5, 6, 7, Radians(90), Radians(90), Radians(100)});
    monoclinic->SetSymmetry(Symmetry::FromName("P 1 1 21/a"));
    EXPECT_EQ(Read(ModelObjectFor(monoclinic).get(), "LatticeRepresentation").value.Long(), RepresentationMonoclinicC);
}

TEST(PropertyTemplates, SetValueOnScopeClearsASelection)
{
    ASSERT_TRUE(SUCCEEDED(RegisterModelClasses()));
    auto d = RockSalt();
    d->SetSelected(d->Atoms()[1].handle, true);
    d->SetSelected(d->Atoms()[6].handle, true);
    KelvComPtr<ISDPropertyService> service;
    ASSERT_EQ(CoCreateInstance(CLSID_SDPropertyService, nullptr, CLSCTX_SERVER, IID_ISDPropertyService,
                               service.ReceiveVoid()),
              S_OK);
    KelvComPtr<ISDPropertyTemplate> selected;
    KelvBSTR name("IsSelected"), bad("Flavour");
    ASSERT_EQ(service->GetPropertyTemplate(name.Get(), selected.Receive()), S_OK);
    EXPECT_EQ(service->GetPropertyTemplate(bad.Get(), selected.Receive()), E_INVALIDARG);
    ASSERT_EQ(service->GetPropertyTemplate(name.Get(), selected.Receive()), S_OK);
    KelvComPtr<ISBScope> selection = ProcessScopeObject(Contents(d).get(), ProcessorIsSelected);
    EXPECT_EQ(selected->SetValueOnScope(selection.get(), KelvVariant(false).Get()), S_OK);
    for (const Atom& a : d->Atoms())
        EXPECT_FALSE(a.selected);
}

TEST(ValueObjects, CreatableByClassIdentifier)
{
    ASSERT_TRUE(SUCCEEDED(RegisterModelClasses()));
    KelvComPtr<ISDPoint3d> point;
    ASSERT_EQ(CoCreateInstance(CLSID_SDPoint3d, nullptr, CLSCTX_SERVER, IID_ISDPoint3d, point.ReceiveVoid()), S_OK);
    point->SetXYZ(1, 2, 3);
    double y = 0;
    point->get_Y(&y);
    EXPECT_EQ(y, 2.0);

    KelvComPtr<ISDMatrix3d> matrix;
    ASSERT_EQ(CoCreateInstance(CLSID_SDMatrix3d, nullptr, CLSCTX_SERVER, IID_ISDMatrix3d, matrix.ReceiveVoid()), S_OK);
    matrix->SetElements(1, 2, 3, 4, 5, 6, 7, 8, 9);
    double e = 0;
    EXPECT_EQ(matrix->get_Element(2, 3, &e), S_OK);
    EXPECT_EQ(e, 6.0) << "elements are given row by row";
    EXPECT_EQ(matrix->get_Element(4, 1, &e), DISP_E_BADINDEX);

    KelvComPtr<ISDVariantDataDimension> collection;
    ASSERT_EQ(CoCreateInstance(CLSID_SDVariantDataDimension, nullptr, CLSCTX_SERVER, IID_ISDVariantDataDimension,
                               collection.ReceiveVoid()),
              S_OK);
    LONG index = 0;
    EXPECT_EQ(collection->Add(KelvVariant(2.5).Get(), &index), S_OK);
    EXPECT_EQ(index, 1);
    KelvVariant item;
    EXPECT_EQ(collection->Item(1, item.Receive()), S_OK);
    EXPECT_EQ(item.Double(), 2.5);
}

TEST(HelperObjects, NumberingGivesParentPositions)
{
    ASSERT_TRUE(SUCCEEDED(RegisterModelClasses()));
    auto d = RockSalt();
    KelvComPtr<IQoAtomNumbering> numbering;
    ASSERT_EQ(CoCreateInstance(CLSID_QoAtomNumbering, nullptr, CLSCTX_SERVER, IID_IQoAtomNumbering,
                               numbering.ReceiveVoid()),
              S_OK);
    const auto items = Items(Contents(d).get());
    LONG number = -1;
    EXPECT_EQ(numbering->GetNumber(items[0].get(), &number), E_UNEXPECTED);
    KelvVariant source;
    Query<IQoAtomNumberingSource>(ModelObjectFor(d))->get_NumberingSource(source.Receive());
    ASSERT_EQ(numbering->Initialise(source.Get(), 1), S_OK);
    const LONG expected[] = {1, 1, 1, 1, 2, 2, 2, 2};
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(numbering->GetNumber(items[i].get(), &number), S_OK);
        EXPECT_EQ(number, expected[i]) << i;
    }
    ASSERT_EQ(numbering->Initialise(source.Get(), 0), S_OK);
    EXPECT_EQ(numbering->GetNumber(items[6].get(), &number), S_OK);
    EXPECT_EQ(number, 7);
    auto other = RockSalt();
    EXPECT_EQ(numbering->GetNumber(ObjectFor(other, other->Atoms()[0].handle).get(), &number), E_INVALIDARG);
}

// A numbering kept while its model changes numbers the model as it stands:
// each row changes the rock salt (Na orbit, then Cl orbit) and gives the
// numbers of every atom afterwards.
TEST(HelperObjects, NumberingFollowsChangesOfItsModel)
{
    ASSERT_TRUE(SUCCEEDED(RegisterModelClasses()));
    struct Row {
        const char* change;
        std::function<void(Document&)> apply;
        std::vector<LONG> expected;
    };
    const Row rows[] = {
        {"none", [](Document&) {}, {1, 1, 1, 1, 2, 2, 2, 2}},
        {"Na orbit removed", [](Document& d) { d.RemoveAtom(d.Atoms()[0].handle); }, {1, 1, 1, 1}},
        // As many atoms as before: the Cl orbit now comes first.
        {"Na orbit removed and added again",
         [](Document& d) {
             d.RemoveAtom(d.Atoms()[0].handle);
             d.AddAtomAt("Na", {0, 0, 0});
         },
         {1, 1, 1, 1, 2, 2, 2, 2}},
        {"made P 1", [](Document& d) { d.MakeP1(); }, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Row& row : rows) {
        auto d = RockSalt();
        KelvComPtr<IQoAtomNumbering> numbering;
        ASSERT_EQ(CoCreateInstance(CLSID_QoAtomNumbering, nullptr, CLSCTX_SERVER, IID_IQoAtomNumbering,
                                   numbering.ReceiveVoid()),
                  S_OK);
        KelvVariant source;
        Query<IQoAtomNumberingSource>(ModelObjectFor(d))->get_NumberingSource(source.Receive());
        ASSERT_EQ(numbering->Initialise(source.Get(), 1), S_OK);
        const Handle chlorine = d->Atoms()[4].handle;
        LONG number = 0;
        ASSERT_EQ(numbering->GetNumber(ObjectFor(d, chlorine).get(), &number), S_OK);
        EXPECT_EQ(number, 2) << row.change;
        row.apply(*d);
        std::vector<LONG> numbers;
        for (const auto& item : Items(Contents(d).get())) {
            EXPECT_EQ(numbering->GetNumber(item.get(), &number), S_OK) << row.change;
            numbers.push_back(number);
        }
        EXPECT_EQ(numbers, row.expected) << row.change;
    }
}

TEST(HelperObjects, ScopeHolderShowsOneObject)
{
    ASSERT_TRUE(SUCCEEDED(RegisterModelClasses()));
    auto d = RockSalt();
    d->SetFixedMask(d->Atoms()[4].handle, FixedAll);
    KelvComPtr<IQoScopeHolder> holder;
    ASSERT_EQ(CoCreateInstance(CLSID_QoScopeHolder, nullptr, CLSCTX_SERVER, IID_IQoScopeHolder, holder.ReceiveVoid()),
              S_OK);
    KelvComPtr<IUnknown> chlorine = ObjectFor(d, d->Atoms()[5].handle);
    ASSERT_EQ(holder->HoldObject(chlorine.get()), S_OK);
    KelvComPtr<ISBScope> scope = Query<ISBScope>(holder);
    const auto items = Items(scope.get());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(Identity(items[0].get()), Identity(chlorine.get()));
    EXPECT_EQ(ScopeOf(scope.get()).Objects(), std::vector<Handle>{d->Atoms()[5].handle});
    EXPECT_EQ(holder->HoldObject(nullptr), E_INVALIDARG);
}
