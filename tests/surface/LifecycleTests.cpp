// The surface calculator object: creation through the class table, its
// interface map and error-information table, connection and disconnection.
#include "SurfaceFixture.h"

#include "common/KelvResults.h"
#include "setup/SurfaceCalculator.h"

#include <cstdint>
#include <cstring>

using namespace SurfaceTest;

namespace {

// The virtual-table position of a member (Itanium C++ ABI, x86 layout).
template <class C, class F>
std::ptrdiff_t Slot(F C::*member)
{
    struct {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    } repr;
    static_assert(sizeof(member) == sizeof(repr), "unexpected member-pointer layout");
    std::memcpy(&repr, &member, sizeof(repr));
    return static_cast<std::ptrdiff_t>((repr.ptr - 1) / sizeof(void*));
}

TEST(SurfaceCalculatorInterface, MembersFollowISBLogicInTheirOrder)
{
#if defined(__x86_64__) || defined(__i386__)
    using I = IQoZelmSurfaceCalculator;
    EXPECT_EQ(Slot(&I::get_State), 7);
    EXPECT_EQ(Slot(&I::get_Extension), 9);
    EXPECT_EQ(Slot(&I::Is2DPeriodic), 10);
    EXPECT_EQ(Slot(&I::SelectLayer), 18);
    EXPECT_EQ(Slot(&I::CanAddToAttachmentLayerSet), 19);
    EXPECT_EQ(Slot(&I::CalculateDipoleMoment), 25);
    EXPECT_EQ(Slot(&I::GetSurfaceDepth), 29);
#endif
    // Our dispatch identifiers run in member order.
    DISPID previous = 0;
    for (const QoZelmSurfaceCalculatorMember& member : QoZelmSurfaceCalculatorMembers) {
        EXPECT_GT(member.id, previous);
        previous = member.id;
    }
}

TEST(SurfaceCalculatorObject, ClassTableRowCreatesItAndItsInterfaceMapAnswers)
{
    KelvComPtr<IClassFactory> factory;
    ASSERT_EQ(DllGetClassObject(QorZelm::CLSID_SurfaceCalculator, IID_IClassFactory, factory.ReceiveVoid()), S_OK);
    KelvComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.ReceiveVoid()), S_OK);

    KelvComPtr<IQoZelmSurfaceCalculator> calculator = object.QueryInterface<IQoZelmSurfaceCalculator>();
    // The calculator's interface, ISBLogic and IDispatch are one part.
    EXPECT_EQ(static_cast<void*>(object.QueryInterface<ISBLogic>().get()), static_cast<void*>(calculator.get()));
    EXPECT_EQ(static_cast<void*>(object.QueryInterface<IDispatch>().get()), static_cast<void*>(calculator.get()));
    KelvComPtr<ISupportErrorInfo> errorInfo = object.QueryInterface<ISupportErrorInfo>();
    EXPECT_TRUE(object.QueryInterface<ISBContainerRootConsumer>());
    EXPECT_FALSE(object.TryQueryInterface<ISBManagedJobFiles>());

    for (const IID* iid : {&IID_IQoZelmSurfaceCalculator, &IID_ISBLogic, &IID_IDispatch, &IID_ISupportErrorInfo,
                           &IID_ISBContainerRootConsumer})
        EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(*iid), S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_ISBManagedJobFiles), S_FALSE);

    // Dispatch identifiers: ISBLogic's, then ours in member order.
    for (const auto& expected : std::vector<std::pair<std::u16string, DISPID>>{
             {u"State", 0}, {u"Is2DPeriodic", 0x64}, {u"SelectLayer", 0x6C}, {u"GetSurfaceDepth", 0x77}}) {
        std::u16string name = expected.first;
        LPOLESTR names[] = {name.data()};
        DISPID id = -1;
        EXPECT_EQ(calculator->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        EXPECT_EQ(id, expected.second);
    }
}

TEST(SurfaceCalculatorObject, CreateInstanceTestsTheOutPointerFirst)
{
    EXPECT_EQ(CSurfaceCalculator::CreateInstance(nullptr), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    void* out = nullptr;
    ASSERT_EQ(CSurfaceCalculator::CreateInstance(&out), S_OK);
    ASSERT_NE(out, nullptr);
    static_cast<IUnknown*>(out)->Release();
}

TEST(SurfaceCalculatorObject, ShutdownWithoutAConnectionIsReportedNotACrash)
{
    void* out = nullptr;
    ASSERT_EQ(CSurfaceCalculator::CreateInstance(&out), S_OK);
    KelvComPtr<IUnknown> object = KelvComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(out));
    auto* calculator = static_cast<CSurfaceCalculator*>(object.QueryInterface<IQoZelmSurfaceCalculator>().get());
    EXPECT_EQ(calculator->Shutdown(), E_POINTER);
    // A null scope is not 2-D periodic and needs no connection.
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ(calculator->Is2DPeriodic(nullptr, &answer), S_OK);
    EXPECT_EQ(answer, VARIANT_FALSE);
}

class ConnectedCalculator : public Fixture {};

TEST_F(ConnectedCalculator, TheHostConnectsItAndDisconnectsItCleanly)
{
    ASSERT_TRUE(calculator) << (Host().ConnectionErrors().empty() ? "" : Host().ConnectionErrors().front());
    KelvComPtr<ISBState> state;
    ASSERT_EQ(calculator->get_State(state.Receive()), S_OK);
    EXPECT_EQ(state.get(), static_cast<ISBState*>(CalculatorState().get()));

    // A second connection replaces what the first made (nothing leaks).
    KelvComPtr<ISBExtension> extension;
    ASSERT_EQ(calculator->get_Extension(extension.Receive()), S_OK);
    KelvVariant name("SurfaceCalculator");
    EXPECT_EQ(calculator->OnConnect(extension.get(), name.Get()), S_OK);
    Host().Shutdown();
    EXPECT_TRUE(Host().ConnectionErrors().empty()) << Host().ConnectionErrors().front();
}

class CalculatorWithoutEngineLogic : public Fixture {
protected:
    CalculatorWithoutEngineLogic() : Fixture(false) {}
};

TEST_F(CalculatorWithoutEngineLogic, ConnectionNamesTheMissingLogic)
{
    EXPECT_FALSE(calculator);
    bool named = false;
    for (const std::string& error : Host().ConnectionErrors())
        named = named || error == "QorZelm.Extension!SurfaceCalculator: CSurfaceCalculator::InitialiseOnConnect: "
                                  "The logic \"ZelmLogic\" was not found in the extension.\n";
    EXPECT_TRUE(named) << (Host().ConnectionErrors().empty() ? "no error" : Host().ConnectionErrors().front());
}

} // namespace
