// The record over the whole in-memory host: periodicity through the scope
// utility the host registers, and the phonon lines from the host's own
// dispersion path generator and k-point grid.
#include "FakeRoot.h"

#include "host/HostApplication.h"
#include "host/model/Document.h"
#include "host/model/OperationLog.h"
#include "host/model/QsdFile.h"
#include "host/state/DispersionPathGenerator.h"
#include "host/state/HostLogics.h"
#include "qorqm/KPointPathFile.h"
#include "qorvira/ZelmForcefieldLocator.h"
#include "setup/ZelmRunInfo.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

HostModel::CellParameters Cubic(double a)
{
    const double right = HostModel::Radians(90);
    return {a, a, a, right, right, right};
}

class HostRecord : public testing::Test
{
protected:
    HostRecord() : folder("runinfo-host") {}

    void SetUp() override
    {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = folder.File("project");
        configuration.connectModuleLogics = false;
        try {
            app = std::make_unique<QzHost::HostApplication>(configuration);
            // The engine logic's place in the extension, holding the state
            // the host keeps for it.
            const KelvComPtr<QzHost::HostExtension> module = app->Extension("QorZelm.Extension");
            module->AddLogic("ZelmLogic", QzHost::HostLogic::Create());
            module->ConnectLogic("ZelmLogic", app->Root());
            zelm = app->State("ZelmLogic");
            jobTemplate = app->State("QMJobTemplate");
            std::ofstream(folder.File("project/MyLib.lib")) << "species\nNa core 1.0\nCl core -1.0\n";
            Set("library", folder.File("project/MyLib.lib"));
            Set("Task", int32_t(1));
            Set("Phonon", true);
            Set("RequestPhonons", true);
            Set("PhononType", int32_t(3));
        } catch (const KelvResult& error) {
            FAIL() << "host: " << error.GetMessage();
        }
    }

    void Set(const std::string& key, const KelvVariant& value) { zelm->SetValue(key, value.Get()); }

    KelvComPtr<ISBScope> ContentsOf(const HostModel::Document& model, const std::string& name)
    {
        const std::string path = app->DocumentsFolder() + "/" + name + ".qsd";
        HostModel::SaveQsd(model, path);
        KelvComPtr<ISBDocumentRoot> document = app->Documents().Open(path);
        KelvComPtr<ISBScope> contents;
        EXPECT_EQ(S_OK, document->get_ContentsAsScope(contents.Receive()));
        return contents;
    }

    KelvComPtr<ISBScope> RockSalt()
    {
        HostModel::Document model;
        model.SetCell(Cubic(5.64));
        model.SetSymmetry(HostModel::Symmetry::FromName("F m -3 m"));
        model.AddAtomAt("Na", {0, 0, 0});
        model.AddAtomAt("Cl", {0.5, 0.5, 0.5});
        return ContentsOf(model, "NaCl");
    }

    KelvComPtr<ISBScope> Molecule()
    {
        HostModel::Document model;
        model.AddAtomAt("Na", {0, 0, 0});
        model.AddAtomAt("Cl", {2.36, 0, 0});
        return ContentsOf(model, "pair");
    }

    KelvComPtr<ISBScope> Slab()
    {
        HostModel::Document model;
        model.SetSurfaceCell({5.64, 5.64, HostModel::Radians(90)});
        model.AddAtomAt("Na", {0, 0, 0});
        return ContentsOf(model, "slab");
    }

    std::unique_ptr<CZelmRunInfo> Record(const KelvComPtr<ISBScope>& scope)
    {
        root = KelvComPtr<ISBContainerRoot>(app->Root());
        locator = std::make_unique<CZelmForcefieldLocator>(KelvComPtr<ISBState>(zelm.get()), root);
        CZelmForcefieldLocator* pointer = locator.get();
        return std::make_unique<CZelmRunInfo>(root, CStateHelper(zelm.get(), zelm.get()), scope, pointer,
                                              KelvComPtr<ISBState>(jobTemplate.get()), KelvComPtr<ISBScopeManager>());
    }

    // The generator the engine logic's state holds.
    KelvComPtr<QzHost::DispersionPathGenerator> StateGenerator()
    {
        const KelvVariant value = zelm->Value("PhononDispersionKPGenerator");
        EXPECT_EQ(VT_UNKNOWN, value.Type());
        KelvComPtr<IQoDispersionPathGenerator> generator;
        EXPECT_EQ(S_OK, value.Get().punkVal->QueryInterface(IID_IQoDispersionPathGenerator, generator.ReceiveVoid()));
        auto* object = static_cast<QzHost::DispersionPathGenerator*>(generator.get());
        return KelvComPtr<QzHost::DispersionPathGenerator>(object);
    }

    TempFolder folder;
    std::unique_ptr<QzHost::HostApplication> app;
    KelvComPtr<QzHost::HostState> zelm;
    KelvComPtr<QzHost::HostState> jobTemplate;
    KelvComPtr<ISBContainerRoot> root;
    std::unique_ptr<CZelmForcefieldLocator> locator;
};

} // namespace

TEST_F(HostRecord, PeriodicOnlyInThreeDimensions)
{
    EXPECT_TRUE(Record(RockSalt())->IsPeriodic());
    // Neither a molecule nor a slab asks for a path or a grid.
    HostModel::OperationLog::Clear();
    for (const auto& scope : {Molecule(), Slab()}) {
        auto record = Record(scope);
        EXPECT_FALSE(record->IsPeriodic());
        EXPECT_EQ("", record->GetPhononOptions());
    }
    EXPECT_TRUE(HostModel::OperationLog::Find("DispersionPathGenerator").empty());
    EXPECT_TRUE(HostModel::OperationLog::Find("KPointSetGenerator").empty());
}

TEST_F(HostRecord, PhononOptionsOfACubicCrystal)
{
    HostModel::OperationLog::Clear();
    const std::string text = Record(RockSalt())->GetPhononOptions();
    // Rock salt is F-centred: the face-centred cubic path, in the reciprocal
    // basis of its conventional cell (X at (0, 1, 0)).
    EXPECT_EQ("dispersion 10\n"
              "0 0 0 to 0 1 0\n"
              "0 1 0 to 0.5 1 0\n"
              "0.5 1 0 to 0.75 0.75 0\n"
              "0.75 0.75 0 to 0 0 0\n"
              "0 0 0 to 0.5 0.5 0.5\n"
              "0.5 0.5 0.5 to 0.25 1 0.25\n"
              "0.25 1 0.25 to 0.5 1 0\n"
              "0.5 1 0 to 0.5 0.5 0.5\n"
              "0.5 0.5 0.5 to 0.75 0.75 0\n"
              "0.25 1 0.25 to 0 1 0\n"
              // 1 / 5.64 per 0.02: 8.9, so nine points along each axis.
              "shrink 9 9 9\n"
              "box density size 0.5 \n"
              "broaden_dos 0.3 \n",
              text);
    EXPECT_EQ(1u, HostModel::OperationLog::Find("DispersionPathGenerator").size());

    // Density of states alone asks no path.
    Set("PhononType", int32_t(2));
    HostModel::OperationLog::Clear();
    EXPECT_EQ("shrink 9 9 9\nbox density size 0.5 \nbroaden_dos 0.3 \n", Record(RockSalt())->GetPhononOptions());
    EXPECT_TRUE(HostModel::OperationLog::Find("DispersionPathGenerator").empty());
}

TEST_F(HostRecord, ConfiguredPathOfTheStatesGenerator)
{
    StateGenerator()->SetPath(
        {{{0, 0, 0, "G"}, {0.5, 0, 0, "X"}}, {{0, 0.5, 0, "Y"}, {0, 0, 0, "G"}, {0, 0, 0.5, "Z"}}});
    Set("PhononType", int32_t(1));
    EXPECT_EQ("dispersion 3\n"
              "0 0 0 to 0.5 0 0\n"
              "0 0.5 0 to 0 0 0\n"
              "0 0 0 to 0 0 0.5\n",
              Record(RockSalt())->GetPhononOptions());
}

TEST_F(HostRecord, KPointFileReadsBackWithLabelsAndKinds)
{
    std::ofstream out(folder.File("NaCl.kptaux"));
    Record(RockSalt())->WriteKPointFile(out);
    out.close();
    std::vector<LONG> numbers;
    std::vector<std::string> labels;
    std::vector<SegmentBoundaryTypeEnum> kinds;
    KPointParseUtilities::ReadPathInfo(folder.File("NaCl.disp"), numbers, labels, kinds);
    EXPECT_EQ((std::vector<LONG>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}), numbers);
    EXPECT_EQ((std::vector<std::string>{"Gamma", "X", "W", "K", "Gamma", "L", "U", "W", "L", "K", "U", "X"}), labels);
    const std::vector<SegmentBoundaryTypeEnum> expected{
        SegmentBoundaryStart, SegmentBoundaryJoint, SegmentBoundaryJoint, SegmentBoundaryJoint,
        SegmentBoundaryJoint, SegmentBoundaryJoint, SegmentBoundaryJoint, SegmentBoundaryJoint,
        SegmentBoundaryJoint, SegmentBoundaryEnd,   SegmentBoundaryStart, SegmentBoundaryEnd};
    EXPECT_EQ(expected, kinds);
}
