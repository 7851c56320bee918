#include "qorvira/AtomicIndexMap.h"

#include <string>

#include "kelv/kelv.h"

const CAtomicIndexMap CAtomicIndexMap::Default;

CAtomicIndexMap::~CAtomicIndexMap() = default;

void CAtomicIndexMap::Copy(const CAtomicIndexMap& other)
{
    *this = other;
}

void CAtomicIndexMap::SetSize(ULONG size)
{
    std::vector<ULONG> doc2Zelm(size, 0);
    std::vector<ULONG> zelm2Doc(size, 0);
    m_doc2Zelm.swap(doc2Zelm);
    m_zelm2Doc.swap(zelm2Doc);
    m_inForce = true;
}

void CAtomicIndexMap::MakeDoc2ZelmEntry(ULONG doc, ULONG zelm)
{
    if (!m_inForce)
        throw KelvResult(E_INVALIDARG, "The atom index map has no size: entries cannot be made.");
    const ULONG size = GetSize();
    if (doc < 1 || doc > size || zelm < 1 || zelm > size)
        throw KelvResult(E_INVALIDARG, "The atom index map entry " + std::to_string(doc) + " -> " +
                                           std::to_string(zelm) + " lies outside 1 to " + std::to_string(size) + ".");
    const ULONG holder = m_zelm2Doc[zelm - 1];
    if (holder != 0 && holder != doc)
        throw KelvResult(E_INVALIDARG, "Engine atom " + std::to_string(zelm) + " is already mapped to document atom " +
                                           std::to_string(holder) + ".");
    const ULONG previous = m_doc2Zelm[doc - 1];
    if (previous != 0)
        m_zelm2Doc[previous - 1] = 0;
    m_doc2Zelm[doc - 1] = zelm;
    m_zelm2Doc[zelm - 1] = doc;
}

ULONG CAtomicIndexMap::Look(const std::vector<ULONG>& table, ULONG number, bool inForce, const char* side)
{
    if (number < 1)
        throw KelvResult(E_INVALIDARG, std::string("Atom number 0 is not a ") + side + " atom number (they count from 1).");
    if (!inForce)
        return number;
    if (number > table.size())
        throw KelvResult(E_INVALIDARG, std::string("The ") + side + " atom number " + std::to_string(number) +
                                           " lies outside the atom index map (1 to " + std::to_string(table.size()) +
                                           ").");
    const ULONG mapped = table[number - 1];
    if (mapped == 0)
        throw KelvResult(E_INVALIDARG, std::string("The ") + side + " atom number " + std::to_string(number) +
                                           " has no entry in the atom index map.");
    return mapped;
}

ULONG CAtomicIndexMap::MapDoc2Zelm(ULONG doc) const
{
    return Look(m_doc2Zelm, doc, m_inForce, "document");
}

ULONG CAtomicIndexMap::MapZelm2Doc(ULONG zelm) const
{
    return Look(m_zelm2Doc, zelm, m_inForce, "engine");
}
