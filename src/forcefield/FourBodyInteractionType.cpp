#include "forcefield/FourBodyInteractionType.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "forcefield/FormRules.h"
#include "forcefield/FormTable.h"
#include "forcefield/FourBodyForms.h"

namespace {

using namespace FormTable;

enum class FourBodyClass { Inversion, Tors, Four, NoEsff, Tora, OutOfPlane, Ryckaert };

using Row = FormRow<FourBodyClass>;

#define ANG QZ_ANGSTROM

std::vector<BooleanRow> Opts(std::initializer_list<const char*> names)
{
    std::vector<BooleanRow> rows;
    for (const char* name : names)
        rows.push_back(Opt(name));
    return rows;
}

ParameterRow Cutoff(const char* atoms)
{
    const std::string name = std::string("rmax(") + atoms + ")";
    return Shared(name, name, ANG, 10.0, Neither);
}

const std::vector<Row>& Table()
{
    // Shared by every form that lists them.
    const ParameterRow n = Shared("n", "n", "", 0.0, Neither);
    const ParameterRow phi0 = Shared("phi0", "phi0", "degrees", 0.0, O);
    const ParameterRow r12 = Cutoff("1-2"), r13 = Cutoff("1-3"), r14 = Cutoff("1-4");
    const ParameterRow r23 = Cutoff("2-3"), r34 = Cutoff("3-4"), r41 = Cutoff("4-1");
    const ParameterRow k = Shared("k", "k", "eV", 0.0, F);
    const ParameterRow nphase = Shared("nphase", "nphase", "", 0.0, Neither);
    const ParameterRow k1 = Shared("k1", "k1", "eV", 0.0, F);
    const ParameterRow k2 = Shared("k2", "k2", "eV", 0.0, F);
    const ParameterRow rtaper = Shared("rtaper", "rtaper", ANG, 0.0, Neither);

    std::vector<ParameterRow> ryckaert = {Own("k0", "eV", 0.0, F), r12, r23, r34, r41};
    for (int i = 0; i <= 5; ++i)
        ryckaert.push_back(Own("coefficient" + std::to_string(i), "eV", 0.0, F));

    const std::vector<BooleanRow> torsion = Opts({"intra", "inter", "bond", "kjmol", "kcal", "esff", "dreiding"});
    const std::vector<BooleanRow> harmonic = Opts({"intra", "inter", "bond", "kjmol", "kcal", "dreiding"});

    static const std::vector<Row> table = {
        {"inve", "Inversion (inve)", FourBodyClass::Inversion,
         {k, Own("k0", "degrees", 0.0, O), r12, r13, r14},
         Opts({"squared", "intra", "inter", "bond", "mol", "kjmol", "kcal"}), {}, {}},
        {"tors", "Torsion (tors)", FourBodyClass::Tors,
         {Own("k", "eV", 0.0, F), n, phi0, r12, r23, r34, r41},
         torsion, {}, {}},
        {"tort", "Tapered torsion (tort)", FourBodyClass::Four,
         {k, nphase, phi0, rtaper, r12, r23, r34, r41, k1, k2},
         torsion, {}, {}},
        {"tore", "Exponential torsion (tore)", FourBodyClass::Four,
         {k, nphase, phi0, Own("rho12", ANG, 0.0, F), Own("rho23", ANG, 0.0, F), Own("rho34", ANG, 0.0, F), r12, r23,
          r34, r41, k1, k2},
         torsion, {}, {}},
        {"torh", "Harmonic torsion (torh)", FourBodyClass::NoEsff,
         {Own("K", "eV/rad^2", 0.0, F), Own("phi0", "degrees", 0.0, F), r12, r23, r34},
         harmonic, {}, {}},
        {"tora", "Angle cross torsion (tora)", FourBodyClass::Tora,
         {Own("K", "eV/rad^2", 0.0, F), Own("theta0", "degrees", 0.0, F), Own("theta0'", "degrees", 0.0, F), r12, r23,
          r34},
         Opts({"intra", "bond", "kjmol", "kcal", "dreiding"}), {}, {}},
        {"outo", "Out of plane (outo)", FourBodyClass::OutOfPlane,
         {Own("k", "eV/" ANG "^2", 0.0, F), Own("k4", "eV/" ANG "^4", 0.0, FO), r12, r13, r14},
         Opts({"inter", "intra", "bond", "kjmol", "kcal"}), {}, {}},
        {"ryck", "Ryckaert (ryck)", FourBodyClass::Ryckaert,
         ryckaert, {}, {{"norder", 5, "norder"}}, {}},
        {"uff4", "Universal four-body (uff4)", FourBodyClass::NoEsff,
         {Own("K", "eV", 0.0, F), Own("phi0", "degrees", 0.0, Neither), Own("n", "", 0.0, Neither), r12, r23, r34, r41},
         harmonic, {}, {}},
    };
    return table;
}

#undef ANG

FunctionalFormPtr MakeForm(const Row& row, const DescriptionLists& lists)
{
    switch (row.formClass) {
    case FourBodyClass::Inversion: return MakeFormOfClass<CInversionFunctionalForm>(row, lists);
    case FourBodyClass::Tors: return MakeFormOfClass<CTorsFunctionalForm>(row, lists);
    case FourBodyClass::Four: return MakeFormOfClass<CFourFunctionalForm>(row, lists);
    case FourBodyClass::NoEsff: return MakeFormOfClass<CNoEsffFunctionalForm>(row, lists);
    case FourBodyClass::Tora: return MakeFormOfClass<CToraFunctionalForm>(row, lists);
    case FourBodyClass::OutOfPlane: return MakeFormOfClass<COutOfPlaneFunctionalForm>(row, lists);
    case FourBodyClass::Ryckaert: return MakeFormOfClass<CRyckaertFunctionalForm>(row, lists);
    }
    throw std::logic_error("Unknown four-body form class");
}

}  // namespace

CZelmFourBodyInteractionType::CZelmFourBodyInteractionType() : CInteractionType("Four-body", 4)
{
    CDescriptionPool pool;
    // The Ryckaert order is the two-body polynomial's "norder", with its
    // validator (1 to 5).
    pool.AddInteger("norder", boost::make_shared<CNorderDescription>());
    RegisterForms(*this, Table(), pool, &MakeForm);
}

CZelmFourBodyInteractionType::~CZelmFourBodyInteractionType() = default;

std::list<unsigned> CZelmFourBodyInteractionType::GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const
{
    return FormRules::KeepOrder(atomTypeIds);
}
