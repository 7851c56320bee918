#include "qorvira/Species.h"

CSpecies::CSpecies()
    : m_isCore(false), m_isShell(false), m_coreCharge(0.0), m_shellCharge(0.0)
{
}

CSpecies::CSpecies(const std::string& name, const std::string& alternativeName, bool isCore,
                   bool isShell, double coreCharge, double shellCharge)
    : m_name(name),
      m_alternativeName(alternativeName),
      m_isCore(isCore),
      m_isShell(isShell),
      m_coreCharge(isCore ? coreCharge : 0.0),
      m_shellCharge(isShell ? shellCharge : 0.0)
{
}
