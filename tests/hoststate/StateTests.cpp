// State definitions and state objects: every key of the definitions file
// reads its default with its declared type, values convert to their
// declared types (or are refused, leaving the value as it was), arrays
// round-trip, enums keep number and text together.

#include "HostTestSupport.h"

#include "host/charts/PhononDispersionGenerator.h"
#include "host/state/DispersionPathGenerator.h"
#include "host/state/HostState.h"
#include "host/state/StateDefinitions.h"
#include "host/state/StateValues.h"

using namespace HostTest;
using namespace QzHost;

namespace {

const StateDefinitions& Defaults()
{
    static const StateDefinitions definitions = StateDefinitions::Load(DefaultStateDefinitionsPath());
    return definitions;
}

KelvComPtr<HostState> StateOf(const std::string& logic)
{
    const LogicStateDefinition* definition = Defaults().Find(logic);
    EXPECT_NE(nullptr, definition) << logic;
    return HostState::Create(*definition);
}

KelvVariant Get(ISBState* state, const std::string& name)
{
    KelvVariant value;
    EXPECT_EQ(S_OK, state->GetPropertyValue(Text(name), value.Receive())) << name;
    return value;
}

KelvVariant LongArray(const std::vector<int32_t>& values)
{
    std::vector<KelvVariant> elements(values.begin(), values.end());
    return MakeArray(VT_I4, elements);
}

} // namespace

// The keys the module reads, with the kind and type it reads them as. A key
// missing from the definitions file, or declared with another type, breaks
// the module's reads at run time.
struct ExpectedKey {
    const char* logic;
    const char* extension;
    const char* key;
    SBStatePropertyKind kind;
    VARTYPE type;
};

void PrintTo(const ExpectedKey& key, std::ostream* out)
{
    *out << key.logic << "." << key.key;
}

class DefinedKeys : public ::testing::TestWithParam<ExpectedKey> {};

TEST_P(DefinedKeys, AreDeclaredWithTheTypeTheModuleReads)
{
    const ExpectedKey& expected = GetParam();
    const LogicStateDefinition* logic = Defaults().Find(expected.logic);
    ASSERT_NE(nullptr, logic);
    EXPECT_EQ(expected.extension, logic->extension);
    const StatePropertyDefinition* property = logic->Find(expected.key);
    ASSERT_NE(nullptr, property) << expected.logic << " " << expected.key;
    EXPECT_EQ(expected.kind, property->kind);
    EXPECT_EQ(expected.type, property->type);
}

constexpr const char* Z = "QorZelm.Extension";
INSTANTIATE_TEST_SUITE_P(
    ModuleReads, DefinedKeys,
    ::testing::Values(
        ExpectedKey{"ZelmLogic", Z, "Task", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmLogic", Z, "conp", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "conv", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "geometry_opt_pressure", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "ensemble", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmLogic", Z, "ensemble_thermostat", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "ensemble_barostat", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "ensemble_temperature", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "dynamics_pressure", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "equilibration", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "timestep", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "number_of_steps", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmLogic", Z, "write", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmLogic", Z, "sample", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmLogic", Z, "RelaxedFit", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "Phonon", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "PhononType", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmLogic", Z, "RequestPhonons", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "RequestOptics", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "InitialFrequency", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "FinalFrequency", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "FrequencyStep", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmLogic", Z, "Lattice_properties", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "Potentials", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "Electric_field_gradient", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"ZelmLogic", Z, "ChargeOption", SBStatePropertyScalar, VT_BSTR},
        ExpectedKey{"ZelmLogic", Z, "PhononDispersionKPGenerator", SBStatePropertyCoClass, VT_UNKNOWN},
        ExpectedKey{"ZelmLogic", Z, "library", SBStatePropertyScalar, VT_BSTR},
        ExpectedKey{"ZelmLogic", Z, "ZelmLibraryFolder", SBStatePropertyScalar, VT_BSTR},
        ExpectedKey{"ZelmLogic", Z, "ZelmElementDataFile", SBStatePropertyScalar, VT_BSTR},
        ExpectedKey{"QMJobTemplate", Z, "MpiRequested", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"QMJobTemplate", Z, "LiveUpdateInterval", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"QMJobTemplate", Z, "LiveUpdateModel", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"QMJobTemplate", Z, "LiveUpdateGraphs", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"QMJobTemplate", Z, "LiveUpdateText", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"QMJobTemplate", Z, "AutomateJobPrefix", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"QMJobTemplate", Z, "JobPrefix", SBStatePropertyScalar, VT_BSTR},
        ExpectedKey{"ZelmForcefieldChooser", Z, "CurrentForcefield", SBStatePropertyScalar, VT_BSTR},
        ExpectedKey{"ZelmPreparation", Z, "AssignForcefieldTypes", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"SurfaceCalculator", Z, "CalculateAttachmentEnergy", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"SurfaceCalculator", Z, "CalculateSurfaceEnergy", SBStatePropertyScalar, VT_BOOL},
        ExpectedKey{"SurfaceCalculator", Z, "BulkEnergy", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ObservableData", Z, "StructureIDArray", SBStatePropertyArray, VT_BSTR},
        ExpectedKey{"ObservableData", Z, "StructureNameArray", SBStatePropertyArray, VT_BSTR},
        ExpectedKey{"ObservableData", Z, "ObservableArray", SBStatePropertyArray, VT_I4},
        ExpectedKey{"ObservableData", Z, "FirstIndexArray", SBStatePropertyArray, VT_I4},
        ExpectedKey{"ObservableData", Z, "SecondIndexArray", SBStatePropertyArray, VT_I4},
        ExpectedKey{"ObservableData", Z, "ValueArray", SBStatePropertyArray, VT_R8},
        ExpectedKey{"ObservableData", Z, "UseObservable", SBStatePropertyArray, VT_BOOL},
        ExpectedKey{"ZelmAnalysis", Z, "OpticalFunction", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmAnalysis", Z, "SampleType", SBStatePropertyScalar, VT_I4},
        ExpectedKey{"ZelmAnalysis", Z, "incoming_x", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "incoming_y", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "incoming_z", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "outgoing_x", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "outgoing_y", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "outgoing_z", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "InitialFrequency", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "FinalFrequency", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "OpticalDamping", SBStatePropertyScalar, VT_R8},
        ExpectedKey{"ZelmAnalysis", Z, "FrequencyUnits", SBStatePropertyEnum, VT_I4},
        ExpectedKey{"ZelmAnalysis", Z, "PhononDispersionGenerator", SBStatePropertyCoClass, VT_UNKNOWN}));

TEST(StateDefinitions, HostLogicsWithoutKeysAreDefinedInTheirExtensions)
{
    ASSERT_NE(nullptr, Defaults().Find("KPointSetGenerator"));
    EXPECT_EQ("QorZelm.Extension", Defaults().Find("KPointSetGenerator")->extension);
    ASSERT_NE(nullptr, Defaults().Find("FixedAtomConstraint"));
    EXPECT_EQ("QoRestricions.Restrictions", Defaults().Find("FixedAtomConstraint")->extension);
}

TEST(StateDefinitions, EveryKeyReadsItsDefaultWithItsType)
{
    // Co-class defaults named by ProgID are made when their class exists.
    ASSERT_TRUE(SUCCEEDED(DispersionPathGenerator::RegisterClass()));
    ASSERT_TRUE(SUCCEEDED(HostCharts::PhononDispersionGenerator::RegisterClass()));
    int checked = 0;
    for (const LogicStateDefinition& logic : Defaults().Logics()) {
        KelvComPtr<HostState> state = HostState::Create(logic);
        for (const StatePropertyDefinition& property : logic.properties) {
            SCOPED_TRACE(logic.logic + " " + property.name);
            const KelvVariant value = Get(state.get(), property.name);
            LONG kind = -1;
            ASSERT_EQ(S_OK, state->GetPropertyKind(Text(property.name), &kind));
            EXPECT_EQ(property.kind, kind);
            switch (property.kind) {
            case SBStatePropertyScalar:
                ASSERT_EQ(property.type, value.Type());
                if (property.type == VT_BSTR)
                    EXPECT_EQ(property.defaultValue.String(), value.String());
                else
                    EXPECT_DOUBLE_EQ(property.defaultValue.Double(), value.Double());
                break;
            case SBStatePropertyArray:
                ASSERT_EQ(VT_ARRAY | property.type, value.Type());
                EXPECT_EQ(ArrayToJson(property.defaultValue.Get()), ArrayToJson(value.Get()));
                break;
            case SBStatePropertyEnum: {
                ASSERT_EQ(VT_I4, value.Type());
                OutText text;
                ASSERT_EQ(S_OK, state->GetPropertyEnumText(Text(property.name), &text));
                ASSERT_NE(nullptr, property.FindEnumValue(value.Long()));
                EXPECT_EQ(property.FindEnumValue(value.Long())->text, text.str());
                break;
            }
            case SBStatePropertyCoClass:
                if (property.coClassProgId.empty()) {
                    EXPECT_EQ(VT_EMPTY, value.Type());
                } else {
                    ASSERT_EQ(VT_UNKNOWN, value.Type());
                    EXPECT_NE(nullptr, value.Get().punkVal);
                }
                break;
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 62);
}

TEST(StateDefinitions, ChosenDefaultsTheModuleDependsOn)
{
    // The enum's default text, the library folder the earlier build joins
    // to the core folder, and "Use current" as the charge option.
    KelvComPtr<HostState> analysis = StateOf("ZelmAnalysis");
    EXPECT_EQ("cm-1", analysis->EnumText("FrequencyUnits"));
    KelvComPtr<HostState> logic = StateOf("ZelmLogic");
    EXPECT_EQ("Resources/Virakon/ZELM/", logic->Value("ZelmLibraryFolder").String());
    EXPECT_EQ("Use current", logic->Value("ChargeOption").String());
    // The dispersion path comes from the host's generator unless the user sets another.
    EXPECT_EQ(std::string(DispersionPathGeneratorProgId),
              Defaults().Find("ZelmLogic")->Find("PhononDispersionKPGenerator")->coClassProgId);
    EXPECT_EQ(1, logic->Value("Task").Long());
}

struct BadDefinitions {
    const char* text;
    const char* fault;
};

void PrintTo(const BadDefinitions& bad, std::ostream* out)
{
    *out << bad.fault;
}

class MalformedDefinitions : public ::testing::TestWithParam<BadDefinitions> {};

TEST_P(MalformedDefinitions, AreRefusedWithTheFault)
{
    try {
        StateDefinitions::Parse(GetParam().text, "test");
        FAIL() << "accepted: " << GetParam().text;
    } catch (const KelvResult& error) {
        EXPECT_EQ(E_FAIL, error.GetHRESULT());
        EXPECT_NE(std::string::npos, error.GetMessage().find(GetParam().fault)) << error.GetMessage();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MalformedDefinitions,
    ::testing::Values(
        BadDefinitions{"{", "not valid JSON"},
        BadDefinitions{"[]", "\"logics\" list"},
        BadDefinitions{R"({"logics":[{"logic":"A"}]})", "\"extension\""},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E"},{"logic":"A","extension":"E"}]})", "defined twice"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"long"}]}]})",
                       "needs a default"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"long","default":"1"}]}]})",
                       "whole number"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"long","default":4294967296}]}]})",
                       "32-bit"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"bool","default":1}]}]})",
                       "true or false"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"array","element":"map"}]}]})",
                       "\"element\""},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"array","element":"double","default":[1,"a"]}]}]})",
                       "[1]"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"enum","values":[{"value":1,"text":"a"}],"default":"b"}]}]})",
                       "not one of the enum's values"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"long","default":3,"values":[{"value":1,"text":"a"}]}]}]})",
                       "the default is not one of its values"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"double","default":1,"values":[{"text":"a"}]}]}]})",
                       "for a long or string property"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"string","default":"a","values":[{"text":"a"},{"text":"a"}]}]}]})",
                       "distinct"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"enum","values":[{"value":1,"text":"a"},{"value":1,"text":"b"}]}]}]})",
                       "distinct"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"coclass","default":1}]}]})",
                       "no default value"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"text","default":""}]}]})",
                       "unknown type"},
        BadDefinitions{R"({"logics":[{"logic":"A","extension":"E","properties":[{"name":"x","type":"long","default":1},{"name":"x","type":"long","default":2}]}]})",
                       "defined twice"}));

TEST(StateDefinitions, MissingFileNamesThePath)
{
    try {
        StateDefinitions::Load("/nonexistent/definitions.json");
        FAIL();
    } catch (const KelvResult& error) {
        EXPECT_NE(std::string::npos, error.GetMessage().find("/nonexistent/definitions.json"));
    }
}

// ---------------------------------------------------------------- arrays

TEST(HostState, ArraysOfEveryElementTypeRoundTrip)
{
    KelvComPtr<HostState> state = StateOf("ObservableData");
    const std::vector<std::pair<std::string, KelvVariant>> arrays{
        {"StructureIDArray", MakeArray(VT_BSTR, {KelvVariant("{A}"), KelvVariant(""), KelvVariant("\xC5ngstr\xF6m")})},
        {"ObservableArray", LongArray({2, 5, -7, 2147483647})},
        {"ValueArray", MakeArray(VT_R8, {KelvVariant(270.5), KelvVariant(-1e-300), KelvVariant(0.0)})},
        {"UseObservable", MakeArray(VT_BOOL, {KelvVariant(true), KelvVariant(false), KelvVariant(true)})},
    };
    for (const auto& [name, array] : arrays) {
        SCOPED_TRACE(name);
        ASSERT_EQ(S_OK, state->SetPropertyValue(Text(name), array.Get()));
        const KelvVariant back = Get(state.get(), name);
        ASSERT_EQ(array.Type(), back.Type());
        const std::vector<KelvVariant> sent = ArrayElements(array.Get().parray);
        const std::vector<KelvVariant> read = ArrayElements(back.Get().parray);
        ASSERT_EQ(sent.size(), read.size());
        for (std::size_t i = 0; i < sent.size(); ++i)
            EXPECT_EQ(sent[i].String(), read[i].String()) << i;
        // A copy, not the caller's array.
        EXPECT_NE(array.Get().parray, back.Get().parray);
    }
}

TEST(HostState, ArrayKeepsItsLowerBound)
{
    KelvComPtr<HostState> state = StateOf("ObservableData");
    SAFEARRAY* array = SafeArrayCreateVector(VT_I4, 1, 2);
    ASSERT_NE(nullptr, array);
    LONG index = 1, value = 11;
    SafeArrayPutElement(array, &index, &value);
    index = 2, value = 12;
    SafeArrayPutElement(array, &index, &value);
    KelvVariant given;
    given.Receive()->vt = VT_ARRAY | VT_I4;
    given.Ptr()->parray = array;
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("FirstIndexArray"), given.Get()));
    const KelvVariant back = Get(state.get(), "FirstIndexArray");
    LONG lower = 0;
    SafeArrayGetLBound(back.Get().parray, 1, &lower);
    EXPECT_EQ(1, lower);
    index = 2;
    SafeArrayGetElement(back.Get().parray, &index, &value);
    EXPECT_EQ(12, value);
}

TEST(HostState, VariantAndNumberArraysConvertToTheDeclaredElementType)
{
    KelvComPtr<HostState> state = StateOf("ObservableData");
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("ValueArray"), LongArray({1, 2}).Get()));
    KelvVariant values = Get(state.get(), "ValueArray");
    ASSERT_EQ(VT_ARRAY | VT_R8, values.Type());
    EXPECT_DOUBLE_EQ(2.0, ArrayElements(values.Get().parray)[1].Double());

    const KelvVariant mixed = MakeArray(VT_VARIANT, {KelvVariant("3"), KelvVariant(4.0)});
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("ObservableArray"), mixed.Get()));
    EXPECT_EQ("[3,4]", state->ValueText("ObservableArray"));
}

TEST(HostState, RefusedArraysLeaveTheValueAsItWas)
{
    KelvComPtr<HostState> state = StateOf("ObservableData");
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("ObservableArray"), LongArray({7}).Get()));

    const KelvVariant words = MakeArray(VT_BSTR, {KelvVariant("seven")});
    EXPECT_EQ(DISP_E_TYPEMISMATCH, state->SetPropertyValue(Text("ObservableArray"), words.Get()));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, state->SetPropertyValue(Text("ObservableArray"), KelvVariant(7).Get()));
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    KelvVariant square;
    square.Receive()->vt = VT_ARRAY | VT_I4;
    square.Ptr()->parray = SafeArrayCreate(VT_I4, 2, bounds);
    EXPECT_EQ(DISP_E_TYPEMISMATCH, state->SetPropertyValue(Text("ObservableArray"), square.Get()));
    EXPECT_EQ("[7]", state->ValueText("ObservableArray"));
}

// --------------------------------------------------------------- scalars

struct ScalarCase {
    const char* logic;
    const char* key;
    KelvVariant given;
    HRESULT result;
    const char* stored; // the value as text afterwards
};

void PrintTo(const ScalarCase& c, std::ostream* out)
{
    *out << c.logic << "." << c.key << " = " << c.given.String();
}

class ScalarConversion : public ::testing::TestWithParam<ScalarCase> {};

TEST_P(ScalarConversion, StoresTheDeclaredTypeOrRefuses)
{
    const ScalarCase& c = GetParam();
    KelvComPtr<HostState> state = StateOf(c.logic);
    EXPECT_EQ(c.result, state->SetPropertyValue(Text(c.key), c.given.Get()));
    if (!state->Definition().Find(c.key))
        return;
    EXPECT_EQ(c.stored, state->ValueText(c.key));
    if (SUCCEEDED(c.result)) {
        EXPECT_EQ(state->Definition().Find(c.key)->type, Get(state.get(), c.key).Type());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ScalarConversion,
    ::testing::Values(ScalarCase{"ZelmLogic", "Task", KelvVariant("3"), S_OK, "3"},
                      ScalarCase{"ZelmLogic", "Task", KelvVariant(2.0), S_OK, "2"},
                      ScalarCase{"ZelmLogic", "Task", KelvVariant("three"), DISP_E_TYPEMISMATCH, "1"},
                      ScalarCase{"ZelmLogic", "conp", KelvVariant("true"), S_OK, "true"},
                      ScalarCase{"ZelmLogic", "conp", KelvVariant(1), S_OK, "true"},
                      ScalarCase{"ZelmLogic", "conp", KelvVariant("maybe"), DISP_E_TYPEMISMATCH, "false"},
                      ScalarCase{"ZelmLogic", "timestep", KelvVariant("0.5"), S_OK, "0.5"},
                      ScalarCase{"ZelmLogic", "library", KelvVariant(5), S_OK, "5"},
                      ScalarCase{"ZelmLogic", "NoSuchKey", KelvVariant(5), E_INVALIDARG, ""},
                      // Settings that take a list of values refuse any other.
                      ScalarCase{"ZelmLogic", "Task", KelvVariant(42), E_INVALIDARG, "1"},
                      ScalarCase{"ZelmLogic", "Task", KelvVariant(0), E_INVALIDARG, "1"},
                      ScalarCase{"ZelmLogic", "ensemble", KelvVariant(7), E_INVALIDARG, "1"},
                      ScalarCase{"ZelmLogic", "ensemble", KelvVariant(3), S_OK, "3"},
                      ScalarCase{"ZelmLogic", "PhononType", KelvVariant(4), E_INVALIDARG, "1"},
                      ScalarCase{"ZelmLogic", "ChargeOption", KelvVariant("From library"), E_INVALIDARG, "Use current"},
                      ScalarCase{"ZelmLogic", "ChargeOption", KelvVariant("use current"), E_INVALIDARG, "Use current"},
                      ScalarCase{"ZelmLogic", "ChargeOption", KelvVariant("Library"), S_OK, "Library"}));

TEST(HostState, ListedValuesAreShownWithTheirNamesAndTakenByName)
{
    KelvComPtr<HostState> state = StateOf("ZelmLogic");
    EXPECT_EQ("1 (Energy)", state->DisplayText("Task"));
    state->SetValueFromText("Task", "GeomOpt");
    EXPECT_EQ("2 (GeomOpt)", state->DisplayText("Task"));
    state->SetValueFromText("ensemble", "NPT");
    EXPECT_EQ("3 (NPT)", state->DisplayText("ensemble"));
    EXPECT_EQ("Use current", state->DisplayText("ChargeOption"));
    try {
        state->SetValueFromText("Task", "42");
        FAIL() << "no error";
    } catch (const KelvResult& error) {
        EXPECT_NE(error.GetMessage().find("5 \"Surface\""), std::string::npos) << error.GetMessage();
        EXPECT_NE(error.GetMessage().find("not \"42\""), std::string::npos) << error.GetMessage();
    }
    // A stored project may hold a value outside the list: it loads, and
    // shows that it is none of them.
    state->LoadJson(nlohmann::json{{"ensemble", 7}}, "stored state");
    EXPECT_EQ(0u, state->DisplayText("ensemble").rfind("7 (not one of: 1 \"NVE\"", 0)) << state->DisplayText("ensemble");
}

// A value stored out of the table of ranges and choices (a received
// project, a state file edited by hand) loads, but a command reading it is
// refused as `state` refuses setting it, naming the command that mends it.
TEST(HostState, StoredValuesPassTheChecksOfStateWhenRead)
{
    const struct {
        const char* key;
        nlohmann::json stored;
        const char* refusal;  // a part of the refusal; nullptr: read as stored
    } cases[] = {
        {"timestep", -1.0, "greater than 0, not -1"},
        {"timestep", 0.0, "greater than 0, not 0"},
        {"timestep", 0.25, nullptr},
        {"ensemble_temperature", -1.0, "of at least 0, not -1"},
        {"ensemble_temperature", 0.0, nullptr},
        {"number_of_steps", -1, "of at least 0, not -1"},
        {"write", -5, "of at least 0, not -5"},
        {"Task", 99, "takes one of: 1 \"Energy\""},
        {"Task", -1, "not \"-1\""},
        {"Task", 4, nullptr},
        {"ensemble", 9, "3 \"NPT\"; not \"9\""},
        {"PhononType", 0, "takes one of"},
        {"ChargeOption", "use current", "takes one of: \"Use current\", \"Library\""},
        {"ChargeOption", "Library", nullptr},
        {"FrequencyStep", -3.0, nullptr},  // no bound of its own: the line builder judges it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + c.stored.dump());
        KelvComPtr<HostState> state = StateOf("ZelmLogic");
        state->LoadJson(nlohmann::json{{c.key, c.stored}}, "stored state");
        VARIANT value;
        VariantInit(&value);
        const HRESULT hr = state->GetPropertyValue(KelvBSTR(c.key).Get(), &value);
        VariantClear(&value);
        if (!c.refusal) {
            EXPECT_EQ(S_OK, hr) << LastErrorText();
            continue;
        }
        EXPECT_EQ(E_INVALIDARG, hr);
        const std::string message = LastErrorText();
        EXPECT_NE(message.find(std::string("\"") + c.key + "\""), std::string::npos) << message;
        EXPECT_NE(message.find(c.refusal), std::string::npos) << message;
        EXPECT_NE(message.find(std::string("set it with: zelm-host state --project PROJECT ZelmLogic ") + c.key +
                               " VALUE"),
                  std::string::npos)
            << message;
        // Set right with `state`, it is read again.
        state->SetValue(c.key, KelvVariant(std::string(c.key) == "ChargeOption" ? "Library" : "1").Get());
        EXPECT_EQ(S_OK, state->GetPropertyValue(KelvBSTR(c.key).Get(), &value)) << LastErrorText();
        VariantClear(&value);
    }
}

// A long that names its values, given a text that is none of them, names
// them ("takes one of: ..."), not only its type.
TEST(HostState, AValueNotAmongTheNamedOnesNamesThem)
{
    KelvComPtr<HostState> state = StateOf("ZelmLogic");
    const struct {
        const char* key;
        const char* text;
        const char* named;
    } cases[] = {
        {"Task", "geomopt", "2 \"GeomOpt\""},
        {"ensemble", "npt", "3 \"NPT\""},
        {"PhononType", "dos", "2 \"Density of states\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        try {
            state->SetValueFromText(c.key, c.text);
            ADD_FAILURE() << "taken";
        } catch (const KelvResult& error) {
            EXPECT_NE(error.GetMessage().find(std::string("takes one of: 1 \"")), std::string::npos)
                << error.GetMessage();
            EXPECT_NE(error.GetMessage().find(c.named), std::string::npos) << error.GetMessage();
            EXPECT_NE(error.GetMessage().find(std::string("not \"") + c.text + "\""), std::string::npos)
                << error.GetMessage();
        }
    }
}

TEST(HostState, UnknownPropertiesFailWithTheLogicAndTheName)
{
    KelvComPtr<HostState> state = StateOf("QMJobTemplate");
    KelvVariant value;
    EXPECT_EQ(E_INVALIDARG, state->GetPropertyValue(Text("Nope"), value.Receive()));
    const std::string message = LastErrorText();
    EXPECT_NE(std::string::npos, message.find("QMJobTemplate"));
    EXPECT_NE(std::string::npos, message.find("Nope"));
    VARIANT_BOOL has = VARIANT_TRUE;
    EXPECT_EQ(S_OK, state->HasProperty(Text("Nope"), &has));
    EXPECT_EQ(VARIANT_FALSE, has);
    EXPECT_EQ(E_POINTER, state->GetPropertyValue(Text("JobPrefix"), nullptr));
}

TEST(HostState, PropertyNamesComeInDefinitionOrder)
{
    KelvComPtr<HostState> state = StateOf("SurfaceCalculator");
    SAFEARRAY* names = nullptr;
    ASSERT_EQ(S_OK, state->get_PropertyNames(&names));
    KelvSafeArray owned(names);
    ASSERT_EQ(3u, owned.Count());
    EXPECT_EQ("CalculateAttachmentEnergy", owned.GetString(0));
    EXPECT_EQ("BulkEnergy", owned.GetString(2));
}

// ----------------------------------------------------------------- enums

TEST(HostState, EnumsKeepNumberAndTextTogether)
{
    KelvComPtr<HostState> state = StateOf("ZelmAnalysis");
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("FrequencyUnits"), KelvVariant("THz").Get()));
    EXPECT_EQ(3, Get(state.get(), "FrequencyUnits").Long());
    EXPECT_EQ("THz", state->EnumText("FrequencyUnits"));

    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("FrequencyUnits"), KelvVariant(2).Get()));
    OutText text;
    ASSERT_EQ(S_OK, state->GetPropertyEnumText(Text("FrequencyUnits"), &text));
    EXPECT_EQ("eV", text.str());

    // Neither a permitted text (the comparison is exact) nor number.
    EXPECT_EQ(E_INVALIDARG, state->SetPropertyValue(Text("FrequencyUnits"), KelvVariant("thz").Get()));
    EXPECT_EQ(E_INVALIDARG, state->SetPropertyValue(Text("FrequencyUnits"), KelvVariant(4).Get()));
    EXPECT_EQ("eV", state->EnumText("FrequencyUnits"));
    OutText other;
    EXPECT_EQ(E_INVALIDARG, state->GetPropertyEnumText(Text("OpticalFunction"), &other));
}

// ------------------------------------------------------------- co-classes

namespace {

constexpr CLSID CLSID_FakeGenerator = HostApi::MakeGuid("A7C3B2D1-0000-4000-8000-00000000E201");

class FakeGenerator final : public CKelvUnknown {};

} // namespace

TEST(HostState, CoClassesHoldObjectsByIdentity)
{
    KelvComPtr<HostState> state = StateOf("ZelmAnalysis");
    KelvComPtr<IUnknown> object = KelvComPtr<IUnknown>::Adopt((new FakeGenerator())->ControllingUnknown());
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("PhononDispersionGenerator"), KelvVariant(object.get()).Get()));
    KelvVariant back = Get(state.get(), "PhononDispersionGenerator");
    ASSERT_EQ(VT_UNKNOWN, back.Type());
    EXPECT_EQ(object.get(), back.Get().punkVal);
    EXPECT_EQ("(object)", state->ValueText("PhononDispersionGenerator"));

    EXPECT_EQ(DISP_E_TYPEMISMATCH, state->SetPropertyValue(Text("PhononDispersionGenerator"), KelvVariant(3).Get()));
    ASSERT_EQ(S_OK, state->SetPropertyValue(Text("PhononDispersionGenerator"), KelvVariant().Get()));
    EXPECT_EQ(VT_EMPTY, Get(state.get(), "PhononDispersionGenerator").Type());
}

TEST(HostState, CoClassDefaultIsMadeFromItsProgIdWhenTheClassExists)
{
    ClassRegistration<FakeGenerator> registration("Test.FakeGenerator", CLSID_FakeGenerator);
    const StateDefinitions definitions = StateDefinitions::Parse(
        R"({"logics":[{"logic":"L","extension":"E","properties":[
             {"name":"made","type":"coclass","progid":"Test.FakeGenerator"},
             {"name":"missing","type":"coclass","progid":"Test.NoSuchClass"}]}]})",
        "test");
    KelvComPtr<HostState> state = HostState::Create(*definitions.Find("L"));
    KelvVariant made = Get(state.get(), "made");
    ASSERT_EQ(VT_UNKNOWN, made.Type());
    // The same object on every read.
    EXPECT_EQ(made.Get().punkVal, Get(state.get(), "made").Get().punkVal);
    EXPECT_EQ(VT_EMPTY, Get(state.get(), "missing").Type());
}

// ---------------------------------------------------------- text and files

TEST(HostState, ValuesFromTextAndJsonRoundTrip)
{
    KelvComPtr<HostState> state = StateOf("ObservableData");
    state->SetValueFromText("ValueArray", "[1.5, 2]");
    state->SetValueFromText("StructureNameArray", R"(["a", "b"])");
    EXPECT_THROW(state->SetValueFromText("UseObservable", "true"), KelvResult);

    KelvComPtr<HostState> analysis = StateOf("ZelmAnalysis");
    analysis->SetValueFromText("FrequencyUnits", "3");
    analysis->SetValueFromText("SampleType", "2");
    EXPECT_THROW(analysis->SetValueFromText("PhononDispersionGenerator", "x"), KelvResult);

    KelvComPtr<HostState> copy = StateOf("ObservableData");
    copy->LoadJson(state->ToJson(), "test");
    EXPECT_EQ(state->ToJson(), copy->ToJson());
    EXPECT_EQ("[1.5,2.0]", copy->ValueText("ValueArray"));

    KelvComPtr<HostState> analysisCopy = StateOf("ZelmAnalysis");
    const nlohmann::json values = analysis->ToJson();
    EXPECT_EQ("THz", values["FrequencyUnits"]);
    analysisCopy->LoadJson(values, "test");
    EXPECT_EQ(3, analysisCopy->Value("FrequencyUnits").Long());
    EXPECT_EQ(2, analysisCopy->Value("SampleType").Long());

    EXPECT_THROW(copy->LoadJson(nlohmann::json{{"Unknown", 1}}, "test"), KelvResult);
    EXPECT_THROW(copy->LoadJson(nlohmann::json{{"ValueArray", "x"}}, "test"), KelvResult);
}
