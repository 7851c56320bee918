// The engine stand-in's phonon outputs read back through the module's
// readers: what a deck asks for, and files the readers take whole.
#include "StubPhonons.h"

#include "readers/OutputFileReader.h"
#include "readers/PhononFileReader.h"

#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using namespace ZelmStub;

const char* const Gin = "grad conv phon nodens inten nofreq broa \n"
                        "title\nrock salt\nend\n"
                        "fractional\n"
                        "Na1 core 0.0 0.0 0.0 1.000000 1.0 0.0 1 1 1\n"
                        "Cl1 core 0.5 0.5 0.5 -1.000000 1.0 0.0 1 1 1\n"
                        "Species\nNa1 core Na\n"
                        "dispersion 2\n"
                        "0 0 0 to 0.5 0 0\n"
                        "0.5 0 0 to 0.5 0.5 0\n"
                        "shrink 2 3 4\n";

const char* const KPointPath = "KPOINT_PATH 3\n"
                               "1 0 0 0 2 G\n"
                               "2 0.5 0 0 4 X\n"
                               "3 0.5 0.5 0 3 M\n"
                               "END_KPOINT_PATH\n";

Deck RockSalt()
{
    Deck deck;
    deck.seed = "nacl";
    deck.dimension = Dimension::Bulk3D;
    deck.cell = {5.64, 5.64, 5.64, 90, 90, 90};
    for (const char* element : {"Na", "Cl"}) {
        StubAtom atom;
        atom.label = std::string(element) + "1";
        atom.element = element;
        deck.atoms.push_back(atom);
    }
    return deck;
}

TEST(StubPhonons, OutputsReadBackThroughTheReaders)
{
    QzTest::TempFolder folder("stub-phonons");
    QzTest::WriteFile(folder.File("nacl.gin"), Gin);
    QzTest::WriteFile(folder.File("nacl.kptaux"), KPointPath);
    const PhononRequest request = ReadPhononRequest(folder.Path(), "nacl");
    EXPECT_TRUE(request.phonons);
    EXPECT_TRUE(request.intensities);
    EXPECT_TRUE(request.dos);
    EXPECT_EQ((std::array<int, 3>{2, 3, 4}), request.mesh);
    ASSERT_EQ(2u, request.segments.size());
    EXPECT_EQ(1.0, request.charges.at("Na"));
    EXPECT_EQ(-1.0, request.charges.at("Cl"));

    const Deck deck = RockSalt();
    const std::string output = "  Dimensionality 3 : Bulk\n\n" + PhononOutputText(deck, request);
    EXPECT_NE(std::string::npos, output.find("Frequency dependent properties :"));
    QzTest::WriteFile(folder.File("nacl.gout"), output);
    WritePhononFiles(folder.Path(), deck, request);

    const COutputFileReader reader(folder.File("nacl.gout"));
    EXPECT_EQ(6u, reader.GetModeFrequencies().size());
    std::string message;
    EXPECT_TRUE(reader.CheckOscillatorStrengths("nacl", message)) << message;
    EXPECT_EQ(2.25, reader.GetHighFrequencyDielectricTensor()(2, 2));
    const std::vector<double> densities = reader.GetDosValues();
    ASSERT_FALSE(densities.empty());
    EXPECT_NEAR(1.0, std::accumulate(densities.begin(), densities.end(), 0.0), 1e-5); // six decimals a value

    CZelmPhononData data(folder.File("nacl"));
    CPhononFileReader().Read(data.resultsPath, data);
    ASSERT_EQ(2u * PointsPerSegment, data.kPoints.size());
    EXPECT_EQ(6, data.numberOfModes);
    EXPECT_EQ(SegmentBoundaryJoint, data.boundaryTypes[PointsPerSegment - 1]);
    EXPECT_EQ(SegmentBoundaryJoint, data.boundaryTypes[PointsPerSegment]);
    EXPECT_EQ("X", data.labels[PointsPerSegment]);
    EXPECT_EQ("M", data.labels.back());
    EXPECT_NEAR(1.0 / 5.64, data.reciprocalLattice(1, 1), 1e-9);
    // The model: nothing at the zone centre for the acoustic modes.
    EXPECT_EQ(0.0, data.frequencies[0][0]);
    EXPECT_GT(data.frequencies[PointsPerSegment][0], 0.0);
}

TEST(StubPhonons, WhatTheDeckDoesNotAskForIsNotWritten)
{
    QzTest::TempFolder folder("stub-phonons");
    QzTest::WriteFile(folder.File("nacl.gin"), "grad conv phon \ndispersion 1\n0 0 0 to 0.5 0 0\n");
    const PhononRequest request = ReadPhononRequest(folder.Path(), "nacl");
    WritePhononFiles(folder.Path(), RockSalt(), request);
    EXPECT_TRUE(std::filesystem::exists(folder.File("nacl.disp")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("nacl.osc")));
    EXPECT_FALSE(std::filesystem::exists(folder.File("nacl.dens")));
    EXPECT_EQ(std::string::npos, PhononOutputText(RockSalt(), request).find("Frequency dependent"));

    for (const char* bad : {"grad phon\ndispersion 2\n0 0 0 to 0.5 0 0\n", "grad phon\ndispersion 1\n0 0 0 0.5 0 0\n"}) {
        QzTest::WriteFile(folder.File("bad.gin"), bad);
        EXPECT_THROW(ReadPhononRequest(folder.Path(), "bad"), DeckError) << bad;
    }
}

} // namespace
