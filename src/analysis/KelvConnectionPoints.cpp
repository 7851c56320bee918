#include "analysis/KelvConnectionPoints.h"

#include <algorithm>
#include <new>

namespace {

template <class F>
HRESULT Run(REFIID iid, F&& body)
{
    return Kelv::ComMethod(GUID_NULL, iid, std::forward<F>(body));
}

void RequirePointer(const void* pointer)
{
    if (!pointer)
        throw KelvResult(E_POINTER);
}

// What remains of a list of `size` entries from `position`: nothing once the
// position is at or past the end.
ULONG Remaining(size_t size, ULONG position)
{
    return position >= size ? 0 : static_cast<ULONG>(size - position);
}

} // namespace

// --- container --------------------------------------------------------------

KelvConnectionPointContainer::~KelvConnectionPointContainer()
{
    ClearConnections();
}

HRESULT KelvConnectionPointContainer::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    return Run(IID_IConnectionPointContainer, [&] {
        RequirePointer(ppEnum);
        *ppEnum = nullptr;
        auto* enumerator = new KelvEnumConnectionPoints(this, 0);
        *ppEnum = enumerator;
    });
}

HRESULT KelvConnectionPointContainer::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    return Run(IID_IConnectionPointContainer, [&]() -> HRESULT {
        RequirePointer(ppCP);
        *ppCP = nullptr;
        const IID* const* table = OutgoingInterfaces();
        for (ULONG i = 0; i < OutgoingInterfaceCount(); ++i) {
            if (*table[i] == riid) {
                *ppCP = new KelvConnectionPoint(this, table[i]);
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    });
}

DWORD KelvConnectionPointContainer::AddConnection(const IID* iid, IUnknown* sink)
{
    KelvConnectionEntry entry;
    entry.cookie = m_nextCookie;
    entry.iid = iid;
    entry.sink = KelvComPtr<IUnknown>(sink);
    m_connections.push_back(std::move(entry));
    return m_nextCookie++;
}

bool KelvConnectionPointContainer::RemoveConnection(DWORD cookie, const IID& iid)
{
    const auto found = std::find_if(m_connections.begin(), m_connections.end(), [&](const KelvConnectionEntry& e) {
        return e.cookie == cookie && *e.iid == iid;
    });
    if (found == m_connections.end())
        return false;
    // The sink is released after the entry has left the list, so that a sink
    // whose last reference this is finds the list consistent.
    KelvComPtr<IUnknown> sink = std::move(found->sink);
    m_connections.erase(found);
    sink.Release();
    return true;
}

std::vector<KelvConnectionEntry> KelvConnectionPointContainer::ConnectionsOf(const IID& iid) const
{
    std::vector<KelvConnectionEntry> result;
    for (const KelvConnectionEntry& entry : m_connections)
        if (*entry.iid == iid)
            result.push_back(entry);
    return result;
}

KelvComPtr<IUnknown> KelvConnectionPointContainer::NextSink(const IID& iid, DWORD after, DWORD& cookie) const
{
    for (size_t i = 0; i < m_connections.size(); ++i) {
        const KelvConnectionEntry& entry = m_connections[i];
        if (entry.cookie > after && *entry.iid == iid) {
            cookie = entry.cookie;
            return entry.sink;
        }
    }
    return nullptr;
}

void KelvConnectionPointContainer::ClearConnections() noexcept
{
    std::vector<KelvConnectionEntry> gone;
    gone.swap(m_connections);
    gone.clear();
}

// --- connection point -----------------------------------------------------------

KelvConnectionPoint::KelvConnectionPoint(KelvConnectionPointContainer* container, const IID* iid)
    : m_iid(iid), m_containerRef(static_cast<IConnectionPointContainer*>(container)), m_container(container)
{
}

HRESULT KelvConnectionPoint::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IConnectionPoint)
        return FinishQI(static_cast<IConnectionPoint*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT KelvConnectionPoint::GetConnectionInterface(IID* pIID)
{
    return Run(IID_IConnectionPoint, [&] {
        RequirePointer(pIID);
        *pIID = *m_iid;
    });
}

HRESULT KelvConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    return Run(IID_IConnectionPoint, [&] {
        RequirePointer(ppCPC);
        *ppCPC = KelvComPtr<IConnectionPointContainer>(m_containerRef).Detach();
    });
}

HRESULT KelvConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    return Run(IID_IConnectionPoint, [&] {
        if (!pUnkSink)
            throw KelvResult(E_INVALIDARG);
        RequirePointer(pdwCookie);
        *pdwCookie = m_container->AddConnection(m_iid, pUnkSink);
    });
}

HRESULT KelvConnectionPoint::Unadvise(DWORD dwCookie)
{
    return Run(IID_IConnectionPoint, [&] { m_container->RemoveConnection(dwCookie, *m_iid); });
}

HRESULT KelvConnectionPoint::EnumConnections(IEnumConnections** ppEnum)
{
    return Run(IID_IConnectionPoint, [&] {
        RequirePointer(ppEnum);
        *ppEnum = nullptr;
        *ppEnum = new KelvEnumConnections(m_container, m_iid);
    });
}

// --- enumerator of connection points --------------------------------------------------

KelvEnumConnectionPoints::KelvEnumConnectionPoints(KelvConnectionPointContainer* container, ULONG position)
    : m_containerRef(static_cast<IConnectionPointContainer*>(container)), m_container(container),
      m_position(position)
{
}

HRESULT KelvEnumConnectionPoints::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IEnumConnectionPoints)
        return FinishQI(static_cast<IEnumConnectionPoints*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT KelvEnumConnectionPoints::Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched)
{
    return Run(IID_IEnumConnectionPoints, [&]() -> HRESULT {
        RequirePointer(ppCP);
        if (pcFetched)
            *pcFetched = 0;
        const ULONG count = std::min(cConnections, Remaining(m_container->OutgoingInterfaceCount(), m_position));
        const IID* const* table = m_container->OutgoingInterfaces();
        for (ULONG i = 0; i < count; ++i) {
            ppCP[i] = new (std::nothrow) KelvConnectionPoint(m_container, table[m_position]);
            ++m_position;
        }
        if (pcFetched)
            *pcFetched = count;
        return count > 0 ? S_OK : S_FALSE;
    });
}

HRESULT KelvEnumConnectionPoints::Skip(ULONG cConnections)
{
    m_position += std::min(cConnections, Remaining(m_container->OutgoingInterfaceCount(), m_position));
    return S_OK;
}

HRESULT KelvEnumConnectionPoints::Reset()
{
    m_position = 0;
    return S_OK;
}

HRESULT KelvEnumConnectionPoints::Clone(IEnumConnectionPoints** ppEnum)
{
    return Run(IID_IEnumConnectionPoints, [&] {
        RequirePointer(ppEnum);
        *ppEnum = nullptr;
        *ppEnum = new KelvEnumConnectionPoints(m_container, m_position);
    });
}

// --- enumerator of connections -------------------------------------------------

KelvEnumConnections::KelvEnumConnections(KelvConnectionPointContainer* container, const IID* iid)
    : m_snapshot(container->ConnectionsOf(*iid)),
      m_containerRef(static_cast<IConnectionPointContainer*>(container)), m_container(container), m_iid(iid)
{
}

HRESULT KelvEnumConnections::DelegatedQueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IEnumConnections)
        return FinishQI(static_cast<IEnumConnections*>(this), out);
    return CKelvUnknown::DelegatedQueryInterface(iid, out);
}

HRESULT KelvEnumConnections::Next(ULONG cConnections, CONNECTDATA* rgcd, ULONG* pcFetched)
{
    return Run(IID_IEnumConnections, [&]() -> HRESULT {
        RequirePointer(rgcd);
        if (pcFetched)
            *pcFetched = 0;
        const ULONG count = std::min(cConnections, Remaining(m_snapshot.size(), m_position));
        for (ULONG i = 0; i < count; ++i) {
            const KelvConnectionEntry& entry = m_snapshot[m_position];
            rgcd[i].pUnk = KelvComPtr<IUnknown>(entry.sink).Detach();
            rgcd[i].dwCookie = entry.cookie;
            ++m_position;
        }
        if (pcFetched)
            *pcFetched = count;
        return count > 0 ? S_OK : S_FALSE;
    });
}

HRESULT KelvEnumConnections::Skip(ULONG cConnections)
{
    m_position += std::min(cConnections, Remaining(m_snapshot.size(), m_position));
    return S_OK;
}

HRESULT KelvEnumConnections::Reset()
{
    return Run(IID_IEnumConnections, [&] {
        m_snapshot = m_container->ConnectionsOf(*m_iid);
        m_position = 0;
    });
}

HRESULT KelvEnumConnections::Clone(IEnumConnections** ppEnum)
{
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}
