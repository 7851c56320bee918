// Whole decks of the five tasks written through the logic object on the
// in-memory host, compared byte for byte with decks written by hand from
// the line formats, and read back as a saved deck is.
#include "DeckHost.h"

#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsDocument.h"

#include <filesystem>

using namespace DeckTest;

namespace {

class GoldenDeck : public DeckHost
{
protected:
    void SetUp() override
    {
        DeckHost::SetUp();
        UseProjectLibrary("rocksalt", RockSaltLibrary());
        out = folder.File("out");
        std::filesystem::create_directories(out);
    }

    std::string Written(const std::string& name) const { return QzTest::ReadFile(out + "/" + name); }

    // The deck read back as a saved deck is: its task and library.
    std::pair<long, std::string> ReadBack(const std::string& deck, const KelvComPtr<ISBScope>& scope)
    {
        try {
            CZelmRunInfo info(KelvComPtr<ISBContainerRoot>(host->Root()), out + "/", deck, scope);
            return {info.GetTask(), info.GetLibraryName()};
        } catch (const KelvResult& error) {
            ADD_FAILURE() << error.GetMessage();
            return {0, ""};
        }
    }

    std::string out;
};

} // namespace

TEST_F(GoldenDeck, GeomOptOfRockSalt)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    Set("ZelmLogic", "Task", int32_t(2));
    const auto scope = Contents(document);
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    EXPECT_EQ(Written("rocksalt.gin"), Golden("geomopt-rocksalt.gin"));
    // A user library of the project: its path below the project folder.
    EXPECT_EQ(Written("selectedLibrary.libaux"), "rocksalt\nNotStandardLibrary\n/rocksalt.lib\n");
    EXPECT_FALSE(std::filesystem::exists(out + "/rocksalt.kptaux"));
    EXPECT_EQ(ReadBack("rocksalt.gin", scope), std::make_pair(2L, std::string("rocksalt")));
}

TEST_F(GoldenDeck, EnergyOfACoreShellMolecule)
{
    HostModel::Document molecule;
    molecule.AddAtom("Mg", {0.0, 0.0, 0.0});
    const HostModel::Handle oxygen = molecule.AddAtom("O", {1.9, 0.0, 0.0});
    molecule.SetFixedMask(oxygen, HostModel::FixedY);
    const auto document = AddDocument("molecule", molecule);
    UseProjectLibrary("coreshell", CoreShellLibrary());
    Set("ZelmLogic", "Task", int32_t(1));
    const auto scope = Contents(document);
    ASSERT_EQ(Save(scope, out), "molecule.gin");
    EXPECT_EQ(Written("molecule.gin"), Golden("energy-molecule.gin"));
    EXPECT_EQ(ReadBack("molecule.gin", scope), std::make_pair(1L, std::string("coreshell")));
}

TEST_F(GoldenDeck, ConstantPressureDynamics)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    Set("ZelmLogic", "Task", int32_t(3));
    Set("ZelmLogic", "ensemble", int32_t(3));
    const auto scope = Contents(document);
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    EXPECT_EQ(Written("rocksalt.gin"), Golden("dynamics-npt-rocksalt.gin"));
    EXPECT_EQ(ReadBack("rocksalt.gin", scope), std::make_pair(3L, std::string("rocksalt")));
}

TEST_F(GoldenDeck, FitOfTwoStructuresInTheOrderOfTheirFirstObservable)
{
    const auto halite = AddDocument("rocksalt", *RockSalt());
    const auto compressed = AddDocument("compressed", *RockSalt(5.5));
    const std::string haliteId = Model(halite)->Id();
    const std::string compressedId = Model(compressed)->Id();
    Set("ZelmLogic", "Task", int32_t(4));
    // Rows: an unused one of the halite, the compressed cell's bulk modulus,
    // two of the halite (the name of its last row wins), an unused one with
    // a bad kind.
    host->State("ObservableData")
        ->SetValueFromText("StructureIDArray", "[\"" + haliteId + "\", \"" + compressedId + "\", \"" + haliteId +
                                                   "\", \"" + haliteId + "\", \"" + compressedId + "\"]");
    host->State("ObservableData")
        ->SetValueFromText("StructureNameArray", "[\"rock\", \"compressed NaCl\", \"salt\", \"halite\", \"x\"]");
    host->State("ObservableData")->SetValueFromText("ObservableArray", "[2, 2, 5, 11, 99]");
    host->State("ObservableData")->SetValueFromText("FirstIndexArray", "[0, 0, 1, 1, 0]");
    host->State("ObservableData")->SetValueFromText("SecondIndexArray", "[0, 0, 0, 1, 0]");
    host->State("ObservableData")->SetValueFromText("ValueArray", "[1.0, 30.0, 164.0, 49.5, 0.0]");
    host->State("ObservableData")->SetValueFromText("UseObservable", "[false, true, true, true, false]");

    const auto scope = Contents(halite);
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    EXPECT_EQ(Written("rocksalt.gin"), Golden("fit-two-structures.gin"));
    EXPECT_EQ(ReadBack("rocksalt.gin", scope), std::make_pair(4L, std::string("rocksalt")));
}

TEST_F(GoldenDeck, SurfaceWithAttachmentLayer)
{
    HostModel::Document slab;
    slab.SetSurfaceCell({5.6402, 5.6402, 3.14159265358979323846 / 2.0});
    const HostModel::Handle na1 = slab.AddAtomAt("Na", {0.0, 0.0, 0.0});
    slab.AddAtomAt("Cl", {0.5, 0.5, 0.0});
    const HostModel::Handle na2 = slab.AddAtomAt("Na", {0.5, 0.5, -2.8201});
    slab.AddAtomAt("Cl", {0.0, 0.0, -2.8201});
    // Engine order: the attachment layer (atom 3), the other surface atom
    // (atom 1), then the rest: L = 1, R = 2, N = 4.
    slab.CreateSet("AttachmentLayer");
    slab.AddToSet("AttachmentLayer", na2);
    slab.CreateSet("SurfaceAtoms");
    slab.AddToSet("SurfaceAtoms", na1);
    slab.AddToSet("SurfaceAtoms", na2);
    const auto document = AddDocument("slab", slab);

    const KelvComPtr<ISBLogic> calculator = SurfaceCalculatorStandIn::Create();
    host->Extension(QzHost::ModuleExtensionName)->AddLogic("SurfaceCalculator", calculator);
    host->Extension(QzHost::ModuleExtensionName)->ConnectLogic("SurfaceCalculator", host->Root());
    Set("SurfaceCalculator", "CalculateAttachmentEnergy", true);
    Set("SurfaceCalculator", "CalculateSurfaceEnergy", true);
    Set("SurfaceCalculator", "BulkEnergy", -12.5);
    Set("ZelmLogic", "Task", int32_t(5));

    const auto scope = Contents(document);
    ASSERT_EQ(Save(scope, out), "slab.gin");
    EXPECT_EQ(Written("slab.gin"), Golden("surface-slab.gin"));
    EXPECT_EQ(ReadBack("slab.gin", scope), std::make_pair(5L, std::string("rocksalt")));
}

TEST_F(GoldenDeck, PhononDispersionAndDensityOfStates)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    Set("ZelmLogic", "Task", int32_t(1));
    Set("ZelmLogic", "Phonon", true);
    Set("ZelmLogic", "RequestPhonons", true);
    Set("ZelmLogic", "RequestOptics", true);
    Set("ZelmLogic", "PhononType", int32_t(3));
    const auto scope = Contents(document);
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    const std::string deck = Written("rocksalt.gin");

    EXPECT_EQ(deck.substr(0, deck.find('\n')), "grad conv conse qok nomod pres phon nodens inten nofreq broa ");
    EXPECT_NE(deck.find("\nomega 0 10 100\n\ntitle\n"), std::string::npos) << deck;
    // The dispersion and density-of-states blocks stand between the library
    // line and the output lines; "shrink" opens its line, as the analysis
    // looks for it.
    const auto library = deck.find("library rocksalt\n\ndispersion ");
    const auto shrink = deck.find("\nshrink ");
    const auto outputs = deck.find("\n\noutput arc rocksalt\noutput phonon rocksalt\noutput frc rocksalt\n"
                                   "output osc rocksalt\n");
    ASSERT_NE(library, std::string::npos) << deck;
    ASSERT_NE(shrink, std::string::npos) << deck;
    ASSERT_NE(outputs, std::string::npos) << deck;
    EXPECT_LT(library, shrink);
    EXPECT_LT(shrink, outputs);
    EXPECT_EQ(outputs + std::string("\n\noutput arc rocksalt\noutput phonon rocksalt\noutput frc rocksalt\noutput osc "
                                     "rocksalt\n")
                            .size(),
              deck.size());

    // The k-points of the path stand beside the deck, hidden from the project.
    const std::string kpoints = Written("rocksalt.kptaux");
    EXPECT_FALSE(kpoints.empty());
    VARIANT_BOOL hidden = VARIANT_FALSE;
    EXPECT_EQ(host->Disk().get_Hidden(KelvBSTR(out + "/rocksalt.kptaux").Get(), &hidden), S_OK);
    EXPECT_EQ(hidden, VARIANT_TRUE);
}

TEST_F(GoldenDeck, LibraryNotesReadBack)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    const auto scope = Contents(document);
    const KelvComPtr<ISBContainerRoot> root(host->Root());
    const auto noteOf = [&] {
        CZelmRunInfo info(root, out + "/", "rocksalt.gin", scope);
        info.ReadSelectedLibraryFile(out + "/selectedLibrary.libaux");
        return std::make_tuple(info.GetLibraryName(), info.IsStandardLibrary(), info.GetLibraryPath());
    };

    // A library of the project.
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    EXPECT_EQ(noteOf(), std::make_tuple(std::string("rocksalt"), false, Project() + "/rocksalt.lib"));

    // A library in a sub-folder of the project, named by its path.
    std::filesystem::create_directories(Project() + "/libs");
    QzTest::WriteFile(Project() + "/libs/ions.lib", RockSaltLibrary());
    Set("ZelmLogic", "library", Project() + "/libs/ions.lib");
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    EXPECT_EQ(QzTest::ReadFile(out + "/selectedLibrary.libaux"), "ions\nNotStandardLibrary\n/libs/ions.lib\n");
    EXPECT_EQ(noteOf(), std::make_tuple(std::string("ions"), false, Project() + "/libs/ions.lib"));

    // A standard library of the product.
    const std::string standardFolder = folder.File("core/Resources/Virakon/ZELM");
    std::filesystem::create_directories(standardFolder);
    QzTest::WriteFile(standardFolder + "/stdions.lib", RockSaltLibrary());
    Set("ZelmLogic", "library", "stdions");
    ASSERT_EQ(Save(scope, out), "rocksalt.gin");
    EXPECT_EQ(QzTest::ReadFile(out + "/selectedLibrary.libaux"), "stdions\nStandardLibrary\n");
    EXPECT_EQ(noteOf(), std::make_tuple(std::string("stdions"), true, standardFolder + "/stdions.lib"));
}

TEST_F(GoldenDeck, LibraryOutsideTheProjectLeavesNoNote)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    const std::string outside = folder.Write("elsewhere/ions.lib", RockSaltLibrary());
    Set("ZelmLogic", "library", outside);
    HRESULT hr = S_OK;
    EXPECT_EQ(Save(Contents(document), out, &hr), "");
    EXPECT_EQ(hr, E_UNEXPECTED);
    EXPECT_EQ(failure, outside + " is not in the current project");
    // The deck is complete; no note names half a library.
    EXPECT_NE(Written("rocksalt.gin").find("library ions\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out + "/selectedLibrary.libaux"));
}
