// Container, logic and state utilities against a fake host.
#include <gtest/gtest.h>

#include <functional>

#include "common/HostFakes.h"
#include "appfw/appfw.h"
#include "common/KelvResults.h"

using QzTest::CodeOf;
using QzTest::MessageOf;

namespace
{
bool ErrorInfoPending()
{
    return QzTest::TakeErrorInfo().present;
}

class ContainerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        CallLog().clear();
        engineState = root->AddLogic("QorZelm.Extension", "ZelmLogic");
        extension = root->extensions->extensions["QorZelm.Extension"];
    }
    KelvComPtr<FakeRoot> root = Make<FakeRoot>();
    KelvComPtr<FakeState> engineState;
    KelvComPtr<ISBExtension> extension;
};
} // namespace

TEST_F(ContainerTest, GetLogicFindsByNameAndAnswersNullForWhatIsMissing)
{
    KelvComPtr<ISBLogic> logic = AppUtils::Container::GetLogic("ZelmLogic", extension.get());
    ASSERT_TRUE(logic);
    EXPECT_EQ(LogicStateUtilities::GetState(logic.get()).get(), static_cast<ISBState*>(engineState.get()));

    // A missing logic is an answer, not an error: nothing is left pending.
    SetErrorInfo(0, nullptr);
    EXPECT_FALSE(AppUtils::Container::GetLogic("SurfaceCalculator", extension.get()));
    EXPECT_FALSE(ErrorInfoPending());

    // Through the root: by extension name, missing logic or extension gives null.
    EXPECT_EQ(AppUtils::Container::GetLogic("ZelmLogic", "QorZelm.Extension", root.get()), logic);
    EXPECT_FALSE(AppUtils::Container::GetLogic("ZelmLogic", "QoRestricions.Restrictions", root.get()));
    EXPECT_FALSE(AppUtils::Container::GetLogic("KPointSetGenerator", "QorZelm.Extension", root.get()));

    EXPECT_EQ(CodeOf([] { AppUtils::Container::GetLogic("ZelmLogic", static_cast<ISBExtension*>(nullptr)); }),
              E_POINTER);
}

TEST_F(ContainerTest, NamedLogicItemMustExist)
{
    root->AddLogic("QorZelm.Extension", "QMJobTemplate");
    EXPECT_TRUE(LogicStateUtilities::GetNamedLogicItem(extension.get(), "QMJobTemplate"));
    const auto missing = [&] { LogicStateUtilities::GetNamedLogicItem(extension.get(), "Nothing"); };
    EXPECT_EQ(CodeOf(missing), E_INVALIDARG);
    EXPECT_NE(MessageOf(missing).find("'Nothing'"), std::string::npos);

    // A logic that has no state yet.
    auto bare = Make<FakeLogic>();
    EXPECT_EQ(CodeOf([&] { LogicStateUtilities::GetState(bare.get()); }), E_UNEXPECTED);
}

TEST_F(ContainerTest, StatePropertyValueWithAndWithoutMustExist)
{
    engineState->values["CalculateAttachmentEnergy"] = KelvVariant(true);
    EXPECT_TRUE(AppUtils::Container::GetStatePropertyValue("CalculateAttachmentEnergy", engineState.get(), false).Bool());
    EXPECT_TRUE(AppUtils::Container::GetStatePropertyValue("Missing", engineState.get(), false).IsEmpty());
    const auto mustExist = [&] { AppUtils::Container::GetStatePropertyValue("Missing", engineState.get(), true); };
    EXPECT_EQ(CodeOf(mustExist), E_INVALIDARG);
    EXPECT_NE(MessageOf(mustExist).find("'Missing'"), std::string::npos);
}

TEST_F(ContainerTest, PropertyValuesByKind)
{
    engineState->values["JobPrefix"] = KelvVariant("Quartz");
    engineState->values["LiveUpdateInterval"] = KelvVariant(int32_t(30));
    engineState->values["PhononDispersionKPGenerator"] = KelvVariant();
    engineState->values["FrequencyUnits"] = KelvVariant(int32_t(5));
    engineState->enumTexts["FrequencyUnits"] = "cm-1";
    auto generator = Make<FakeCollection>();
    engineState->values["PhononDispersionGenerator"] = KelvVariant(static_cast<IUnknown*>(generator.get()));

    ISBState* state = engineState.get();
    EXPECT_EQ(LogicStateUtilities::GetPropertyValue(state, "JobPrefix").String(), "Quartz");
    EXPECT_EQ(LogicStateUtilities::GetPropertyValue(state, "LiveUpdateInterval").String(), "30");
    // The host's own error text reaches the caller.
    EXPECT_EQ(CodeOf([&] { LogicStateUtilities::GetPropertyValue(state, "Unknown"); }), E_INVALIDARG);
    EXPECT_EQ(MessageOf([&] { LogicStateUtilities::GetPropertyValue(state, "Unknown"); }),
              "Unknown state property Unknown.");

    EXPECT_FALSE(LogicStateUtilities::GetPropertyValueCoClass(state, "PhononDispersionKPGenerator"));
    EXPECT_EQ(LogicStateUtilities::GetPropertyValueCoClass(state, "PhononDispersionGenerator").get(),
              static_cast<IUnknown*>(generator.get()));
    EXPECT_EQ(CodeOf([&] { LogicStateUtilities::GetPropertyValueCoClass(state, "JobPrefix"); }), DISP_E_TYPEMISMATCH);

    EXPECT_EQ(LogicStateUtilities::GetPropertyValueEnum(state, "FrequencyUnits"), "cm-1");
    EXPECT_EQ(LogicStateUtilities::GetPropertyValue(state, "FrequencyUnits").Long(), 5);
}

TEST_F(ContainerTest, FindDocumentRootByIdentifier)
{
    auto document = Make<FakeDocument>();
    root->documents->byId["{DOC-1}"] = KelvComPtr<ISBDocumentRoot>(document.get());

    EXPECT_EQ(AppUtils::Container::FindDocumentRoot("{DOC-1}", root.get(), false).get(),
              static_cast<ISBDocumentRoot*>(document.get()));
    EXPECT_FALSE(AppUtils::Container::FindDocumentRoot("{DOC-2}", root.get(), false));
    EXPECT_EQ(CodeOf([&] { AppUtils::Container::FindDocumentRoot("{DOC-2}", root.get(), true); }), E_INVALIDARG);

    // A root without a document manager: the host's failure passes on.
    root->documents = nullptr;
    EXPECT_EQ(CodeOf([&] { AppUtils::Container::FindDocumentRoot("{DOC-1}", root.get(), false); }), E_NOTIMPL);
}

TEST_F(ContainerTest, DocumentInformationAndDocumentManager)
{
    auto document = Make<FakeDocument>();
    EXPECT_EQ(CodeOf([&] { AppUtils::Container::GetDocumentInfo(document.get()); }), E_NOTIMPL);
    document->info = Make<FakeDocumentInfo>("/p/a.lib");
    EXPECT_TRUE(AppUtils::Container::GetDocumentInfo(document.get()));

    EXPECT_EQ(CContainerRoot(root.get()).DocumentManager().get(), static_cast<ISBDocumentManager*>(root->documents.get()));
    EXPECT_EQ(CodeOf([] { CContainerRoot().DocumentManager(); }), E_POINTER);
}

TEST_F(ContainerTest, OperationIsHeldUntilReleased)
{
    {
        KelvComPtr<ISBOperation> operation = AppUtils::Container::CreateOperation(root.get(), 3, "Select surface layer");
        ASSERT_EQ(CallLog(), std::vector<std::string>{"CreateOperation(Select surface layer, Select surface layer, 3)"});
    }
    EXPECT_EQ(CallLog().back(), "operation closed");
}
