// An atom type of a forcefield: a name, a description text and a charge.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "qorff/ObjectWithName.h"

class CAtomType : public CNameableObject {
public:
    CAtomType(const std::string& name, double charge, const std::string& description = std::string(),
              unsigned id = 0)
        : CNameableObject(name), m_description(description), m_charge(charge), m_id(id) {}

    const std::string& GetDescription() const { return m_description; }
    void SetDescription(const std::string& description) { m_description = description; }
    double GetCharge() const { return m_charge; }
    void SetCharge(double charge) { m_charge = charge; }

    // The identifier the forcefield gave the atom type (unique within it,
    // in order of creation); interactions order their atom types by it.
    unsigned GetId() const { return m_id; }

private:
    std::string m_description;
    double m_charge;
    unsigned m_id;
};

using AtomTypePtr = boost::shared_ptr<CAtomType>;
