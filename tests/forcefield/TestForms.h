// Small interaction types for the tests, registered beside the engine's own:
// their forms (keywords starting with "x") exercise the forcefield frame and
// library files independently of the engine's forms.
#pragma once

#include <list>
#include <string>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "forcefield/ZelmFunctionalForm.h"
#include "qorff/AtomTypeOrderingComparator.h"
#include "qorff/FunctionalForm.h"
#include "qorff/InteractionType.h"
#include "qorff/ServerDescription.h"

namespace fftest {

inline ParameterDescriptionPtr Parameter(const std::string& name, const std::string& unit, double defaultValue,
                                         bool fittable, bool optional, bool hidden = false)
{
    return boost::make_shared<CParameterDescription>(name, unit, defaultValue, fittable, optional, hidden);
}

inline BooleanOptionDescriptionPtr Boolean(const std::string& name)
{
    return boost::make_shared<CBooleanOptionDescription>(name, false);
}

// A two-atom type that orders its atom types like the engine's pair type:
// the smaller of (a, b) and (b, a) under the host comparator.
class CPairTestType : public CInteractionType {
public:
    CPairTestType() : CInteractionType("Test pair", 2)
    {
        const ParameterDescriptionPtr rmin = Parameter("rmin", "\xC5", 0.0, false, true);
        const ParameterDescriptionPtr rmax = Parameter("rmax", "\xC5", 10.0, false, false);
        const BooleanOptionDescriptionList unitOptions{Boolean("intra"), Boolean("inter"), Boolean("kjmol"),
                                                       Boolean("kcal")};
        const DoubleOptionDescriptionList scale{boost::make_shared<CDoubleOptionDescription>("scale14", 1.0)};
        const ParameterDescriptionList buck{Parameter("A", "eV", 0.0, true, false),
                                            Parameter("rho", "\xC5", 0.0, true, false),
                                            Parameter("C", "eV*\xC5^6", 0.0, true, false), rmin, rmax};
        Add(new CZelmFunctionalForm("Test Buckingham (xbuc)", "xbuc", buck, unitOptions, {}, scale));
        Add(new CZelmFunctionalForm("Test four-range Buckingham (xbuc4)", "xbuc4", buck, unitOptions, {}, scale));
        const ParameterDescriptionList sw2{Parameter("A", "eV", 0.0, true, false),
                                           Parameter("rho", "\xC5", 0.0, true, false),
                                           Parameter("B", "\xC5^4", 0.0, true, false), rmin, rmax};
        Add(new CZelmFunctionalForm("Test Stillinger-Weber (xsw2)", "xsw2", sw2, unitOptions, {}, scale));
        ParameterDescriptionList sw2j = sw2;
        sw2j.insert(sw2j.begin() + 3, Parameter("Q", "a.u.", 0.0, true, false));
        Add(new CZelmFunctionalForm("Test Jiang-Brown variant (xsw2jb)", "xsw2j", sw2j, unitOptions, {},
                                    scale));
        const IntegerOptionDescriptionList mn{boost::make_shared<CIntegerOptionDescription>("m", 12),
                                              boost::make_shared<CIntegerOptionDescription>("n", 6)};
        Add(new CZelmFunctionalForm("Test Lennard-Jones (xlen)", "xlen",
                                    {Parameter("A", "eV*\xC5^m", 0.0, true, false),
                                     Parameter("B", "eV*\xC5^n", 0.0, true, false), rmin, rmax},
                                    unitOptions, mn, scale));
        // The host's own form, as the engine's bond-order charge uses it.
        Add(new CFunctionalForm("Test bond-order charge (xbocharge)", "xboc",
                                {Parameter("deltaQ", "a.u.", 0.0, false, false), rmin, rmax},
                                {Boolean("staper")}, {}, {}));
    }

    std::list<unsigned> GetCanonicalOrdering(const std::list<unsigned>& ids) const override
    {
        std::list<unsigned> reversed(ids.rbegin(), ids.rend());
        return CAtomTypeOrderingComparator()(reversed, ids) ? reversed : ids;
    }

private:
    void Add(CFunctionalForm* form) { AddFunctionalForm(boost::shared_ptr<CFunctionalForm>(form)); }
};

// A one-atom type with a spring-like form and a form that has a hidden
// parameter.
class CCoreTestType : public CInteractionType {
public:
    CCoreTestType() : CInteractionType("Test core", 1)
    {
        AddFunctionalForm(boost::shared_ptr<CFunctionalForm>(new CZelmFunctionalForm(
            "Test spring (xspr)", "xspr",
            {Parameter("k2", "eV/\xC5^2", 0.0, true, false), Parameter("k4", "eV/\xC5^4 ", 0.0, true, true)},
            {Boolean("kjmol"), Boolean("kcal")}, {}, {})));
        AddFunctionalForm(boost::shared_ptr<CFunctionalForm>(new CFunctionalForm(
            "Hidden test (hidt)", "hidt",
            {Parameter("a", "eV", 1.0, true, false), Parameter("h", "eV", 2.0, true, false, true),
             Parameter("c", "eV", 3.0, true, false)},
            {}, {}, {})));
    }
};

inline void RegisterTestTypes(CServerDescription& serverDescription)
{
    serverDescription.AddInteractionType(boost::make_shared<CCoreTestType>());
    serverDescription.AddInteractionType(boost::make_shared<CPairTestType>());
}

}  // namespace fftest
