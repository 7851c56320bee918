// Typed reads of state values and arrays through CStateHelper.
#include <gtest/gtest.h>

#include <functional>

#include "common/HostFakes.h"
#include "qorvira/StateHelper.h"
#include "common/KelvResults.h"

using QzTest::CodeOf;

namespace
{
// A 1-D array of the element type holding the values (lower bound 0).
template <class T>
KelvVariant ArrayOf(VARTYPE vt, std::vector<T> values)
{
    KelvVariant result;
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(values.size()));
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i)
        SafeArrayPutElement(array, &i, &values[static_cast<size_t>(i)]);
    result.Ptr()->vt = static_cast<VARTYPE>(VT_ARRAY | vt);
    result.Ptr()->parray = array;
    return result;
}

KelvVariant StringArray(const std::vector<std::string>& texts)
{
    KelvVariant result;
    result.Ptr()->vt = VT_ARRAY | VT_BSTR;
    result.Ptr()->parray = KelvSafeArray::FromStrings(texts).Detach();
    return result;
}

class StateHelperTest : public ::testing::Test
{
protected:
    KelvComPtr<FakeState> state = Make<FakeState>();
    CStateHelper Helper() { return CStateHelper(state.get(), state.get()); }
};
} // namespace

TEST_F(StateHelperTest, ScalarReadsConvertToTheTypeAskedFor)
{
    state->values["Task"] = KelvVariant(int32_t(3));
    state->values["timestep"] = KelvVariant(0.5);
    state->values["conp"] = KelvVariant(true);
    state->values["library"] = KelvVariant("dreiding");
    state->values["write"] = KelvVariant("25");

    const CStateHelper helper = Helper();
    ASSERT_TRUE(helper.IsValid());
    LONG task = 0, write = 0;
    double timestep = 0.0, taskAsDouble = 0.0;
    bool conp = false, taskAsBool = false;
    std::string library, conpText;
    helper.GetStateValue("Task", task);
    helper.GetStateValue("Task", taskAsDouble);
    helper.GetStateValue("Task", taskAsBool);
    helper.GetStateValue("timestep", timestep);
    helper.GetStateValue("conp", conp);
    helper.GetStateValue("conp", conpText);
    helper.GetStateValue("library", library);
    helper.GetStateValue("write", write);
    EXPECT_EQ(task, 3);
    EXPECT_EQ(taskAsDouble, 3.0);
    EXPECT_TRUE(taskAsBool);
    EXPECT_EQ(timestep, 0.5);
    EXPECT_TRUE(conp);
    EXPECT_EQ(conpText, "True");
    EXPECT_EQ(library, "dreiding");
    EXPECT_EQ(write, 25);
}

TEST_F(StateHelperTest, FailedReadsLeaveTheValueAndSayWhy)
{
    state->values["library"] = KelvVariant("dreiding");
    const CStateHelper helper = Helper();
    LONG value = 7;
    EXPECT_EQ(CodeOf([&] { helper.GetStateValue("Missing", value); }), E_INVALIDARG);
    try {
        helper.GetStateValue("library", value);
        FAIL() << "text converted to a number";
    } catch (const KelvResult& error) {
        EXPECT_NE(error.GetMessage().find("'library'"), std::string::npos);
    }
    EXPECT_EQ(value, 7);
}

TEST_F(StateHelperTest, HelperOverNoStateIsInvalidAndRefusesReads)
{
    for (const CStateHelper& helper : {CStateHelper(), CStateHelper(nullptr, nullptr)}) {
        EXPECT_FALSE(helper.IsValid());
        std::string text = "kept";
        EXPECT_EQ(CodeOf([&] { helper.GetStateValue("library", text); }), E_UNEXPECTED);
        EXPECT_EQ(text, "kept");
    }
    // The state alone is enough.
    state->values["Task"] = KelvVariant(int32_t(4));
    const CStateHelper stateOnly(nullptr, state.get());
    LONG task = 0;
    stateOnly.GetStateValue("Task", task);
    EXPECT_EQ(task, 4);
}

TEST_F(StateHelperTest, CopiesShareTheStateAndOutliveTheOriginal)
{
    std::unique_ptr<CStateHelper> original = std::make_unique<CStateHelper>(state.get(), state.get());
    const CStateHelper copy = *original;
    original.reset();
    state->values["ensemble"] = KelvVariant(int32_t(2));
    LONG ensemble = 0;
    copy.GetStateValue("ensemble", ensemble);
    EXPECT_EQ(ensemble, 2);
}

TEST_F(StateHelperTest, ArraysOfEachElementType)
{
    state->values["StructureIDArray"] = StringArray({"{A}", "{B}", "Å"});
    state->values["ObservableArray"] = ArrayOf<LONG>(VT_I4, {2, 5, 9});
    state->values["ValueArray"] = ArrayOf<double>(VT_R8, {270.5, 512.25});
    state->values["UseObservable"] = ArrayOf<VARIANT_BOOL>(VT_BOOL, {VARIANT_TRUE, VARIANT_FALSE, VARIANT_TRUE});
    const CStateHelper helper = Helper();

    std::vector<std::string> ids;
    std::vector<LONG> kinds;
    std::vector<double> values;
    std::vector<bool> used;
    helper.GetStateArray("StructureIDArray", ids);
    helper.GetStateArray("ObservableArray", kinds);
    helper.GetStateArray("ValueArray", values);
    helper.GetStateArray("UseObservable", used);
    EXPECT_EQ(ids, (std::vector<std::string>{"{A}", "{B}", "Å"}));
    EXPECT_EQ(kinds, (std::vector<LONG>{2, 5, 9}));
    EXPECT_EQ(values, (std::vector<double>{270.5, 512.25}));
    EXPECT_EQ(used, (std::vector<bool>{true, false, true}));

    // Elements convert: numbers as text, numbers as flags.
    helper.GetStateArray("ObservableArray", ids);
    EXPECT_EQ(ids, (std::vector<std::string>{"2", "5", "9"}));
    helper.GetStateArray("ObservableArray", used);
    EXPECT_EQ(used, (std::vector<bool>{true, true, true}));
}

TEST_F(StateHelperTest, ArraysOfVariantsAndOfTwoDimensions)
{
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 1}};
    SAFEARRAY* grid = SafeArrayCreate(VT_I4, 2, bounds);
    LONG* cells = nullptr;
    SafeArrayAccessData(grid, reinterpret_cast<void**>(&cells));
    for (LONG i = 0; i < 4; ++i)
        cells[i] = 10 + i;
    SafeArrayUnaccessData(grid);
    KelvVariant gridValue;
    gridValue.Ptr()->vt = VT_ARRAY | VT_I4;
    gridValue.Ptr()->parray = grid;
    state->values["FirstIndexArray"] = gridValue;

    KelvVariant mixed;
    mixed.Ptr()->vt = VT_ARRAY | VT_VARIANT;
    mixed.Ptr()->parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
    LONG index = 0;
    KelvVariant first("1.5"), second(int32_t(2));
    SafeArrayPutElement(mixed.Get().parray, &index, first.Ptr());
    index = 1;
    SafeArrayPutElement(mixed.Get().parray, &index, second.Ptr());
    state->values["ValueArray"] = mixed;

    std::vector<LONG> indices;
    std::vector<double> values;
    Helper().GetStateArray("FirstIndexArray", indices);
    Helper().GetStateArray("ValueArray", values);
    EXPECT_EQ(indices, (std::vector<LONG>{10, 11, 12, 13}));
    EXPECT_EQ(values, (std::vector<double>{1.5, 2.0}));
}

TEST_F(StateHelperTest, ArrayFaultsAndEmptyValues)
{
    state->values["Empty"] = KelvVariant();
    state->values["Scalar"] = KelvVariant(int32_t(1));
    state->values["Names"] = StringArray({"a", "not a number"});
    const CStateHelper helper = Helper();

    std::vector<double> values{1.0, 2.0};
    helper.GetStateArray("Empty", values);
    EXPECT_TRUE(values.empty());

    values = {1.0, 2.0};
    EXPECT_EQ(CodeOf([&] { helper.GetStateArray("Scalar", values); }), DISP_E_TYPEMISMATCH);
    EXPECT_NE(CodeOf([&] { helper.GetStateArray("Names", values); }), S_OK);
    EXPECT_EQ(values, (std::vector<double>{1.0, 2.0}));
}

TEST(CreateStateHelper, FindsTheLogicThroughTheRoot)
{
    auto root = Make<FakeRoot>();
    auto state = root->AddLogic("QorZelm.Extension", "ObservableData");
    state->values["StructureNameArray"] = StringArray({"Calcite"});

    std::unique_ptr<CStateHelper> helper =
        CStateHelper::CreateStateHelper(root.get(), "QorZelm.Extension", "ObservableData");
    std::vector<std::string> names;
    helper->GetStateArray("StructureNameArray", names);
    EXPECT_EQ(names, std::vector<std::string>{"Calcite"});

    EXPECT_EQ(CodeOf([&] { CStateHelper::CreateStateHelper(root.get(), "QorZelm.Extension", "ZelmLogic"); }),
              E_INVALIDARG);
    EXPECT_EQ(CodeOf([&] { CStateHelper::CreateStateHelper(root.get(), "Other.Extension", "ObservableData"); }),
              E_INVALIDARG);
    EXPECT_EQ(CodeOf([] { CStateHelper::CreateStateHelper(nullptr, "QorZelm.Extension", "ZelmLogic"); }), E_POINTER);
}
