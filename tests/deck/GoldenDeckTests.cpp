// Whole decks of the five tasks written through the logic object on the
// in-memory host, compared byte for byte with decks written by hand from
// the line formats, and read back as a saved deck is.
#include "DeckHost.h"

#include "setup/ZelmRunInfo.h"

#include "appfw/AppUtilsDocument.h"

#include <cmath>
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

TEST_F(GoldenDeck, LibraryOutsideTheProjectWritesNothing)
{
    const auto document = AddDocument("rocksalt", *RockSalt());
    const std::string outside = folder.Write("elsewhere/ions.lib", RockSaltLibrary());
    Set("ZelmLogic", "library", outside);
    HRESULT hr = S_OK;
    EXPECT_EQ(Save(Contents(document), out, &hr), "");
    EXPECT_EQ(hr, E_ACCESSDENIED);
    EXPECT_EQ(failure, outside + " is not in the current project");
    // Refused before the library is read: no deck, no note.
    EXPECT_FALSE(std::filesystem::exists(out + "/rocksalt.gin"));
    EXPECT_FALSE(std::filesystem::exists(out + "/selectedLibrary.libaux"));
}

// For the typed libraries only, each bond of the structure becomes a
// "connect" line after the symmetry lines: plain in a molecule, with the
// offset of the neighbouring cell in a crystal when the bond crosses the
// cell's face. Any other library, or the same name in other letters, has no
// connectivity section.
TEST_F(GoldenDeck, ConnectivityOfTheTypedLibraries)
{
    HostModel::Document molecule;
    const HostModel::Handle carbon = molecule.AddAtom("C", {0.0, 0.0, 0.0});
    molecule.AddBond(carbon, molecule.AddAtom("H", {1.09, 0.0, 0.0}));
    molecule.AddBond(molecule.AddAtom("H", {-1.09, 0.0, 0.0}), carbon);
    HostModel::Document crystal;
    crystal.SetCell(HostModel::CellParameters{4.0, 4.0, 4.0, M_PI / 2, M_PI / 2, M_PI / 2});
    const HostModel::Handle left = crystal.AddAtomAt("C", {0.1, 0.5, 0.5});
    crystal.AddBond(left, crystal.AddAtomAt("H", {0.9, 0.5, 0.5}));
    const auto moleculeDocument = AddDocument("molecule", molecule);
    const auto crystalDocument = AddDocument("crystal", crystal);
    Set("ZelmLogic", "Task", int32_t(1));

    const struct {
        const char* library;
        const KelvComPtr<ISBDocumentRoot>& document;
        const char* connectivity;
    } cases[] = {
        {"dreiding", moleculeDocument, "connect 1 2\nconnect 1 3\n\n"},
        {"uff", moleculeDocument, "connect 1 2\nconnect 1 3\n\n"},
        {"dreiding", crystalDocument, "connect 1 2 -1 0 0\n\n"},
        {"uff", crystalDocument, "connect 1 2 -1 0 0\n\n"},
        {"Dreiding", moleculeDocument, ""},
        {"hydrocarbon", crystalDocument, ""},
    };
    for (const auto& c : cases) {
        UseProjectLibrary(c.library, "species\nC core 0.0\nH core 0.0\n");
        const std::string deck = Written(Save(Contents(c.document), out));
        // Between the end of the species block (and the operators of a
        // crystal without a space group) and the library line.
        const std::size_t species = deck.find("Species\n");
        const std::size_t library = deck.find("library " + std::string(c.library) + "\n");
        ASSERT_NE(species, std::string::npos) << deck;
        ASSERT_NE(library, std::string::npos) << deck;
        const std::size_t blockEnd = deck.find("\n\n", species) + 2;
        std::string section = deck.substr(blockEnd, library - blockEnd);
        // A crystal's symmetry lines come first.
        const std::size_t operators = section.find("spacegroup");
        if (operators != std::string::npos)
            section = section.substr(section.find("\n\n", operators) + 2);
        EXPECT_EQ(section, c.connectivity) << c.library << "\n" << deck;
    }
}

// The surface deck at its edges: a slab whose atoms are all surface atoms
// (region 1 only), a slab without atoms, and a run that asks for neither
// the attachment energy nor the surface energy (no " %", no "sbulkenergy").
TEST_F(GoldenDeck, SurfaceDeckEdges)
{
    const auto slab = [](bool atoms, bool allSurface) {
        HostModel::Document model;
        model.SetSurfaceCell({5.6402, 5.6402, 3.14159265358979323846 / 2.0});
        if (!atoms)
            return model;
        const HostModel::Handle na1 = model.AddAtomAt("Na", {0.0, 0.0, 0.0});
        const HostModel::Handle cl1 = model.AddAtomAt("Cl", {0.5, 0.5, 0.0});
        const HostModel::Handle na2 = model.AddAtomAt("Na", {0.5, 0.5, -2.8201});
        const HostModel::Handle cl2 = model.AddAtomAt("Cl", {0.0, 0.0, -2.8201});
        model.CreateSet("AttachmentLayer");
        model.AddToSet("AttachmentLayer", na2);
        model.CreateSet("SurfaceAtoms");
        for (const HostModel::Handle atom : allSurface ? std::vector<HostModel::Handle>{na1, cl1, na2, cl2}
                                                       : std::vector<HostModel::Handle>{na1, na2})
            model.AddToSet("SurfaceAtoms", atom);
        return model;
    };
    const KelvComPtr<ISBLogic> calculator = SurfaceCalculatorStandIn::Create();
    host->Extension(QzHost::ModuleExtensionName)->AddLogic("SurfaceCalculator", calculator);
    host->Extension(QzHost::ModuleExtensionName)->ConnectLogic("SurfaceCalculator", host->Root());
    Set("SurfaceCalculator", "BulkEnergy", -12.5);
    Set("ZelmLogic", "Task", int32_t(5));

    const struct {
        const char* what;
        HostModel::Document model;
        bool energies;
        const char* body;
    } cases[] = {
        {"every atom in region 1", slab(true, true), true,
         "sfractional region 1\n"
         "Na1 core 0.500000 0.500000 -2.820100 1.000000 1.000000 0.0 1 1 1 %\n"
         "Na1 core 0.000000 0.000000 0.000000 1.000000 1.000000 0.0 1 1 1\n"
         "Cl1 core 0.500000 0.500000 0.000000 -1.000000 1.000000 0.0 1 1 1\n"
         "Cl1 core 0.000000 0.000000 -2.820100 -1.000000 1.000000 0.0 1 1 1\n"
         "\nSpecies\nCl1 core Cl\nNa1 core Na\n\nsbulkenergy -12.500000\n\n"},
        {"attachment and surface energy off", slab(true, false), false,
         "sfractional region 1\n"
         "Na1 core 0.500000 0.500000 -2.820100 1.000000 1.000000 0.0 1 1 1\n"
         "Na1 core 0.000000 0.000000 0.000000 1.000000 1.000000 0.0 1 1 1\n"
         "sfractional region 2\n"
         "Cl1 core 0.500000 0.500000 0.000000 -1.000000 1.000000 0.0 1 1 1\n"
         "Cl1 core 0.000000 0.000000 -2.820100 -1.000000 1.000000 0.0 1 1 1\n"
         "\nSpecies\nCl1 core Cl\nNa1 core Na\n\n"},
    };
    int number = 0;
    for (const auto& c : cases) {
        Set("SurfaceCalculator", "CalculateAttachmentEnergy", c.energies);
        Set("SurfaceCalculator", "CalculateSurfaceEnergy", c.energies);
        const std::string name = "slab" + std::to_string(++number);
        const auto document = AddDocument(name, c.model);
        const std::string deck = Written(Save(Contents(document), out));
        const std::size_t begin = deck.find("sfractional region 1\n");
        const std::size_t end = deck.find("library rocksalt\n");
        ASSERT_NE(begin, std::string::npos) << c.what << "\n" << failure;
        ASSERT_NE(end, std::string::npos) << c.what << "\n" << deck;
        EXPECT_EQ(deck.substr(begin, end - begin), c.body) << c.what;
        EXPECT_EQ(deck.substr(end), "library rocksalt\n\n\noutput movie arc " + name + "\n") << c.what;
    }
}
