// The surface calculator object: creation through the class table, its
// interface map and error-information table, connection and disconnection.
#include "SurfaceFixture.h"

#include "common/KelvResults.h"
#include "setup/SurfaceCalculator.h"

using namespace SurfaceTest;

namespace {

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

TEST(SurfaceCalculatorObject, NullOutPointerAndShutdownWithoutConnectionAreReported)
{
    EXPECT_EQ(CSurfaceCalculator::CreateInstance(nullptr), E_POINTER);
    EXPECT_EQ(QzTest::LastErrorText(), "No pointer supplied for output argument.");
    void* out = nullptr;
    ASSERT_EQ(CSurfaceCalculator::CreateInstance(&out), S_OK);
    KelvComPtr<IUnknown> object = KelvComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(out));
    // No scope utility yet: the framework's null check, not a crash.
    EXPECT_EQ(static_cast<CSurfaceCalculator*>(object.QueryInterface<IQoZelmSurfaceCalculator>().get())->Shutdown(),
              E_POINTER);
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
