// The component's outgoing events: cookies, connection points that share one
// list, the enumerators and the order in which sinks hear of a change.
#include "analysis/ZelmAnalysis.h"

#include "common/FakeCom.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Log = std::vector<std::string>;

// A sink that writes "<name> DataChanged <info>" into a shared log and may
// run an action inside its callback.
class Sink final : public QzTest::Fake<IQoQMAnalysisEvents> {
public:
    Sink(std::string name, std::shared_ptr<Log> log) : m_name(std::move(name)), m_log(std::move(log)) {}
    HRESULT DataChanged(VARIANT varInfo) override { return Note("DataChanged", varInfo); }
    HRESULT AvailableDataChanged(VARIANT varInfo) override { return Note("AvailableDataChanged", varInfo); }
    std::function<void()> inCallback;

private:
    HRESULT Note(const char* event, const VARIANT& info)
    {
        m_log->push_back(m_name + " " + event + (info.vt == VT_EMPTY ? "" : " " + KelvVariant(info).String()));
        if (inCallback)
            inCallback();
        return E_FAIL; // a failing sink stops nobody
    }
    std::string m_name;
    std::shared_ptr<Log> m_log;
};

// An object that is no sink at all.
class NotASink final : public QzTest::Fake<IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

class Events : public testing::Test {
protected:
    void SetUp() override
    {
        IUnknown* object = nullptr;
        ASSERT_EQ(CZelmAnalysis::CreateInstance(reinterpret_cast<void**>(&object)), S_OK);
        m_object = KelvComPtr<IUnknown>::Adopt(object);
        m_container = m_object.QueryInterface<IConnectionPointContainer>();
        m_scope = m_object.QueryInterface<IQoQMAnalysisScope>();
    }

    KelvComPtr<IConnectionPoint> Point() const
    {
        KelvComPtr<IConnectionPoint> point;
        EXPECT_EQ(m_container->FindConnectionPoint(IID_IQoQMAnalysisEvents, point.Receive()), S_OK);
        return point;
    }

    KelvComPtr<Sink> MakeSink(const std::string& name)
    {
        return KelvComPtr<Sink>::Adopt(new Sink(name, m_log));
    }

    DWORD Advise(IConnectionPoint* point, IUnknown* sink)
    {
        DWORD cookie = 0;
        EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        return cookie;
    }

    std::shared_ptr<Log> m_log = std::make_shared<Log>();
    KelvComPtr<IUnknown> m_object;
    KelvComPtr<IConnectionPointContainer> m_container;
    KelvComPtr<IQoQMAnalysisScope> m_scope;
};

TEST_F(Events, CookiesCountFrom1234AndAreNeverGivenTwice)
{
    const auto point = Point();
    const auto a = MakeSink("a");
    EXPECT_EQ(Advise(point.get(), a.get()), 1234u);
    EXPECT_EQ(Advise(point.get(), a.get()), 1235u);
    EXPECT_EQ(point->Unadvise(1234), S_OK);
    EXPECT_EQ(Advise(point.get(), a.get()), 1236u);
    // An unknown cookie is no error and removes nothing.
    EXPECT_EQ(point->Unadvise(999), S_OK);
    KelvComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Receive()), S_OK);
    CONNECTDATA data[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(4, data, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(data[0].dwCookie, 1235u);
    EXPECT_EQ(data[1].dwCookie, 1236u);
    data[0].pUnk->Release();
    data[1].pUnk->Release();
}

TEST_F(Events, PointsAreFreshButShareOneList)
{
    const auto first = Point();
    const auto second = Point();
    EXPECT_NE(first.get(), second.get());
    Advise(first.get(), MakeSink("a").get());
    KelvComPtr<IEnumConnections> connections;
    ASSERT_EQ(second->EnumConnections(connections.Receive()), S_OK);
    CONNECTDATA data{};
    EXPECT_EQ(connections->Next(1, &data, nullptr), S_OK);
    EXPECT_EQ(data.dwCookie, 1234u);
    data.pUnk->Release();

    IID iid{};
    EXPECT_EQ(second->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, IID_IQoQMAnalysisEvents);
    KelvComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(second->GetConnectionPointContainer(container.Receive()), S_OK);
    EXPECT_EQ(container.get(), m_container.get());
}

TEST_F(Events, ArgumentsAndUnknownInterfaces)
{
    KelvComPtr<IConnectionPoint> point;
    EXPECT_EQ(m_container->FindConnectionPoint(IID_IDispatch, point.Receive()), CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(point);
    EXPECT_EQ(m_container->FindConnectionPoint(IID_IQoQMAnalysisEvents, nullptr), E_POINTER);
    point = Point();
    DWORD cookie = 0;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_INVALIDARG);
    EXPECT_EQ(point->Advise(MakeSink("a").get(), nullptr), E_POINTER);
    KelvComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Receive()), S_OK);
    KelvComPtr<IEnumConnections> clone;
    EXPECT_EQ(connections->Clone(clone.Receive()), E_NOTIMPL);
}

TEST_F(Events, ConnectionEnumeratorCountsDownAndStopsAtTheEnd)
{
    const auto point = Point();
    for (const char* name : {"a", "b", "c"})
        Advise(point.get(), MakeSink(name).get());
    KelvComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Receive()), S_OK);
    CONNECTDATA data[5] = {};
    ULONG fetched = 99;
    EXPECT_EQ(connections->Skip(1), S_OK);
    EXPECT_EQ(connections->Next(5, data, &fetched), S_OK);
    EXPECT_EQ(fetched, 2u);
    data[0].pUnk->Release();
    data[1].pUnk->Release();
    EXPECT_EQ(connections->Next(5, data, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // Skipping past the end leaves nothing to fetch, however far it goes.
    EXPECT_EQ(connections->Reset(), S_OK);
    EXPECT_EQ(connections->Skip(10), S_OK);
    EXPECT_EQ(connections->Next(5, data, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    // The snapshot is taken again at Reset.
    Advise(point.get(), MakeSink("d").get());
    EXPECT_EQ(connections->Next(5, data, &fetched), S_FALSE);
    EXPECT_EQ(connections->Reset(), S_OK);
    EXPECT_EQ(connections->Next(5, data, &fetched), S_OK);
    EXPECT_EQ(fetched, 4u);
    EXPECT_EQ(data[3].dwCookie, 1237u);
    for (ULONG i = 0; i < fetched; ++i)
        data[i].pUnk->Release();
}

TEST_F(Events, PointEnumeratorHasOneInterface)
{
    KelvComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(m_container->EnumConnectionPoints(points.Receive()), S_OK);
    IConnectionPoint* found[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(points->Next(3, found, &fetched), S_OK);
    ASSERT_EQ(fetched, 1u);
    IID iid{};
    found[0]->GetConnectionInterface(&iid);
    EXPECT_EQ(iid, IID_IQoQMAnalysisEvents);
    found[0]->Release();
    EXPECT_EQ(points->Next(3, found, &fetched), S_FALSE);

    EXPECT_EQ(points->Reset(), S_OK);
    EXPECT_EQ(points->Skip(7), S_OK);
    EXPECT_EQ(points->Next(1, found, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

}

TEST_F(Events, SinksHearInAdviseOrderAndOthersArePassedOver)
{
    const auto point = Point();
    Advise(point.get(), MakeSink("a").get());
    const auto stranger = KelvComPtr<NotASink>::Adopt(new NotASink);
    Advise(point.get(), stranger.get());
    Advise(point.get(), MakeSink("b").get());

    EXPECT_EQ(m_scope->Refresh(), S_OK);
    EXPECT_EQ(*m_log, (Log{"a DataChanged", "b DataChanged", "a AvailableDataChanged", "b AvailableDataChanged"}));

    m_log->clear();
    EXPECT_EQ(m_scope->put_ResultsIDForProperty(KelvBSTR("Structure").Get(), KelvVariant("x.gout").Get()), S_OK);
    EXPECT_EQ(*m_log, (Log{"a DataChanged Structure", "b DataChanged Structure"}));
}

TEST_F(Events, ANewResultsPathIsAnnouncedOnceWithoutInfo)
{
    const auto point = Point();
    Advise(point.get(), MakeSink("a").get());
    Advise(point.get(), MakeSink("b").get());
    QzTest::TempFolder folder("events");
    QzTest::WriteFile(folder.File("run.gout"), "  *  opti - perform optimisation run\n");
    EXPECT_EQ(m_scope->put_ResultsID(KelvVariant(folder.File("run.gout")).Get()), S_OK);
    EXPECT_EQ(*m_log, (Log{"a DataChanged", "b DataChanged"}));
}

TEST_F(Events, ASinkMayLeaveWhileItIsCalled)
{
    const auto point = Point();
    const auto a = MakeSink("a");
    const DWORD cookieA = Advise(point.get(), a.get());
    Advise(point.get(), MakeSink("b").get());
    Advise(point.get(), MakeSink("c").get());
    a->inCallback = [&] { point->Unadvise(cookieA); };

    EXPECT_EQ(m_scope->Refresh(), S_OK);
    // Nobody after the leaving sink misses an event, and it hears no more.
    EXPECT_EQ(*m_log, (Log{"a DataChanged", "b DataChanged", "c DataChanged", "b AvailableDataChanged",
                           "c AvailableDataChanged"}));
}

TEST_F(Events, TheComponentReleasesItsSinks)
{
    const auto a = MakeSink("a");
    Advise(Point().get(), a.get());
    EXPECT_EQ(a->References(), 2u);
    m_scope.Release();
    m_container.Release();
    m_object.Release();
    EXPECT_EQ(a->References(), 1u);
}

} // namespace
