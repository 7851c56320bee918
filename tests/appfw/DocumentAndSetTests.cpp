// Scope and named-set utilities against a fake host: the calls must reach
// the host's scope manager and named sets with the right arguments.
#include <gtest/gtest.h>

#include <functional>

#include "common/HostFakes.h"
#include "appfw/appfw.h"
#include "common/KelvResults.h"

using QzTest::CodeOf;

namespace
{
// A document with a parent atom "O1" and its image "O1'", an unselected
// atom "Si1" and a bond-like object that is no atom.
class DocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CallLog().clear();
        o1 = MakeAtom("O1");
        image = MakeAtom("O1'");
        image->properties["SymmetryParent"] = KelvVariant(static_cast<IUnknown*>(o1.get()));
        si1 = MakeAtom("Si1", "Si");
        o1->properties["IsSelected"] = KelvVariant(true);
        image->properties["IsSelected"] = KelvVariant(true);
        bond = Make<FakeAtom>("bond");
        document = Make<FakeDocument>(std::vector<KelvComPtr<IUnknown>>{
            AsUnknown(o1.get()), AsUnknown(image.get()), AsUnknown(si1.get()), AsUnknown(bond.get())});
        selection = Make<FakeScope>("selection", std::vector<KelvComPtr<IUnknown>>{AsUnknown(si1.get())},
                                    document.get());
    }
    std::vector<std::string> Labels(ISBScope* scope)
    {
        std::vector<std::string> labels;
        for (const auto& object : AppUtils::Document::ObjectArrayFromScope(scope))
            labels.push_back(LabelOf(object.get()));
        return labels;
    }

    KelvComPtr<FakeRoot> root = Make<FakeRoot>();
    KelvComPtr<FakeAtom> o1, image, si1, bond;
    KelvComPtr<FakeDocument> document;
    KelvComPtr<FakeScope> selection;
};
} // namespace

TEST_F(DocumentTest, CompleteModelScopeIsTheDocumentsContents)
{
    KelvComPtr<ISBScope> model = AppUtils::Document::CompleteModelScope(selection.get(), root.get());
    EXPECT_EQ(model.get(), static_cast<ISBScope*>(document->contents.get()));
    EXPECT_EQ(AppUtils::Document::DocumentFromScope(selection.get(), root.get()).get(),
              static_cast<ISBDocumentRoot*>(document.get()));

    auto orphan = Make<FakeScope>("orphan", std::vector<KelvComPtr<IUnknown>>{});
    EXPECT_FALSE(AppUtils::Document::DocumentFromScope(orphan.get(), root.get()));
    EXPECT_EQ(CodeOf([&] { AppUtils::Document::CompleteModelScope(orphan.get(), root.get()); }), E_UNEXPECTED);
}

TEST_F(DocumentTest, ProcessingReachesTheScopeManagerInOrder)
{
    ISBScope* contents = document->contents.get();
    KelvComPtr<ISBScope> parents =
        AppUtils::Document::ProcessScope(contents, "Normalization:Model3d!SymmetryParent", root.get());
    KelvComPtr<ISBScope> atoms = AppUtils::Document::ProcessScope(
        parents.get(), "Filter:Model3d!Atom", AppUtils::Document::GetScopeManager(root.get()).get());
    EXPECT_EQ(Labels(atoms.get()), (std::vector<std::string>{"O1", "Si1"}));
    EXPECT_EQ(CallLog(), (std::vector<std::string>{
                             "ProcessScope(contents, Normalization:Model3d!SymmetryParent)",
                             "ProcessScope(contents|Normalization:Model3d!SymmetryParent, Filter:Model3d!Atom)"}));

    KelvComPtr<ISBScopeObjects> selected = AppUtils::Document::ObjectsFromScope(
        contents, "Filter:Model3d!!IsSelected", AppUtils::Document::GetScopeManager(root.get()).get());
    LONG count = 0;
    selected->get_Count(&count);
    EXPECT_EQ(count, 2);

    // An unknown processor: the host's failure passes on.
    EXPECT_EQ(CodeOf([&] { AppUtils::Document::ProcessScope(contents, "Filter:Nothing", root.get()); }),
              E_INVALIDARG);
}

TEST_F(DocumentTest, CountsAndEmptiness)
{
    EXPECT_EQ(AppUtils::Document::CountScopeObjects(document->contents.get()), 4);
    EXPECT_FALSE(AppUtils::Document::ScopeIsEmpty(selection.get()));
    auto empty = Make<FakeScope>("empty", std::vector<KelvComPtr<IUnknown>>{}, document.get());
    EXPECT_TRUE(AppUtils::Document::ScopeIsEmpty(empty.get()));
    EXPECT_TRUE(AppUtils::Document::ScopeIsEmpty(nullptr));
    EXPECT_EQ(AppUtils::Document::CountScopeObjects(nullptr), 0);
}

TEST_F(DocumentTest, ObjectArrayRefusesObjectsThatAreNoDataModelObjects)
{
    auto collection = Make<FakeCollection>();
    auto mixed = Make<FakeScope>("mixed", std::vector<KelvComPtr<IUnknown>>{AsUnknown(o1.get()),
                                                                           AsUnknown(collection.get())});
    EXPECT_EQ(CodeOf([&] { AppUtils::Document::ObjectArrayFromScope(mixed.get()); }), E_NOINTERFACE);
}

TEST_F(DocumentTest, NamedSetCallsReachTheModelWithTheirArguments)
{
    using namespace AppUtils::DataModel;
    ISBDocumentRoot* doc = document.get();
    ISBContainerRoot* r = root.get();
    struct Step
    {
        std::function<void()> call;
        std::string logged;
    };
    const std::vector<Step> steps{
        {[&] { EXPECT_FALSE(HasSet("SurfaceAtoms", doc, r)); }, "HasSet(SurfaceAtoms)"},
        {[&] { CreateSet("SurfaceAtoms", doc, r, true); }, "CreateSet(SurfaceAtoms, -1)"},
        {[&] { CreateSet("AttachmentLayer", doc, r, false); }, "CreateSet(AttachmentLayer, 0)"},
        {[&] { EXPECT_TRUE(HasSet("SurfaceAtoms", doc, r)); }, "HasSet(SurfaceAtoms)"},
        {[&] { EXPECT_TRUE(SetIsEmpty("SurfaceAtoms", doc, r)); }, "SetIsEmpty(SurfaceAtoms)"},
        {[&] { AddObjectToSet(o1.get(), "SurfaceAtoms", doc, r); }, "AddObjectToSet(O1, SurfaceAtoms)"},
        {[&] { EXPECT_FALSE(SetIsEmpty("SurfaceAtoms", doc, r)); }, "SetIsEmpty(SurfaceAtoms)"},
        {[&] { EXPECT_TRUE(ObjectBelongsToSet(o1.get(), "SurfaceAtoms", doc, r)); },
         "ObjectBelongsToSet(O1, SurfaceAtoms)"},
        {[&] { EXPECT_FALSE(ObjectBelongsToSet(si1.get(), "SurfaceAtoms", doc, r)); },
         "ObjectBelongsToSet(Si1, SurfaceAtoms)"},
        {[&] { RemoveObjectFromSet(si1.get(), "AttachmentLayer", doc, r); },
         "RemoveObjectFromSet(Si1, AttachmentLayer)"},
        {[&] { SetSelectionToSet("SurfaceAtoms", doc, r); }, "SetSelectionToSet(SurfaceAtoms)"},
        {[&] { DeleteSet("AttachmentLayer", doc, r); }, "DeleteSet(AttachmentLayer)"},
    };
    for (const Step& step : steps) {
        CallLog().clear();
        step.call();
        EXPECT_EQ(CallLog(), std::vector<std::string>{step.logged});
    }
    EXPECT_EQ(document->model->sets.count("AttachmentLayer"), 0u);
}

TEST_F(DocumentTest, SetAsScopeUsesTheScopesDocument)
{
    document->model->sets["SurfaceAtoms"].push_back(AsUnknown(si1.get()));
    KelvComPtr<ISBScope> set = AppUtils::DataModel::GetSetAsScope("SurfaceAtoms", selection.get(), root.get());
    EXPECT_EQ(Labels(set.get()), std::vector<std::string>{"Si1"});
    EXPECT_EQ(AppUtils::DataModel::SetIsEmpty("SurfaceAtoms", document.get(), nullptr), false);

    // No such set, and a scope of no document.
    EXPECT_EQ(CodeOf([&] { AppUtils::DataModel::GetSetAsScope("AttachmentLayer", selection.get(), root.get()); }),
              E_INVALIDARG);
    auto orphan = Make<FakeScope>("orphan", std::vector<KelvComPtr<IUnknown>>{});
    EXPECT_EQ(CodeOf([&] { AppUtils::DataModel::GetSetAsScope("SurfaceAtoms", orphan.get(), root.get()); }),
              E_UNEXPECTED);
    // Adding to a set that does not exist is the host's error.
    EXPECT_EQ(CodeOf([&] { AppUtils::DataModel::AddObjectToSet(o1.get(), "Nothing", document.get(), nullptr); }),
              E_INVALIDARG);
    EXPECT_EQ(CodeOf([&] { AppUtils::DataModel::AddObjectToSet(nullptr, "SurfaceAtoms", document.get(), nullptr); }),
              E_POINTER);
}

namespace
{
// The property service: templates write the value on every object of a scope.
class FakeTemplate : public Fake<ISDPropertyTemplate>
{
public:
    explicit FakeTemplate(std::string name) : m_name(std::move(name)) {}
    HRESULT get_Name(BSTR* name) override { return *name = Kelv::bstrdup(m_name), S_OK; }
    HRESULT SetValueOnScope(ISBScope* scope, VARIANT value) override
    {
        KelvComPtr<ISBScopeObjects> objects;
        scope->get_Objects(objects.Receive());
        LONG count = 0;
        objects->get_Count(&count);
        for (LONG i = 1; i <= count; ++i) {
            KelvComPtr<IUnknown> object;
            objects->Item(i, object.Receive());
            LONG status = SDPropertyNoHint;
            KelvComPtr<ISDObject>::QueryFrom(object.get())->put_PropertyValue(KelvBSTR(m_name).Get(), &status, value);
        }
        return S_OK;
    }

private:
    std::string m_name;
};

class FakePropertyService : public Fake<ISDPropertyService>
{
public:
    HRESULT GetPropertyTemplate(BSTR name, ISDPropertyTemplate** out) override
    {
        if (Text(name) != "IsSelected")
            return E_INVALIDARG;
        *out = new FakeTemplate(Text(name));
        return S_OK;
    }
};
} // namespace

TEST_F(DocumentTest, NamedPropertyTemplateComesFromThePropertyService)
{
    ClassRegistration<FakePropertyService> registration(CLSID_SDPropertyService, "");
    KelvComPtr<ISDPropertyTemplate> isSelected = AppUtils::DataModel::GetNamedPropertyTemplate("IsSelected");
    isSelected->SetValueOnScope(selection.get(), KelvVariant(false).Get());
    EXPECT_EQ(CallLog(), std::vector<std::string>{"put Si1.IsSelected=False"});
    EXPECT_EQ(CodeOf([] { AppUtils::DataModel::GetNamedPropertyTemplate("Colour"); }), E_INVALIDARG);
}

TEST(PropertyServiceMissing, CreationFailureIsReported)
{
    EXPECT_NE(CodeOf([] { AppUtils::DataModel::GetNamedPropertyTemplate("IsSelected"); }), S_OK);
}
