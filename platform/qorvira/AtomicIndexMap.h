// The map between a document's atom numbers and the engine's atom numbers.
// Both numberings count from 1.
//
// A default-constructed map is not in force: it maps every number to itself
// and has size 0 (CAtomicIndexMap::Default is such a map). SetSize puts the
// map in force with n numbers on each side, none of them mapped yet;
// MakeDoc2ZelmEntry then pairs a document number with an engine number.
// A map in force answers only for numbers that were paired: a number
// outside 1..n or one without an entry throws KelvResult (E_INVALIDARG),
// never an undefined answer.
#pragma once

#include <vector>

#include "com/com.h"

class CAtomicIndexMap
{
public:
    // The map not in force (identity).
    static const CAtomicIndexMap Default;

    CAtomicIndexMap() noexcept = default;
    CAtomicIndexMap(const CAtomicIndexMap& other) = default;
    CAtomicIndexMap& operator=(const CAtomicIndexMap& other) = default;
    virtual ~CAtomicIndexMap();

    // Makes this map a copy of other.
    void Copy(const CAtomicIndexMap& other);

    // True once SetSize was called.
    bool IsInForce() const noexcept { return m_inForce; }

    // Puts the map in force with `size` numbers on each side and no entry
    // (any earlier entries are dropped).
    void SetSize(ULONG size);
    // The count given to SetSize; 0 for a map not in force.
    ULONG GetSize() const noexcept { return static_cast<ULONG>(m_doc2Zelm.size()); }

    // Pairs document number `doc` with engine number `zelm`, both in 1..size,
    // replacing an earlier entry of `doc`. A map not in force, a number out
    // of range, or an engine number already paired with another document
    // number throws KelvResult E_INVALIDARG.
    void MakeDoc2ZelmEntry(ULONG doc, ULONG zelm);

    // The engine number of document number `doc` (identity when the map is
    // not in force; 0 is never a number).
    ULONG MapDoc2Zelm(ULONG doc) const;
    // The document number of engine number `zelm`.
    ULONG MapZelm2Doc(ULONG zelm) const;

private:
    static ULONG Look(const std::vector<ULONG>& table, ULONG number, bool inForce, const char* side);

    bool m_inForce = false;
    std::vector<ULONG> m_doc2Zelm; // [doc - 1] = engine number, 0 = no entry
    std::vector<ULONG> m_zelm2Doc; // [zelm - 1] = document number, 0 = no entry
};
