#include "forcefield/ThreeBodyInteractionType.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "forcefield/FormRules.h"
#include "forcefield/FormTable.h"
#include "forcefield/ThreeBodyForms.h"

namespace {

using namespace FormTable;

enum class ThreeBodyClass { Generic, Sw3, Bacross, Hydrogen, ThreeBody };

using Row = FormRow<ThreeBodyClass>;

#define ANG QZ_ANGSTROM

std::vector<BooleanRow> Opts(std::initializer_list<const char*> names)
{
    std::vector<BooleanRow> rows;
    for (const char* name : names)
        rows.push_back(Opt(name));
    return rows;
}

std::vector<ParameterRow> operator+(std::vector<ParameterRow> left, const std::vector<ParameterRow>& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

const std::vector<Row>& Table()
{
    // The cut-off block that closes every form ("murr": that precedes its
    // coefficients).
    const std::vector<ParameterRow> cutoffs = {
        Shared("rmin(1-2)", "rmin(1-2)", ANG, 0.0, O),  Shared("rmax(1-2)", "rmax(1-2)", ANG, 10.0, Neither),
        Shared("rmin(1-3)", "rmin(1-3)", ANG, 0.0, O),  Shared("rmax(1-3)", "rmax(1-3)", ANG, 10.0, Neither),
        Shared("rmin(2-3)", "rmin(2-3)", ANG, 0.0, O),  Shared("rmax(2-3)", "rmax(2-3)", ANG, 10.0, Neither)};
    const ParameterRow kEV = Shared("K eV", "K", "eV", 0.0, F);
    const ParameterRow theta0 = Shared("theta0", "theta0", "degrees", 0.0, F);
    const ParameterRow kArea = Shared("K eV/A^2", "K", "eV/" ANG "^2", 0.0, F);
    const ParameterRow r1 = Shared("r1", "r1", ANG, 0.0, F);
    const ParameterRow r2 = Shared("r2", "r2", ANG, 0.0, F);
    const ParameterRow rho1 = Shared("rho1 1/A", "rho1", "1/" ANG, 0.0, F);
    const ParameterRow rho2 = Shared("rho2 1/A", "rho2", "1/" ANG, 0.0, F);
    const ParameterRow rho3 = Shared("rho3 1/A", "rho3", "1/" ANG, 0.0, F);

    std::vector<ParameterRow> murrCoefficients;
    for (int i = 0; i <= 10; ++i)
        murrCoefficients.push_back(Own("c" + std::to_string(i), "", 0.0, F));

    const std::vector<BooleanRow> common = Opts({"intra", "inter", "bond", "kjmol", "kcal"});

    static const std::vector<Row> table = {
        {"equa", "Equatorial (equa)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kEV, Own("n", "", 0.0, F), Own("beta", "1/" ANG, 1.0, F),
                                   Own("r0", ANG, 0.0, Neither)} +
             cutoffs,
         common, {}, {}},
        {"hydro", "Hydrogen-bond (hydro)", ThreeBodyClass::Hydrogen,
         std::vector<ParameterRow>{Own("A", "eV*" ANG "^m", 0.0, F), Own("B", "eV*" ANG "^n", 0.0, F),
                                   Own("theta_min", "degrees", 0.0, Neither),
                                   Own("theta_max", "degrees", 180.0, Neither)} +
             cutoffs,
         Opts({"intra", "inter", "kjmol", "kcal"}) + std::vector<BooleanRow>{OwnOpt("taper")},
         {{"m", 12, ""}, {"n", 10, ""}, {"p", 4, ""}}, {}},
        {"lin3", "Linear three-body (lin3)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kEV, Own("isign", "", 1.0, Neither), Own("n", "", 0.0, Neither)} + cutoffs,
         common, {}, {}},
        {"axil", "Axilrod-Teller (axil)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{Own("k", "eV" ANG "^9", 0.0, F)} + cutoffs, common, {}, {}},
        {"bcro", "Bond-bond cross term (bcross)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kArea, r1, r2} + cutoffs, common, {}, {}},
        {"bacr", "Bond-angle cross term (bacross)", ThreeBodyClass::Bacross,
         std::vector<ParameterRow>{Own("K1", "eV/" ANG "/rad", 0.0, F), Own("K2", "eV/" ANG "/rad", 0.0, F), r1, r2,
                                   Own("theta0", "degrees", 0.0, F)} +
             cutoffs,
         common, {}, {}},
        {"bcos", "Bond-bond cosine cross term (bcoscross)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{Own("K", "eV/" ANG "^2", 0.0, F), Own("b", "", 0.0, F), Own("m", "", 0.0, Neither),
                                   Own("n", "", 0.0, Neither), r1, r2} +
             cutoffs,
         common, {}, {}},
        {"murr", "Murrell-Mottram (murr)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kEV, Own("rho", "", 0.0, F), Own("r012", ANG, 0.0, F), Own("r013", ANG, 0.0, F),
                                   Own("r023", ANG, 0.0, F)} +
             cutoffs + murrCoefficients,
         common, {}, {}},
        {"expo", "Exponential (expo)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kEV, rho1, rho2, rho3} + cutoffs, common, {}, {}},
        {"sw3", "Stillinger-Weber three-body (sw3)", ThreeBodyClass::Sw3,
         std::vector<ParameterRow>{kEV, theta0, Own("rho1", ANG, 0.0, F), Own("rho2", ANG, 0.0, F)} + cutoffs,
         std::vector<BooleanRow>{OwnOpt("modified")} + common, {}, {}},
        {"sw3j", "Jiang-Brown variant of Stillinger-Weber (sw3jb)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kEV, theta0, Own("rho1", ANG, 0.0, F), Own("rho2", ANG, 0.0, F),
                                   Own("Q", "a.u.", 0.0, F)} +
             cutoffs,
         common, {}, {}},
        {"urey", "Urey-Bradley (urey)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kArea, Own("r0", ANG, 0.0, F)} + cutoffs, common, {}, {}},
        {"thre", "Three-body (thre)", ThreeBodyClass::ThreeBody,
         std::vector<ParameterRow>{Own("k", "eV/rad^2", 0.0, F), theta0} + cutoffs +
             std::vector<ParameterRow>{Own("k3", "eV/rad^3", 0.0, F), Own("k4", "eV/rad^4", 0.0, F)},
         std::vector<BooleanRow>{OwnOpt("exponential"), OwnOpt("vessal"), OwnOpt("cosine"), OwnOpt("k3"),
                                 OwnOpt("k4"), Opt("intra"), Opt("inter"), Opt("bond"), OwnOpt("mol"),
                                 Opt("kjmol"), Opt("kcal")},
         {}, {}},
        {"uff3", "Universal three-body (uff3)", ThreeBodyClass::Generic,
         std::vector<ParameterRow>{kEV, Own("theta0", "degrees", 0.0, Neither)} + cutoffs, common, {}, {}},
    };
    return table;
}

#undef ANG

FunctionalFormPtr MakeForm(const Row& row, const DescriptionLists& lists)
{
    switch (row.formClass) {
    case ThreeBodyClass::Generic: return MakeFormOfClass<CThreeBodyGenericFunctionalForm>(row, lists);
    case ThreeBodyClass::Sw3: return MakeFormOfClass<CSw3FunctionalForm>(row, lists);
    case ThreeBodyClass::Bacross: return MakeFormOfClass<CBacrossFunctionalForm>(row, lists);
    case ThreeBodyClass::Hydrogen: return MakeFormOfClass<CHydrogenFunctionalForm>(row, lists);
    case ThreeBodyClass::ThreeBody: return MakeFormOfClass<CThreeBodyFunctionalForm>(row, lists);
    }
    throw std::logic_error("Unknown three-body form class");
}

}  // namespace

CZelmThreeBodyInteractionType::CZelmThreeBodyInteractionType() : CInteractionType("Three-body", 3)
{
    CDescriptionPool pool;
    RegisterForms(*this, Table(), pool, &MakeForm);
}

CZelmThreeBodyInteractionType::~CZelmThreeBodyInteractionType() = default;

std::list<unsigned> CZelmThreeBodyInteractionType::GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const
{
    return FormRules::KeepOrder(atomTypeIds);
}
