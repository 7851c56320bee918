// Which atoms the deck holds and under which identity: fixing masks,
// species labels, atom numbers and the atom-identifier side file.
#include "DeckHost.h"

#include "setup/ZelmFileWriter.h"
#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsDocument.h"
#include "qorvira/ZelmForcefieldLocator.h"

#include "common/HostFakes.h"

#include <filesystem>

using namespace DeckTest;

namespace {

// A restriction array of masks or of atoms.
SAFEARRAY* Masks(const std::vector<LONG>& masks)
{
    KelvSafeArray array(VT_I4, static_cast<ULONG>(masks.size()));
    for (std::size_t k = 0; k < masks.size(); ++k)
        array.PutLong(static_cast<LONG>(k), masks[k]);
    return array.Detach();
}

SAFEARRAY* Atoms(const std::vector<KelvComPtr<FakeAtom>>& atoms, VARTYPE vt = VT_UNKNOWN)
{
    KelvSafeArray array(vt, static_cast<ULONG>(atoms.size()));
    for (std::size_t k = 0; k < atoms.size(); ++k) {
        LONG index = static_cast<LONG>(k);
        IUnknown* atom = static_cast<ISDObject*>(atoms[k].get());
        if (vt == VT_VARIANT) {
            KelvVariant value(atom);
            EXPECT_EQ(SafeArrayPutElement(array.Get(), &index, const_cast<VARIANT*>(&value.Get())), S_OK);
        } else {
            EXPECT_EQ(SafeArrayPutElement(array.Get(), &index, atom), S_OK);
        }
    }
    return array.Detach();
}

KelvComPtr<FakeAtom> AtomWithId(int32_t id)
{
    auto atom = MakeAtom("a" + std::to_string(id));
    atom->properties["ID"] = KelvVariant(id);
    return atom;
}

} // namespace

TEST(FixedAxisMasks, MergedByAtomId)
{
    const auto first = AtomWithId(11);
    const auto second = AtomWithId(12);
    struct Case {
        const char* what;
        std::vector<LONG> masks;
        std::vector<KelvComPtr<FakeAtom>> atoms;
        VARTYPE vt;
        std::map<long, long> expected;
    } cases[] = {
        {"one atom listed twice", {1, 4}, {first, first}, VT_UNKNOWN, {{11, 5}}},
        {"two atoms", {2, 7}, {first, second}, VT_UNKNOWN, {{11, 2}, {12, 7}}},
        {"atoms held in variants", {1, 2}, {first, first}, VT_VARIANT, {{11, 3}}},
        {"an atom array longer than the masks", {4}, {second, first}, VT_UNKNOWN, {{12, 4}}},
        {"no entries", {}, {}, VT_UNKNOWN, {}},
    };
    for (const Case& c : cases) {
        SAFEARRAY* masks = Masks(c.masks);
        SAFEARRAY* atoms = Atoms(c.atoms, c.vt);
        std::map<long, long> merged;
        try {
            ZelmDeckAtoms::AddFixedAxisMasks(masks, atoms, merged);
        } catch (const KelvResult& error) {
            ADD_FAILURE() << c.what << ": " << error.GetMessage();
        }
        EXPECT_EQ(merged, c.expected) << c.what;
        SafeArrayDestroy(masks);
        SafeArrayDestroy(atoms);
    }
}

TEST(FixedAxisMasks, NullOrUnequalArrays)
{
    const auto atom = AtomWithId(3);
    SAFEARRAY* masks = Masks({1, 2});
    SAFEARRAY* atoms = Atoms({atom});
    std::map<long, long> merged{{3, 4}};

    // Either array null: nothing is merged.
    ZelmDeckAtoms::AddFixedAxisMasks(nullptr, atoms, merged);
    ZelmDeckAtoms::AddFixedAxisMasks(masks, nullptr, merged);
    EXPECT_EQ(merged, (std::map<long, long>{{3, 4}}));

    // More masks than atoms: the masks beyond the atoms have no atom.
    try {
        ZelmDeckAtoms::AddFixedAxisMasks(masks, atoms, merged);
        ADD_FAILURE() << "two masks for one atom";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), DISP_E_BADINDEX);
    }
    EXPECT_EQ(merged, (std::map<long, long>{{3, 5}}));

    // Masks of another type are refused.
    SAFEARRAY* doubles = SafeArrayCreateVector(VT_R8, 0, 1);
    try {
        ZelmDeckAtoms::AddFixedAxisMasks(doubles, atoms, merged);
        ADD_FAILURE() << "masks of doubles";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), DISP_E_TYPEMISMATCH);
    }
    SafeArrayDestroy(doubles);
    SafeArrayDestroy(masks);
    SafeArrayDestroy(atoms);
}

namespace {

class DeckAtoms : public DeckHost
{
protected:
    void SetUp() override
    {
        DeckHost::SetUp();
        out = folder.File("out");
        std::filesystem::create_directories(out);
    }

    std::unique_ptr<CZelmRunInfo> RunInfo(const KelvComPtr<ISBScope>& scope)
    {
        const KelvComPtr<ISBState> state(host->State("ZelmLogic").get());
        locator = std::make_unique<CZelmForcefieldLocator>(state, KelvComPtr<ISBContainerRoot>(host->Root()));
        CZelmForcefieldLocator* pointer = locator.get();
        return std::make_unique<CZelmRunInfo>(KelvComPtr<ISBContainerRoot>(host->Root()), CStateHelper(state.get(), state.get()),
                                              scope, pointer, KelvComPtr<ISBState>(host->State("QMJobTemplate").get()),
                                              KelvComPtr<ISBScopeManager>(&host->Scopes()));
    }

    std::string Deck(const std::string& name) const { return QzTest::ReadFile(out + "/" + name); }

    std::unique_ptr<CZelmForcefieldLocator> locator;
    std::string out;
};

} // namespace

TEST_F(DeckAtoms, RestrictionsOutsideTheRequestScopeAreFoundInTheDocument)
{
    HostModel::Document molecule;
    const HostModel::Handle free = molecule.AddAtom("Mg", {0.0, 0.0, 0.0});
    const HostModel::Handle fixed = molecule.AddAtom("O", {1.9, 0.0, 0.0});
    molecule.SetFixedMask(fixed, HostModel::FixedX | HostModel::FixedZ);
    molecule.SetSelected(free, true);
    const auto document = AddDocument("molecule", molecule);
    UseProjectLibrary("coreshell", CoreShellLibrary());

    // The request names the selection, which holds no fixed atom.
    const auto selection = AppUtils::Document::ProcessScope(Contents(document).get(), "Filter:Model3d!!IsSelected",
                                                            KelvComPtr<ISBContainerRoot>(host->Root()).get());
    ASSERT_EQ(AppUtils::Document::CountScopeObjects(selection.get()), 1);
    ASSERT_EQ(Save(selection, out), "molecule.gin");
    const std::string deck = Deck("molecule.gin");
    EXPECT_NE(deck.find("Mg1 core 0.000000 0.000000 0.000000 2.000000 1.000000 0.0 1 1 1 \n"), std::string::npos)
        << deck;
    EXPECT_NE(deck.find("O1 core 1.900000 0.000000 0.000000 0.869020 1.000000 0.0 0 1 0 \n"
                        "O1 shel 1.900000 0.000000 0.000000 -2.869020 1.000000 0.0 0 1 0 \n"),
              std::string::npos)
        << deck;
}

TEST_F(DeckAtoms, FractionalAtomsFixedOnlyWhenTheirPositionIsRestricted)
{
    auto salt = RockSalt();
    const HostModel::Atom& sodium = salt->Atoms().front();
    ASSERT_EQ(sodium.element, "Na");
    salt->SetFixedMask(sodium.handle, HostModel::FixedAll);
    const HostModel::Atom* chlorine = nullptr;
    for (const HostModel::Atom& atom : salt->Atoms())
        if (atom.element == "Cl" && atom.IsSymmetryParent())
            chlorine = &atom;
    ASSERT_NE(chlorine, nullptr);
    salt->SetFixedMask(chlorine->handle, HostModel::FixedY);
    const auto document = AddDocument("rocksalt", *salt);
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    Set("ZelmLogic", "Task", int32_t(2));
    ASSERT_EQ(Save(Contents(document), out), "rocksalt.gin");
    const std::string deck = Deck("rocksalt.gin");
    EXPECT_NE(deck.find("Na1 core 0.000000 0.000000 0.000000 1.000000 1.000000 0.0 0 0 0\n"), std::string::npos)
        << deck;
    EXPECT_NE(deck.find("Cl1 core 0.500000 0.500000 0.500000 -1.000000 1.000000 0.0 1 1 1\n"), std::string::npos)
        << deck;
}

TEST_F(DeckAtoms, SpeciesOfOneElementGetNumberedLabels)
{
    HostModel::Document molecule;
    const HostModel::Handle a = molecule.AddAtom("Si", {0.0, 0.0, 0.0});
    const HostModel::Handle b = molecule.AddAtom("Si", {2.0, 0.0, 0.0});
    const HostModel::Handle c = molecule.AddAtom("Si", {4.0, 0.0, 0.0});
    molecule.SetForcefieldType(a, "Si_B");
    molecule.SetForcefieldType(b, "Si_A");
    molecule.SetForcefieldType(c, "Si_B");
    const auto document = AddDocument("chain", molecule);
    UseProjectLibrary("silicon", "species\nSi_A core 4.0\nSi_B core 2.4\n");
    ASSERT_EQ(Save(Contents(document), out), "chain.gin");
    const std::string deck = Deck("chain.gin");
    EXPECT_NE(deck.find("cartesian\n"
                        "Si1 core 0.000000 0.000000 0.000000 2.400000 1.000000 0.0 1 1 1 \n"
                        "Si2 core 2.000000 0.000000 0.000000 4.000000 1.000000 0.0 1 1 1 \n"
                        "Si1 core 4.000000 0.000000 0.000000 2.400000 1.000000 0.0 1 1 1 \n"
                        "\n"
                        "Species\n"
                        "Si2 core Si_A\n"
                        "Si1 core Si_B\n"
                        "\n"),
              std::string::npos)
        << deck;
}

TEST_F(DeckAtoms, JobSideFilesNumberTheSymmetryParents)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    auto model = Model(document);
    // Scramble the identifiers: the numbering gives the parents 1 and 2.
    for (const HostModel::Atom& atom : model->Atoms())
        model->SetId(atom.handle, atom.id + 40);
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    const auto scope = Contents(document);
    auto info = RunInfo(scope);
    {
        CZelmFileWriter writer(*info, host->Root(), &host->Documents(), scope.get());
        writer.WriteJobSideFiles(out + "/", "job");
    }
    EXPECT_EQ(QzTest::ReadFile(out + "/job.trjaux"),
              "# Atom IDs to appear in any .trj file to be generated.\n"
              "# Correspond to atom IDs which will be used in exported .qlf file\n"
              "# required for animation/analysis of trajectory within Ombra2.\n"
              "1\n2\n");
    std::vector<int32_t> parentIds;
    for (const HostModel::Atom& atom : model->Atoms())
        if (atom.IsSymmetryParent())
            parentIds.push_back(atom.id);
    EXPECT_EQ(parentIds, (std::vector<int32_t>{1, 2}));
    EXPECT_TRUE(std::filesystem::exists(out + "/job.qsd"));
    VARIANT_BOOL hidden = VARIANT_FALSE;
    EXPECT_EQ(host->Disk().get_Hidden(KelvBSTR(out + "/job.trjaux").Get(), &hidden), S_OK);
    EXPECT_EQ(hidden, VARIANT_TRUE);
}

TEST_F(DeckAtoms, SideFileThatCannotBeOpenedFails)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    const auto scope = Contents(document);
    auto info = RunInfo(scope);
    CZelmFileWriter writer(*info, host->Root(), &host->Documents(), scope.get());
    const std::string missing = out + "/no-such-folder/";
    try {
        writer.WriteJobSideFiles(missing, "job");
        ADD_FAILURE() << "side file in a missing folder";
    } catch (const KelvResult& error) {
        EXPECT_EQ(error.GetHRESULT(), E_UNEXPECTED);
        EXPECT_EQ(error.GetMessage(), "Unable to open file: " + missing + "job.trjaux: no file can be made in its folder \"" +
                                          out + "/no-such-folder\" (No such file or directory)");
    }
}

// The disk fills up while a side file is written: the request fails, the
// file of the job written before stays whole, nothing half-written beside it.
TEST_F(DeckAtoms, SideFileThatCannotBeWrittenLeavesTheOldOne)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    const auto scope = Contents(document);
    auto info = RunInfo(scope);
    CZelmFileWriter writer(*info, host->Root(), &host->Documents(), scope.get());
    QzTest::WriteFile(out + "/job.trjaux", "old\n");
    const int code = ExitCodeUnderFileSizeLimit(64, [&] {
        try {
            writer.WriteJobSideFiles(out + "/", "job");
            return 1;
        } catch (const KelvResult& error) {
            return error.GetMessage() == "Unable to write file: " + out + "/job.trjaux: writing its new contents failed (File too large)" ? 0 : 2;
        }
    });
    EXPECT_EQ(code, 0) << "1: reported as written; 2: another message";
    EXPECT_EQ(Deck("job.trjaux"), "old\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), std::filesystem::directory_iterator()), 1);
}

TEST_F(DeckAtoms, SpatialPropertiesFromOneHundredAndOneAtoms)
{
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    for (const int count : {100, 101}) {
        HostModel::Document cluster;
        for (int i = 0; i < count; ++i)
            cluster.AddAtom(i % 2 ? "Cl" : "Na", {2.8 * (i % 10), 2.8 * (i / 10), 0.0});
        const auto document = AddDocument("cluster" + std::to_string(count), cluster);
        const std::string deck = Deck(Save(Contents(document), out));
        EXPECT_EQ(deck.substr(0, deck.find('\n')),
                  count > 100 ? "grad conv conse qok nomod pres spat " : "grad conv conse qok nomod pres ")
            << count;
    }
}

TEST_F(DeckAtoms, OperatorsInsteadOfASpaceGroupOutsideTheStandardSetting)
{
    auto model = std::make_shared<HostModel::Document>();
    model->SetCell({5.0, 6.0, 7.0, 1.5707963267948966, 1.5707963267948966, 1.9198621771937625});
    model->SetSymmetry(HostModel::Symmetry::FromName("P 1 1 21/m"));
    model->AddAtomAt("Na", {0.1, 0.2, 0.25});
    const auto document = AddDocument("monoclinic", *model);
    UseProjectLibrary("rocksalt", RockSaltLibrary());
    const std::string deck = Deck(Save(Contents(document), out));
    EXPECT_EQ(deck.find("spacegroup"), std::string::npos) << deck;
    // Four operators: the identity writes nothing, the other three a block
    // each; one empty line closes them.
    std::size_t blocks = 0;
    for (auto at = deck.find("symmetry_operator\n"); at != std::string::npos;
         at = deck.find("symmetry_operator\n", at + 1))
        ++blocks;
    EXPECT_EQ(blocks, 3u) << deck;
    EXPECT_NE(deck.find("000\n\nlibrary rocksalt\n"), std::string::npos) << deck;
}
