// Decks, side files and job files of the earlier build through its logic
// object and deck writer on the in-memory host.
#include "EarlierHost.h"

#include "common/KelvResults.h"

#include "setup/Zelm.h"
#include "setup/ZelmFileWriter.h"
#include "setup/ZelmRunInfo.h"

#include "qorvira/StateHelper.h"

using namespace EarlierTest;

namespace {

class EarlierDeck : public EarlierHost
{
protected:
    // A molecule: a fully fixed cation, an anion fixed along x and z, a free
    // cation, a free core-shell anion and an atom of no species.
    std::shared_ptr<HostModel::Document> Molecule()
    {
        auto model = std::make_shared<HostModel::Document>();
        const HostModel::Handle na = model->AddAtom("Na", {0.0, 0.0, 0.0});
        const HostModel::Handle cl = model->AddAtom("Cl", {2.4, 0.0, 0.0});
        const HostModel::Handle k = model->AddAtom("K", {0.0, 3.0, 0.0});
        const HostModel::Handle br = model->AddAtom("Br", {0.0, 0.0, 2.9});
        const HostModel::Handle ar = model->AddAtom("Ar", {1.0, 1.0, 1.0});
        model->SetFixedMask(na, HostModel::FixedAll);
        model->SetFixedMask(cl, HostModel::FixedX | HostModel::FixedZ);
        int32_t id = 1;
        for (const HostModel::Handle atom : {na, cl, k, br, ar})
            model->SetId(atom, id++);
        return model;
    }

    static std::shared_ptr<HostModel::Document> RockSalt()
    {
        return HostModel::ImportCif(std::string(QZ_TEST_DATA) + "/../../examples/rocksalt.cif");
    }

    // The writer of the request, as the job preparation builds it.
    std::unique_ptr<CZelmRunInfo> RunInfo(const KelvComPtr<ISBScope>& scope)
    {
        const KelvComPtr<QzHost::HostState> state = host->State("ZelmLogic");
        const KelvComPtr<QzHost::HostState> jobTemplate = host->State("QMJobTemplate");
        CZelmForcefieldLocator* const noLocator = nullptr;
        return std::make_unique<CZelmRunInfo>(KelvComPtr<ISBContainerRoot>(host->Root()),
                                              CStateHelper(state.get(), state.get()), scope, noLocator,
                                              KelvComPtr<ISBState>(jobTemplate.get()), KelvComPtr<ISBScopeManager>());
    }
};

} // namespace

TEST_F(EarlierDeck, MoleculeWithFixedAtomsCoreShellAndUnknownAtom)
{
    const auto document = AddDocument("molecule", *Molecule());
    Set("ZelmLogic", "Task", int32_t(1));
    ASSERT_EQ(Save(Contents(document)), S_OK) << failure;
    EXPECT_EQ(Written("molecule.gin"), Golden("energy-molecule.gin"));
    // Every library of this build is a standard one.
    EXPECT_EQ(Written("selectedLibrary.libaux"), "halides\nStandardLibrary\n");
}

TEST_F(EarlierDeck, RockSaltAsTheDriverWritesIt)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    Set("ZelmLogic", "Task", int32_t(2));
    ASSERT_EQ(Save(Contents(document)), S_OK) << failure;
    EXPECT_EQ(Written("rocksalt.gin"), Golden("geomopt-rocksalt.gin"));
}

TEST_F(EarlierDeck, EmptyLibraryNameWritesNoLibraryLine)
{
    WriteStandardLibrary("", HalidesLibrary());
    const auto document = AddDocument("rocksalt", *RockSalt());
    Set("ZelmLogic", "library", "");
    ASSERT_EQ(Save(Contents(document)), S_OK) << failure;
    const std::string deck = Written("rocksalt.gin");
    EXPECT_EQ(deck.find("library"), std::string::npos) << deck;
    EXPECT_NE(deck.find("Cl shell 0.500000 0.500000 0.500000 -2.485000"), std::string::npos) << deck;
}

TEST_F(EarlierDeck, LookupsWithTheState)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    const std::string core = folder.File("core") + "/";
    Set("ZelmLogic", "ZelmLibraryFolder", "libs\\");
    Set("ZelmLogic", "ZelmElementDataFile", "elements.dat");
    const auto info = RunInfo(Contents(document));
    EXPECT_EQ(info->GetLibraryName(), "halides");
    EXPECT_EQ(info->GetLibraryFolder(), core + "libs\\");
    EXPECT_EQ(info->GetElementDataFile(), core + "libs\\elements.dat");
    EXPECT_TRUE(info->IsStandardLibrary());
    // Nothing is inserted or removed where the parts meet.
    Set("ZelmLogic", "ZelmLibraryFolder", "/std");
    EXPECT_EQ(info->GetLibraryFolder(), core + "/std");
    // A library elsewhere than the installation's folder is not taken.
    std::string refusal;
    EXPECT_EQ(QzTest::CodeOf([&] { info->GetLibraryPath(); }, refusal), E_ACCESSDENIED);
    EXPECT_EQ(refusal.find("/std/ is not in the current project"), 0u) << refusal;
    Set("ZelmLogic", "ZelmLibraryFolder", "Resources\\Virakon\\ZELM\\");
    EXPECT_EQ(info->GetLibraryPath(), core + "Resources\\Virakon\\ZELM\\halides.lib");
    std::string upwards;
    for (int i = 0; i < 40; ++i)
        upwards += "../";
    Set("ZelmLogic", "library", upwards + "etc/halides");
    EXPECT_EQ(QzTest::CodeOf([&] { info->GetLibraryPath(); }), E_ACCESSDENIED);
}

TEST_F(EarlierDeck, LookupsOfADeckReadBackAndTheJobFileList)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    Set("ZelmLogic", "Task", int32_t(2));
    ASSERT_EQ(Save(Contents(document)), S_OK) << failure;
    // No state: the library named by the deck, in the default folder.
    const CZelmRunInfo info(KelvComPtr<ISBContainerRoot>(host->Root()), out + "/", "rocksalt.gin",
                            Contents(document));
    const std::string folderText = folder.File("core") + "/Resources\\Virakon\\ZELM\\";
    EXPECT_EQ(info.GetLibraryName(), "halides");
    EXPECT_EQ(info.GetLibraryFolder(), folderText);
    EXPECT_EQ(info.GetElementDataFile(), folderText);
    EXPECT_EQ(info.GetLibraryPath(), folderText + "halides.lib");
    EXPECT_NO_THROW(EXPECT_TRUE(info.CanDoPhononNonGamma())) << "the library opens through its native path";
    // The job lists the library, found through the path's native form.
    const std::vector<std::string> files = CZelm::JobFileList(out + "/", "rocksalt.gin", info.GetLibraryPath(), 2);
    ASSERT_GE(files.size(), 2u);
    EXPECT_EQ(files[1], folderText + "halides.lib");
    const std::vector<std::string> none = CZelm::JobFileList(out + "/", "rocksalt.gin", folderText + "absent.lib", 2);
    EXPECT_NE(none[1], folderText + "absent.lib");
}

TEST_F(EarlierDeck, NumberingOfAMoleculeAndOfACrystal)
{
    struct Case
    {
        const char* name;
        std::shared_ptr<HostModel::Document> model;
    };
    for (const Case& c : {Case{"molecule", Molecule()}, Case{"rocksalt", RockSalt()}}) {
        SCOPED_TRACE(c.name);
        for (const HostModel::Atom& atom : c.model->Atoms())
            c.model->SetId(atom.handle, 99);
        const auto document = AddDocument(c.name, *c.model);
        const auto scope = Contents(document);
        const auto info = RunInfo(scope);
        {
            CZelmFileWriter writer(*info, host->Root(), &host->Documents(), scope.get());
            writer.WriteJobSideFiles(out + "/", c.name);
        }
        const auto model = HostModel::DocumentOf(document.get());
        std::string parents;
        int32_t number = 0;
        std::size_t images = 0;
        for (const HostModel::Atom& atom : model->Atoms()) {
            if (atom.IsSymmetryParent()) {
                EXPECT_EQ(atom.id, ++number);
                parents += std::to_string(atom.id) + "\n";
            } else {
                EXPECT_EQ(atom.id, 99) << "an image keeps its number";
                ++images;
            }
        }
        EXPECT_EQ(images > 0, std::string(c.name) == "rocksalt");
        const std::string trjaux = Written(std::string(c.name) + ".trjaux");
        EXPECT_EQ(trjaux.substr(trjaux.size() - parents.size()), parents);
        EXPECT_TRUE(std::filesystem::exists(out + "/" + c.name + ".qsd"));
    }
}
