// One species of a forcefield library: the element-level name, the library
// type name, whether it has a core and/or a shell, and their charges.
#pragma once

#include <string>

class CSpecies
{
public:
    CSpecies();
    // `name` is the element key (the first one or two characters of the
    // library type), `alternativeName` the library type name itself. A half
    // (core or shell) that the species lacks carries no charge: its charge
    // reads 0.0 whatever is passed for it.
    CSpecies(const std::string& name, const std::string& alternativeName, bool isCore, bool isShell,
             double coreCharge, double shellCharge);

    const std::string& GetName() const { return m_name; }
    const std::string& GetAlternativeName() const { return m_alternativeName; }
    bool IsCore() const { return m_isCore; }
    bool IsShell() const { return m_isShell; }
    double GetCoreCharge() const { return m_coreCharge; }
    double GetShellCharge() const { return m_shellCharge; }

private:
    std::string m_name;
    std::string m_alternativeName;
    bool m_isCore;
    bool m_isShell;
    double m_coreCharge;
    double m_shellCharge;
};
