// The structure checks of IZelm, the saved-deck and export queries of
// ISBManagedJobFiles, and forcefield typing before a run.
#include "LogicHost.h"

#include "common/FakeCom.h"

#include "kelv/KelvSafeArray.h"

using namespace LogicTest;

namespace {

const char* const kTyping = "Forcefield types have not been assigned for all atoms.\n"
                            "Use the ZELM Preparations Options dialog to assign forcefield types.";

std::shared_ptr<HostModel::Document> Rutile()
{
    return HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/logic/rutile.cif");
}

// A scope of a document that has only a file path.
struct PathDocument final : QzTest::Fake<ISBDocumentRoot> {
    explicit PathDocument(std::string url) : url(std::move(url)) {}
    HRESULT get_ContentsAsScope(ISBScope**) override { return E_NOTIMPL; }
    HRESULT get_DocumentID(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_DocumentURL(BSTR* out) override
    {
        *out = Kelv::bstrdup(url);
        return S_OK;
    }
    HRESULT get_DocumentName(BSTR*) override { return E_NOTIMPL; }
    HRESULT get_ModelDocument(IUnknown** out) override
    {
        *out = nullptr;
        return S_FALSE;
    }
    HRESULT get_DocumentInfo(ISBDocumentInfo**) override { return E_NOTIMPL; }
    HRESULT CopyModelFrom(ISBDocumentRoot*) override { return E_NOTIMPL; }
    std::string url;
};
struct PathScope final : QzTest::Fake<ISBScope> {
    explicit PathScope(const std::string& url) : document(QzTest::Make<PathDocument>(url)) {}
    HRESULT get_Objects(ISBScopeObjects**) override { return E_NOTIMPL; }
    HRESULT get_DocumentRoot(ISBDocumentRoot** out) override
    {
        *out = document.get();
        document->AddRef();
        return S_OK;
    }
    KelvComPtr<PathDocument> document;
};

class Checks : public LogicHost
{
protected:
    // AllAtomicChargesInLibrary2: the answer and the missing elements.
    struct Missing
    {
        HRESULT hr;
        VARIANT_BOOL all;
        bool hasArray;
        std::vector<std::string> elements;
    };
    Missing MissingElements(const KelvComPtr<ISBScope>& scope)
    {
        SAFEARRAY* array = nullptr;
        Missing result{S_OK, 7, false, {}};
        result.hr = Zelm()->AllAtomicChargesInLibrary2(scope.get(), &array, &result.all);
        result.hasArray = array != nullptr;
        const KelvSafeArray owned(array);
        for (ULONG i = 0; i < owned.Count(); ++i)
            result.elements.push_back(owned.GetString(static_cast<LONG>(i)));
        return result;
    }
};

} // namespace

TEST_F(Checks, MissingElementsAreDistinctAndSorted)
{
    // Only sodium in the library.
    UseProjectLibrary("sodium", "species\nNa core 1.0\n");
    Missing missing = MissingElements(Contents(document));
    EXPECT_EQ(missing.hr, S_OK);
    EXPECT_EQ(missing.all, VARIANT_FALSE);
    EXPECT_EQ(missing.elements, std::vector<std::string>{"Cl"});
    // The short form does not hand out the list (nor leak it).
    VARIANT_BOOL some = VARIANT_TRUE;
    EXPECT_EQ(Zelm()->AllAtomicChargesInLibrary(Contents(document).get(), &some), S_OK);
    EXPECT_EQ(some, VARIANT_FALSE);

    const auto rutile = AddDocument("rutile", *Rutile());
    missing = MissingElements(Contents(rutile));
    EXPECT_EQ(missing.hr, S_OK);
    EXPECT_EQ(missing.all, VARIANT_FALSE);
    EXPECT_EQ(missing.elements, (std::vector<std::string>{"O", "Ti"}));

    // Everything found: no array at all.
    UseProjectLibrary("rocksalt", DeckTest::RockSaltLibrary());
    missing = MissingElements(Contents(document));
    EXPECT_EQ(missing.hr, S_OK);
    EXPECT_EQ(missing.all, VARIANT_TRUE);
    EXPECT_FALSE(missing.hasArray);
    VARIANT_BOOL all = 0;
    EXPECT_EQ(Zelm()->AllAtomicChargesInLibrary(Contents(document).get(), &all), S_OK);
    EXPECT_EQ(all, VARIANT_TRUE);
}

TEST_F(Checks, NoAtomsAndMissingOutputs)
{
    const auto empty = AddDocument("empty", HostModel::Document());
    const Missing missing = MissingElements(Contents(empty));
    EXPECT_EQ(missing.hr, E_UNEXPECTED);
    EXPECT_EQ(QzTest::LastErrorText(), "No atoms have been found in the input scope.");
    EXPECT_EQ(missing.all, VARIANT_FALSE);
    EXPECT_FALSE(missing.hasArray);
    // The short form answers S_OK whatever the long form did.
    VARIANT_BOOL all = VARIANT_TRUE;
    EXPECT_EQ(Zelm()->AllAtomicChargesInLibrary(Contents(empty).get(), &all), S_OK);
    EXPECT_EQ(all, VARIANT_FALSE);

    all = VARIANT_TRUE;
    EXPECT_EQ(Zelm()->AllAtomicChargesInLibrary2(Contents(document).get(), nullptr, &all), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    EXPECT_EQ(all, VARIANT_FALSE);
}

TEST_F(Checks, AnUnreadableLibraryIsNotAllFound)
{
    // The selected library's file is gone: the long form fails, and neither
    // form may answer "all in the library".
    Set("ZelmLogic", "library", "vanished");
    const Missing missing = MissingElements(Contents(document));
    EXPECT_TRUE(FAILED(missing.hr));
    EXPECT_EQ(missing.all, VARIANT_FALSE);
    EXPECT_FALSE(missing.hasArray);
    VARIANT_BOOL all = VARIANT_TRUE;
    EXPECT_EQ(Zelm()->AllAtomicChargesInLibrary(Contents(document).get(), &all), S_OK);
    EXPECT_EQ(all, VARIANT_FALSE);
}

TEST_F(Checks, SymmetryPeriodicityAndPiSystems)
{
    const KelvComPtr<IZelm> zelm = Zelm();
    const auto scope = Contents(document);
    VARIANT_BOOL answer = 7;
    EXPECT_EQ(zelm->IsP1(scope.get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(zelm->MakeP1(scope.get()), S_OK);
    EXPECT_EQ(zelm->IsP1(scope.get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);
    EXPECT_EQ(zelm->IsPeriodic(scope.get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);
    EXPECT_EQ(zelm->HasPiSystems(scope.get(), &answer), S_OK);
    EXPECT_EQ(answer, 0);

    // Pi-systems answer 1, not VARIANT_TRUE.
    auto model = Model(document);
    model->AddPiSystem({model->Atoms().at(0).handle, model->Atoms().at(1).handle});
    EXPECT_EQ(zelm->HasPiSystems(scope.get(), &answer), S_OK);
    EXPECT_EQ(answer, 1);

    // A deck holds no structure: not periodic, rather than a failure.
    QzTest::WriteFile(Project() + "/deck.gin", "opti\n");
    KelvComPtr<ISBDocumentRoot> deck;
    ASSERT_EQ(host->Documents().FindDocument(KelvBSTR(Project() + "/deck.gin").Get(), deck.Receive()), S_OK);
    answer = 7;
    EXPECT_EQ(zelm->IsPeriodic(Contents(deck).get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(zelm->IsPeriodic(nullptr, &answer), E_INVALIDARG);
    EXPECT_EQ(zelm->MakeP1(nullptr), E_INVALIDARG);
}

TEST_F(Checks, ExcludedLibrariesAndPhononsAwayFromGamma)
{
    // Without any connection.
    void* object = nullptr;
    ASSERT_EQ(CZelm::CreateZelmLogic(&object), S_OK);
    const auto loose = KelvComPtr<IUnknown>::Adopt(static_cast<IDelegatedUnknown*>(object)).QueryInterface<IZelm>();
    BSTR exclusions = nullptr;
    ASSERT_EQ(loose->get_LibrariesToExclude(&exclusions), S_OK);
    EXPECT_EQ(NarrowFromBSTR(exclusions), "uff,sauer");
    SysFreeString(exclusions);
    EXPECT_EQ(loose->get_LibrariesToExclude(nullptr), E_POINTER);

    struct Case
    {
        const char* library;
        VARIANT_BOOL answer;
    };
    for (const Case& c : {Case{"species\nNa core 1.0\n", VARIANT_TRUE},
                          Case{"keyword sm\nspecies\nNa core 1.0\n", VARIANT_FALSE},
                          Case{"KEYWORD qeq conp\nspecies\nNa core 1.0\n", VARIANT_FALSE},
                          Case{"keyword smelt\nspecies\nNa core 1.0\n", VARIANT_TRUE}}) {
        SCOPED_TRACE(c.library);
        UseProjectLibrary("phonons", c.library);
        VARIANT_BOOL answer = 7;
        // No scope needed: the library decides.
        EXPECT_EQ(Zelm()->CanDoPhononNonGamma(nullptr, &answer), S_OK);
        EXPECT_EQ(answer, c.answer);
    }
}

TEST_F(Checks, SavedDeckQueries)
{
    const auto files = JobFiles();
    struct Case
    {
        const char* url;
        VARIANT_BOOL canStart;
    };
    for (const Case& c : {Case{"/p/rocksalt.gin", VARIANT_TRUE}, Case{"/p/rocksalt.GIN", VARIANT_FALSE},
                          Case{"/p/rocksalt.gin.bak", VARIANT_FALSE}, Case{"", VARIANT_FALSE}}) {
        SCOPED_TRACE(c.url);
        const auto scope = QzTest::Make<PathScope>(c.url);
        VARIANT_BOOL canStart = 7;
        EXPECT_EQ(files->CanStartFiles(scope.get(), &canStart), S_OK);
        EXPECT_EQ(canStart, c.canStart);
    }
    VARIANT_BOOL answer = 7;
    EXPECT_EQ(files->CanStartFiles(Contents(document).get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);

    // Export: atoms, no atoms, a deck.
    EXPECT_EQ(files->CanExportFiles(Contents(document).get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);
    const auto empty = AddDocument("empty", HostModel::Document());
    EXPECT_EQ(files->CanExportFiles(Contents(empty).get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
    QzTest::WriteFile(Project() + "/deck.gin", "opti\n");
    KelvComPtr<ISBDocumentRoot> deck;
    ASSERT_EQ(host->Documents().FindDocument(KelvBSTR(Project() + "/deck.gin").Get(), deck.Receive()), S_OK);
    answer = 7;
    EXPECT_EQ(files->CanExportFiles(Contents(deck).get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(files->CanStartFiles(Contents(deck).get(), &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);

    // Starting is never discouraged; both outputs are required.
    BSTR reason = reinterpret_cast<BSTR>(0x1);
    EXPECT_EQ(files->ShouldStartFiles(Contents(deck).get(), &reason, &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_TRUE);
    ASSERT_NE(reason, nullptr);
    EXPECT_EQ(SysStringLen(reason), 0u);
    SysFreeString(reason);
    EXPECT_EQ(files->ShouldStartFiles(Contents(deck).get(), nullptr, &answer), E_POINTER);
    EXPECT_EQ(answer, VARIANT_FALSE);
    EXPECT_EQ(files->CanExportFiles(nullptr, &answer), E_INVALIDARG);
    EXPECT_EQ(QzTest::LastErrorText(), "Cannot conduct this operation without an active document");
    EXPECT_EQ(files->CanStartFiles(Contents(deck).get(), nullptr), E_POINTER);
}

namespace {

class Typing : public Checks
{
protected:
    // A host whose chooser offers "dreiding" with the given kind, the
    // library "dreiding" selected (a standard library of the product).
    void StartWith(LONG kind)
    {
        configuration.chooserForcefields = {{"dreiding", kind}, {"uff", QoForcefieldByType}};
        StartHost();
        const std::string standard = folder.File("core/Resources/Virakon/ZELM");
        std::filesystem::create_directories(standard);
        QzTest::WriteFile(standard + "/dreiding.lib", DeckTest::RockSaltLibrary());
        Set("ZelmLogic", "library", "dreiding");
        Set("ZelmLogic", "Task", int32_t(2));
        document = AddDocument("typed", *RockSalt());
    }
    Outcome Export() { return Call([&] { return JobFiles()->ExportFiles(Contents(document).get()); }); }
    void TypeParents()
    {
        auto model = Model(document);
        for (const HostModel::Atom& atom : model->Atoms())
            if (atom.IsSymmetryParent())
                model->SetForcefieldType(atom.handle, atom.element == "Na" ? "Na" : "Cl");
    }
};

} // namespace

TEST_F(Typing, TypedLibrariesNeedEveryParentTyped)
{
    StartWith(QoForcefieldByType);
    Outcome result = Export();
    EXPECT_EQ(result.hr, E_INVALIDARG);
    EXPECT_EQ(result.message, kTyping);
    EXPECT_TRUE(HostModel::OperationLog::Find("DocumentManager", "MakeDocumentFolder").empty());

    // Only the symmetry parents are looked at: images stay untyped.
    TypeParents();
    result = Export();
    EXPECT_EQ(result.hr, S_OK) << result.message;
}

TEST_F(Typing, OnlyTheTwoTypedLibrariesAreChecked)
{
    StartWith(QoForcefieldByType);
    for (const char* name : {"Dreiding", "UFF", "uff ", "stdions"}) {
        SCOPED_TRACE(name);
        QzTest::WriteFile(folder.File("core/Resources/Virakon/ZELM/") + name + ".lib", DeckTest::RockSaltLibrary());
        Set("ZelmLogic", "library", name);
        const Outcome result = Export();
        EXPECT_NE(result.message, kTyping);
    }
    Set("ZelmLogic", "library", "uff");
    QzTest::WriteFile(folder.File("core/Resources/Virakon/ZELM/uff.lib"), DeckTest::RockSaltLibrary());
    EXPECT_EQ(Export().message, kTyping);
}

TEST_F(Typing, ForcefieldsThatTypeThemselvesPassUnread)
{
    // Types built into the forcefield.
    StartWith(QoForcefieldTypesBuiltIn);
    EXPECT_EQ(Export().hr, S_OK);

    // A forcefield the chooser does not offer.
    StartWith(QoForcefieldByType);
    Set("ZelmForcefieldChooser", "CurrentForcefield", "other");
    EXPECT_EQ(Export().hr, S_OK);

    // The preparation types the atoms itself: afterwards every parent has one.
    StartWith(QoForcefieldByType);
    Set("ZelmPreparation", "AssignForcefieldTypes", true);
    const Outcome result = Export();
    EXPECT_EQ(result.hr, S_OK) << result.message;
    for (const HostModel::Atom& atom : Model(document)->Atoms()) {
        if (atom.IsSymmetryParent()) {
            EXPECT_FALSE(atom.forcefieldType.empty()) << atom.element;
        }
    }
}
