// Extensions, logics and their connection: the host's own logics, module
// logics created through the class registry (fakes here), contained states
// with the definitions' defaults, state files, the module manager, and the
// special interfaces of the host logics.

#include "HostTestSupport.h"

#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "host/state/HostLogics.h"

#include "kelv/KelvLogicImpl.h"

#include <cmath>

using namespace HostTest;
using namespace QzHost;

namespace {

constexpr CLSID CLSID_FakeZelmLogic = HostApi::MakeGuid("A7C3B2D1-0000-4000-8000-00000000E101");
constexpr CLSID CLSID_FailingLogic = HostApi::MakeGuid("A7C3B2D1-0000-4000-8000-00000000E102");

// What the fake module logic saw while it connected and shut down.
struct Seen {
    int connects = 0;
    int shutdowns = 0;
    bool hadRoot = false;
    std::string instance;
    std::string mpiRequested;
    std::string task;
};
Seen g_seen;

// A module logic as the module builds its own: the framework's connection
// (extension, contained state, hook), which here looks up another logic of
// the extension by name and reads its state, as the module's logic does.
class FakeZelmLogic : public CKelvLogicImpl {
public:
    FakeZelmLogic() : CKelvLogicImpl(CLSID_FakeZelmLogic) {}
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override
    {
        return ConnectLogic(extension, instanceData);
    }
    HRESULT InitialiseOnConnect() override
    {
        ++g_seen.connects;
        g_seen.hadRoot = HasContainerRoot();
        g_seen.instance = InstanceData().String();
        KelvComPtr<ISBLogic> templateLogic;
        KelvResult::Check(Extension()->Item(KelvVariant("QMJobTemplate").Get(), templateLogic.Receive()));
        KelvComPtr<ISBState> templateState;
        KelvResult::Check(templateLogic->get_State(templateState.Receive()));
        KelvVariant value;
        KelvResult::Check(templateState->GetPropertyValue(KelvBSTR("MpiRequested").Get(), value.Receive()));
        g_seen.mpiRequested = value.Bool() ? "true" : "false";
        KelvResult::Check(StateValues()->GetPropertyValue(KelvBSTR("Task").Get(), value.Receive()));
        g_seen.task = value.String();
        return S_OK;
    }
    HRESULT Shutdown() override
    {
        ++g_seen.shutdowns;
        return S_OK;
    }
};

class FailingLogic : public CKelvLogicImpl {
public:
    FailingLogic() : CKelvLogicImpl(CLSID_FailingLogic) {}
    HRESULT OnConnect(ISBExtension* extension, VARIANT instanceData) override
    {
        return ConnectLogic(extension, instanceData);
    }
    HRESULT InitialiseOnConnect() override
    {
        return Kelv::CaughtKelvResult(KelvResult(E_UNEXPECTED, "Scope utility missing"), GUID_NULL, GUID_NULL);
    }
};

KelvComPtr<ISBState> StateOfLogic(ISBLogic* logic)
{
    KelvComPtr<ISBState> state;
    EXPECT_EQ(S_OK, logic->get_State(state.Receive()));
    return state;
}

} // namespace

TEST(HostApplication, HostLogicsConnectAndModuleLogicsThatCannotBeMadeAreMissing)
{
    TempFolder folder;
    HostModel::OperationLog::Clear();
    HostApplication app(ProjectIn(folder));

    KelvComPtr<HostExtension> module = app.Extension("QorZelm.Extension");
    ASSERT_TRUE(module);
    EXPECT_EQ((std::vector<std::string>{"QMJobTemplate", "ZelmForcefieldChooser", "ZelmPreparation", "KPointSetGenerator"}),
              module->LogicNames());
    EXPECT_EQ(4u, app.MissingLogics().size());
    EXPECT_TRUE(app.ConnectionErrors().empty());
    // The module's states exist although its logics do not.
    ASSERT_TRUE(app.State("ZelmLogic"));
    EXPECT_EQ(1, app.State("ZelmLogic")->Value("Task").Long());

    // The connection sequence of a host logic: root, OnConnect, then the
    // framework asks for the contained state.
    const std::vector<std::string> log = LogOf("Extension");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ("ConnectContainerRoot(\"QorZelm.Extension\", \"QMJobTemplate\")", log[0]);
    EXPECT_EQ("OnConnect(\"QorZelm.Extension\", \"QMJobTemplate\")", log[1]);
    EXPECT_EQ("CreateContainedState(\"QorZelm.Extension\", \"QMJobTemplate\", {00000000-0000-0000-0000-000000000000})",
              log[2]);

    // The state the logic was given is the one the extension keeps.
    KelvComPtr<ISBLogic> templateLogic = app.Logic("QorZelm.Extension", "QMJobTemplate");
    KelvComPtr<ISBState> state = StateOfLogic(templateLogic.get());
    EXPECT_EQ(Identity(state.get()), Identity(static_cast<ISBState*>(app.State("QMJobTemplate").get())));
    KelvComPtr<ISBExtension> extension;
    ASSERT_EQ(S_OK, templateLogic->get_Extension(extension.Receive()));
    EXPECT_EQ(Identity(extension.get()), Identity(static_cast<ISBExtension*>(module.get())));
}

TEST(HostApplication, ModuleLogicConnectsWithDefaultsAndShutsDownOnce)
{
    TempFolder folder;
    ClassRegistration<FakeZelmLogic> registration("QorZelm.ZelmLogic", CLSID_FakeZelmLogic);
    g_seen = Seen();
    // A state file loaded before the logics connect is what they see.
    const std::string stateFile = folder.Write("states.json", R"({"ZelmLogic": {"Task": 3}})");
    HostConfiguration configuration = ProjectIn(folder);
    configuration.stateFile = stateFile;
    {
        HostApplication app(configuration);
        EXPECT_TRUE(app.ConnectionErrors().empty());
        ASSERT_TRUE(app.Logic("QorZelm.Extension", "ZelmLogic"));
        EXPECT_EQ(1, g_seen.connects);
        EXPECT_TRUE(g_seen.hadRoot);
        EXPECT_EQ("ZelmLogic", g_seen.instance);
        EXPECT_EQ("false", g_seen.mpiRequested);
        EXPECT_EQ("3", g_seen.task);
        KelvComPtr<ISBState> state = StateOfLogic(app.Logic("QorZelm.Extension", "ZelmLogic").get());
        EXPECT_EQ(Identity(state.get()), Identity(static_cast<ISBState*>(app.State("ZelmLogic").get())));

        app.Shutdown();
        EXPECT_EQ(1, g_seen.shutdowns);
        KelvComPtr<ISBDiskManager> disk;
        EXPECT_EQ(E_UNEXPECTED, app.Root()->get_DiskManager(disk.Receive()));
    }
    EXPECT_EQ(1, g_seen.shutdowns);
}

TEST(HostApplication, LogicThatFailsToConnectIsTakenOutWithItsMessage)
{
    TempFolder folder;
    ClassRegistration<FailingLogic> registration("QorZelm.SurfaceCalculator", CLSID_FailingLogic);
    HostApplication app(ProjectIn(folder));
    ASSERT_EQ(1u, app.ConnectionErrors().size());
    EXPECT_NE(std::string::npos, app.ConnectionErrors()[0].find("SurfaceCalculator"));
    EXPECT_NE(std::string::npos, app.ConnectionErrors()[0].find("Scope utility missing"));
    EXPECT_FALSE(app.Logic("QorZelm.Extension", "SurfaceCalculator"));
}

TEST(HostApplication, BadStateFilesAreRefusedClearly)
{
    TempFolder folder;
    const std::vector<std::pair<std::string, std::string>> files{
        {R"({"NoSuchLogic": {}})", "NoSuchLogic"},
        {R"({"ZelmLogic": {"Task": "two"}})", "Task"},
        {R"({"ZelmLogic": )", "not valid JSON"},
    };
    for (const auto& [content, fault] : files) {
        HostConfiguration configuration = ProjectIn(folder);
        configuration.stateFile = folder.Write("bad.json", content);
        try {
            HostApplication app(configuration);
            ADD_FAILURE() << content;
        } catch (const KelvResult& error) {
            EXPECT_NE(std::string::npos, error.GetMessage().find(fault)) << error.GetMessage();
        }
    }
}

TEST(HostApplication, StatesRoundTripThroughTheStateFile)
{
    TempFolder folder;
    const std::string file = folder / "states.json";
    {
        HostApplication app(ProjectIn(folder));
        app.State("QMJobTemplate")->SetValueFromText("JobPrefix", "Quartz run");
        app.State("ObservableData")->SetValueFromText("ValueArray", "[1.25, 3]");
        app.State("ZelmAnalysis")->SetValueFromText("FrequencyUnits", "eV");
        app.SaveStates(file);
    }
    HostConfiguration configuration = ProjectIn(folder);
    configuration.stateFile = file;
    HostApplication again(configuration);
    EXPECT_EQ("Quartz run", again.State("QMJobTemplate")->ValueText("JobPrefix"));
    EXPECT_EQ("[1.25,3.0]", again.State("ObservableData")->ValueText("ValueArray"));
    EXPECT_EQ(2, again.State("ZelmAnalysis")->Value("FrequencyUnits").Long());
}

TEST(Extension, LogicsAndExtensionsByNameAndPosition)
{
    TempFolder folder;
    HostApplication app(ProjectIn(folder));
    KelvComPtr<ISBModuleManager> modules;
    ASSERT_EQ(S_OK, app.Root()->get_ModuleManager(modules.Receive()));
    KelvComPtr<ISBExtension> restrictions;
    ASSERT_EQ(S_OK, modules->GetExtension(Text("QoRestricions.Restrictions"), restrictions.Receive()));
    KelvComPtr<ISBLogics> logics;
    ASSERT_EQ(S_OK, restrictions->get_Logics(logics.Receive()));
    KelvComPtr<ISBLogic> constraint;
    ASSERT_EQ(S_OK, logics->Item(KelvVariant("FixedAtomConstraint").Get(), constraint.Receive()));
    EXPECT_TRUE(constraint.TryQueryInterface<IQoFixedAtomRestriction>());

    KelvComPtr<ISBExtension> missing;
    EXPECT_EQ(E_INVALIDARG, modules->GetExtension(Text("QoRestrictions.Restrictions"), missing.Receive()));
    EXPECT_FALSE(missing);

    KelvComPtr<ISBExtensions> all;
    ASSERT_EQ(S_OK, app.Root()->get_Extensions(all.Receive()));
    LONG count = 0;
    all->get_Count(&count);
    EXPECT_EQ(2, count);
    KelvComPtr<ISBExtension> first;
    ASSERT_EQ(S_OK, all->Item(KelvVariant(1).Get(), first.Receive()));
    OutText name;
    first->get_Name(&name);
    EXPECT_EQ("QorZelm.Extension", name.str());
    KelvComPtr<ISBExtension> third;
    EXPECT_EQ(E_INVALIDARG, all->Item(KelvVariant(3).Get(), third.Receive()));
    EXPECT_FALSE(third);

    KelvComPtr<ISBLogic> second;
    ASSERT_EQ(S_OK, first->Item(KelvVariant(2).Get(), second.Receive()));
    EXPECT_TRUE(second.TryQueryInterface<IQoForcefieldChooser>());
    EXPECT_EQ(E_INVALIDARG, first->Item(KelvVariant(0).Get(), second.Receive()));
    EXPECT_EQ(E_INVALIDARG, first->Item(KelvVariant("ZelmLogic").Get(), second.Receive()));
}

TEST(Extension, ContainedStatesOnlyForItsOwnLogicsAndTheOrdinaryClass)
{
    TempFolder folder;
    HostApplication app(ProjectIn(folder));
    KelvComPtr<HostExtension> module = app.Extension("QorZelm.Extension");
    KelvComPtr<HostExtension> restrictions = app.Extension("QoRestricions.Restrictions");
    KelvComPtr<ISBLogic> chooser = module->FindLogic("ZelmForcefieldChooser");
    KelvComPtr<ISBState> state;
    EXPECT_EQ(E_INVALIDARG, restrictions->CreateContainedState(chooser.get(), GUID_NULL, state.Receive()));
    EXPECT_EQ(E_INVALIDARG, module->CreateContainedState(chooser.get(), IID_ISBState, state.Receive()));
    ASSERT_EQ(S_OK, module->CreateContainedState(chooser.get(), GUID_NULL, state.Receive()));
    // Handed again, not made anew.
    EXPECT_EQ(Identity(state.get()), Identity(static_cast<ISBState*>(app.State("ZelmForcefieldChooser").get())));
}

// ------------------------------------------------------ the host's logics

TEST(HostLogics, ChooserAnswersAvailabilityAndKindByExactName)
{
    TempFolder folder;
    HostConfiguration configuration = ProjectIn(folder);
    configuration.chooserForcefields = {{"dreiding", QoForcefieldByType}, {"morvane", QoForcefieldTypesBuiltIn}};
    HostApplication app(configuration);
    KelvComPtr<IQoForcefieldChooser> chooser =
        app.Logic("QorZelm.Extension", "ZelmForcefieldChooser").QueryInterface<IQoForcefieldChooser>();
    VARIANT_BOOL available = VARIANT_FALSE;
    ASSERT_EQ(S_OK, chooser->IsForcefieldAvailable(Text("dreiding"), &available));
    EXPECT_EQ(VARIANT_TRUE, available);
    ASSERT_EQ(S_OK, chooser->IsForcefieldAvailable(Text("Dreiding"), &available));
    EXPECT_EQ(VARIANT_FALSE, available);
    KelvComPtr<IQoChooserForcefield> forcefield;
    ASSERT_EQ(S_OK, chooser->GetForcefield(Text("morvane"), forcefield.Receive()));
    LONG kind = 0;
    forcefield->get_Kind(&kind);
    EXPECT_EQ(QoForcefieldTypesBuiltIn, kind);
    EXPECT_EQ(E_INVALIDARG, chooser->GetForcefield(Text("uff"), forcefield.Receive()));
    EXPECT_FALSE(forcefield);
}

TEST(HostLogics, GridSizeIsTheSmallestCountWithinTheSeparation)
{
    struct Case {
        double reciprocal, separation;
        LONG size;
    };
    for (const Case& c : {Case{0.2, 0.02, 10}, Case{0.2001, 0.02, 11}, Case{0.01, 0.02, 1}, Case{0.0, 0.02, 1},
                          Case{0.3849, 0.02, 20}, Case{0.2, 0.0, 1}}) {
        EXPECT_EQ(c.size, KPointSetGeneratorLogic::GridSize(c.reciprocal, c.separation))
            << c.reciprocal << " / " << c.separation;
    }
}

namespace {

KelvComPtr<ISBScope> ContentsOf(const std::shared_ptr<HostModel::Document>& document)
{
    KelvComPtr<ISBDocumentRoot> root = HostModel::DocumentRootFor(document);
    KelvComPtr<ISBScope> scope;
    EXPECT_EQ(S_OK, root->get_ContentsAsScope(scope.Receive()));
    return scope;
}

} // namespace

TEST(HostLogics, KPointGridFollowsTheCellOfTheScope)
{
    TempFolder folder;
    HostApplication app(ProjectIn(folder));
    KelvComPtr<IQoKPointSetGenerator> generator =
        app.Logic("QorZelm.Extension", "KPointSetGenerator").QueryInterface<IQoKPointSetGenerator>();
    ASSERT_EQ(S_OK, generator->put_Separation(0.02));
    EXPECT_EQ(E_INVALIDARG, generator->put_Separation(0.0));

    const double pi = std::acos(-1.0);
    struct Case {
        HostModel::CellParameters cell;
        LONG n1, n2, n3;
    };
    // Cubic 5 A: |b| = 0.2 -> 10. Hexagonal a = 3, c = 5: |b1| = 2 / (3 sqrt 3) -> 20, |b3| = 0.2 -> 10.
    for (const Case& c : {Case{{5, 5, 5, pi / 2, pi / 2, pi / 2}, 10, 10, 10},
                          Case{{3, 3, 5, pi / 2, pi / 2, 2 * pi / 3}, 20, 20, 10}}) {
        auto document = std::make_shared<HostModel::Document>();
        document->SetCell(c.cell);
        document->AddAtom("Si", {0, 0, 0});
        LONG n1 = 0, n2 = 0, n3 = 0;
        double o1 = -1, o2 = -1, o3 = -1;
        ASSERT_EQ(S_OK, generator->GetGrid(ContentsOf(document).get(), &n1, &n2, &n3, &o1, &o2, &o3)) << LastErrorText();
        EXPECT_EQ(c.n1, n1);
        EXPECT_EQ(c.n2, n2);
        EXPECT_EQ(c.n3, n3);
        EXPECT_EQ(0.0, o1 + o2 + o3);
    }
    // A slab u = 4, v = 5: |b1| = 0.25 -> 13, |b2| = 0.2 -> 10, one point along the normal.
    auto slab = std::make_shared<HostModel::Document>();
    slab->SetSurfaceCell({4, 5, pi / 2});
    slab->AddAtom("Si", {0, 0, 0});
    {
        LONG n1 = 0, n2 = 0, n3 = 0;
        double o1, o2, o3;
        ASSERT_EQ(S_OK, generator->GetGrid(ContentsOf(slab).get(), &n1, &n2, &n3, &o1, &o2, &o3)) << LastErrorText();
        EXPECT_EQ(13, n1);
        EXPECT_EQ(10, n2);
        EXPECT_EQ(1, n3);
    }
    // A molecule: the gamma point alone.
    auto molecule = std::make_shared<HostModel::Document>();
    molecule->AddAtom("O", {0, 0, 0});
    LONG n1 = 0, n2 = 0, n3 = 0;
    double o1, o2, o3;
    ASSERT_EQ(S_OK, generator->GetGrid(ContentsOf(molecule).get(), &n1, &n2, &n3, &o1, &o2, &o3)) << LastErrorText();
    EXPECT_EQ(1, n1 * n2 * n3);
}

TEST(HostLogics, FixedAtomRestrictsThePositionOfWhollyFixedAtomsOnly)
{
    TempFolder folder;
    HostApplication app(ProjectIn(folder));
    KelvComPtr<ISBLogic> logic = app.Logic("QoRestricions.Restrictions", "FixedAtomConstraint");
    KelvComPtr<IQoFixedAtomRestriction> restriction = logic.QueryInterface<IQoFixedAtomRestriction>();

    auto document = std::make_shared<HostModel::Document>();
    const HostModel::Handle fixed = document->AddAtom("O", {0, 0, 0});
    const HostModel::Handle partly = document->AddAtom("H", {1, 0, 0});
    const HostModel::Handle free = document->AddAtom("H", {0, 1, 0});
    document->SetFixedMask(fixed, HostModel::FixedAll);
    document->SetFixedMask(partly, HostModel::FixedZ);

    struct Case {
        HostModel::Handle atom;
        const char* property;
        VARIANT_BOOL restricted;
    };
    for (const Case& c : {Case{fixed, "FractionalXYZ", VARIANT_TRUE}, Case{fixed, "XYZ", VARIANT_TRUE},
                          Case{fixed, "Charge", VARIANT_FALSE}, Case{partly, "FractionalXYZ", VARIANT_FALSE},
                          Case{free, "FractionalXYZ", VARIANT_FALSE}}) {
        VARIANT_BOOL answer = 7;
        ASSERT_EQ(S_OK, restriction->IsPropertyRestricted(HostModel::ObjectFor(document, c.atom).get(),
                                                          Text(c.property), &answer));
        EXPECT_EQ(c.restricted, answer) << c.property;
    }
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ(E_INVALIDARG, restriction->IsPropertyRestricted(nullptr, Text("XYZ"), &answer));
}
