// Outgoing interfaces of a component: the connection-point container with
// its connection list, the connection points it hands out and the two
// enumerators.
//
// Choices of this implementation:
//  - cookies count from 1234 over the whole life of the container and are
//    never given twice;
//  - every FindConnectionPoint or enumerator step makes a new connection
//    point; all points of one container share its one list;
//  - a connection enumerator works on a snapshot of the list, taken when it
//    is made and again at Reset; it cannot be cloned;
//  - an enumerator whose position is at or past the end fetches nothing.
#pragma once

#include <vector>

#include "com/com.h"
#include "kelv/KelvInProc.h"
#include "kelv/kelv.h"

// One advised sink.
struct KelvConnectionEntry
{
    DWORD cookie = 0;
    const IID* iid = nullptr;      // the interface of the point it was made through
    KelvComPtr<IUnknown> sink;     // one reference held
};

// IConnectionPointContainer over one list of connections. The class that
// derives from it supplies IUnknown (the component's); its outgoing
// interfaces come from the two virtual operations.
class KelvConnectionPointContainer : public IConnectionPointContainer
{
public:
    KelvConnectionPointContainer() = default;
    KelvConnectionPointContainer(const KelvConnectionPointContainer&) = delete;
    KelvConnectionPointContainer& operator=(const KelvConnectionPointContainer&) = delete;
    // Releases every advised sink.
    virtual ~KelvConnectionPointContainer();

    // Number of outgoing interfaces and the table of their IIDs.
    virtual ULONG OutgoingInterfaceCount() const = 0;
    virtual const IID* const* OutgoingInterfaces() const = 0;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // The list, for the points, the enumerators and the firing.
    DWORD AddConnection(const IID* iid, IUnknown* sink);
    // Removes the first entry with this cookie and IID; false when none.
    bool RemoveConnection(DWORD cookie, const IID& iid);
    // Copies of the entries of one IID, in list order.
    std::vector<KelvConnectionEntry> ConnectionsOf(const IID& iid) const;
    // The sink of the first entry of that IID whose cookie is greater than
    // `after`, with its cookie; null when there is none. The list is in
    // cookie order, so a caller walking it this way visits each entry once
    // even when sinks advise or unadvise while it walks.
    KelvComPtr<IUnknown> NextSink(const IID& iid, DWORD after, DWORD& cookie) const;
    size_t ConnectionCount() const noexcept { return m_connections.size(); }
    // Releases every sink.
    void ClearConnections() noexcept;

private:
    std::vector<KelvConnectionEntry> m_connections;
    DWORD m_nextCookie = 1234;
};

// The container for one outgoing interface.
template <const IID* Outgoing>
class IKelvConnectionPointContainerImplEx : public KelvConnectionPointContainer
{
public:
    ULONG OutgoingInterfaceCount() const override { return 1; }
    const IID* const* OutgoingInterfaces() const override
    {
        static const IID* const table[1] = {Outgoing};
        return table;
    }
};

// One connection point: the IID it serves and the container (one reference).
class KelvConnectionPoint : public CKelvUnknown, public IConnectionPoint
{
public:
    KelvConnectionPoint(KelvConnectionPointContainer* container, const IID* iid);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(IEnumConnections** ppEnum) override;

private:
    ~KelvConnectionPoint() override = default;

    const IID* m_iid;
    KelvComPtr<IConnectionPointContainer> m_containerRef;
    KelvConnectionPointContainer* m_container;
};

class KelvEnumConnectionPoints : public CKelvUnknown, public IEnumConnectionPoints
{
public:
    KelvEnumConnectionPoints(KelvConnectionPointContainer* container, ULONG position);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cConnections) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumConnectionPoints** ppEnum) override;

private:
    ~KelvEnumConnectionPoints() override = default;

    KelvComPtr<IConnectionPointContainer> m_containerRef;
    KelvConnectionPointContainer* m_container;
    ULONG m_position;
};

class KelvEnumConnections : public CKelvUnknown, public IEnumConnections
{
public:
    KelvEnumConnections(KelvConnectionPointContainer* container, const IID* iid);

    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override;

    HRESULT Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched) override;
    HRESULT Skip(ULONG cConnections) override;
    HRESULT Reset() override;
    // E_NOTIMPL.
    HRESULT Clone(IEnumConnections** ppEnum) override;

private:
    ~KelvEnumConnections() override = default;

    std::vector<KelvConnectionEntry> m_snapshot;
    KelvComPtr<IConnectionPointContainer> m_containerRef;
    KelvConnectionPointContainer* m_container;
    const IID* m_iid;
    ULONG m_position = 0;
};
