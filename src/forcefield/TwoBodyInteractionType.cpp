#include "forcefield/TwoBodyInteractionType.h"

#include <algorithm>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "forcefield/FormTable.h"
#include "forcefield/TwoBodyForms.h"
#include "forcefield/ZelmFunctionalForm.h"
#include "qorff/AtomTypeOrderingComparator.h"

namespace {

using namespace FormTable;

enum class TwoBodyClass {
    Host,  // the host's CFunctionalForm itself
    Base,  // CZelmFunctionalForm itself
    Glue,
    Lennard,
    BoTwoBody,
    Buck,
    EamPotentialShift,
    Buck4,
    EnerGrad,
    Tsuneyuki,
    Mors,
    LjBuffered,
    Qerfc,
    Long,
    Harmonic,
    SQHarmonic,
    Polynomial,
    General,
    Damp,
    Coulomb
};

using Row = FormRow<TwoBodyClass>;

#define ANG QZ_ANGSTROM

// The run of seven options that most forms carry; "bond" is shared in
// groups of forms (`bondKey`, "" for a form's own).
std::vector<BooleanRow> Common(const std::string& bondKey)
{
    return {Opt("intra"), Opt("inter"), KeyedOpt("bond", bondKey), Opt("x12"), Opt("x13"), Opt("mol"), Opt("o14")};
}

// The same run without "mol".
std::vector<BooleanRow> CommonNoMol(const std::string& bondKey)
{
    return {Opt("intra"), Opt("inter"), KeyedOpt("bond", bondKey), Opt("x12"), Opt("x13"), Opt("o14")};
}

const std::string BondA = "bond:1";  // buck4 igau ryd tsun mors qerfc sw2j harm squa poly gener coul
const std::string BondB = "bond:2";  // buck cove ferm
const std::string BondC = "bond:3";  // ljbuf qtap sw2 damp
const std::string BondOwn;           // srgl lenn eam_p

std::vector<BooleanRow> Opts(std::initializer_list<const char*> names)
{
    std::vector<BooleanRow> rows;
    for (const char* name : names)
        rows.push_back(Opt(name));
    return rows;
}

const std::vector<Row>& Table()
{
    const ParameterRow rmin = Shared("rmin", "rmin", ANG, 0.0, O);
    const ParameterRow rmax = Shared("rmax", "rmax", ANG, 10.0, Neither);
    const ParameterRow r0 = Shared("r0", "r0", ANG, 0.0, F);
    const ParameterRow aEV = Shared("A eV", "A", "eV", 0.0, F);
    const ParameterRow rho = Shared("rho", "rho", ANG, 0.0, F);
    const ParameterRow c6 = Shared("C eV*A^6", "C", "eV*" ANG "^6", 0.0, F);
    const ParameterRow b4 = Shared("B A^4", "B", ANG "^4", 0.0, F);
    const ParameterRow coul = Shared("coul", "coul", "", 0.0, O);
    const ParameterRow aM = Shared("A eV*A^m", "A", "eV*" ANG "^m", 0.0, F);
    const ParameterRow bN = Shared("B eV*A^n", "B", "eV*" ANG "^n", 0.0, F);

    const std::vector<DoubleRow> scale14 = {{"scale14", 1.0, "scale14"}};
    const std::vector<IntegerRow> sharedMN = {{"m", 12, "m"}, {"n", 6, "n"}};
    const std::vector<IntegerRow> ownMN = {{"m", 12, ""}, {"n", 6, ""}};
    const std::vector<IntegerRow> norder = {{"norder", 5, "norder"}};
    const std::vector<BooleanRow> units = Opts({"kjmol", "kcal"});
    const std::vector<BooleanRow> enerGrad = Opts({"ener", "grad"});

    static const std::vector<Row> table = {
        {"srgl", "Short-range glue (srglue)", TwoBodyClass::Glue,
         {Own("d", ANG, 4.0, Neither), rmin, rmax,
          Own("a14", "eV", 1.0, Neither), Own("a13", "eV", 1.0, Neither), Own("a12", "eV", 1.0, Neither),
          Own("a11", "eV", 1.0, Neither), Own("a10", "eV", 1.0, Neither), Own("a26", "eV", 1.0, Neither),
          Own("a25", "eV", 1.0, Neither), Own("a24", "eV", 1.0, Neither), Own("a23", "eV", 1.0, Neither),
          Own("a22", "eV", 1.0, Neither), Own("a21", "eV", 1.0, Neither), Own("a20", "eV", 1.0, Neither)},
         Common(BondOwn) + units, {}, scale14},

        {"lenn", "Lennard-Jones (lenn)", TwoBodyClass::Lennard,
         {aM, bN, rmin, rmax, Own("epsilon", "eV", 0.0, F), Own("sigma", ANG, 0.0, F)},
         Opts({"epsilon", "zero", "esff"}) + std::vector<BooleanRow>{OwnOpt("combine"), Opt("geometric")} +
             Common(BondOwn) + units + enerGrad + Opts({"all"}),
         sharedMN, scale14},

        {"boch", "Bond-order charge (bocharge)", TwoBodyClass::Host,
         {Own("deltaQ", "a.u.", 0.0, Neither), rmin, rmax},
         Opts({"staper"}), {}, {}},

        {"botw", "Bond order two-body (botw)", TwoBodyClass::BoTwoBody,
         {Own("A", "eV", 1.0, F), Own("B", "eV", 1.0, F), Own("za", "1/" ANG, 1.0, F), Own("zb", "1/" ANG, 1.0, F),
          Own("rtaper", ANG, 1.0, Neither), Own("rmax", ANG, 10.0, Neither)},
         units + std::vector<BooleanRow>{OwnOpt("combine")}, {}, {}},

        {"buck", "Buckingham (buck)", TwoBodyClass::Buck,
         {aEV, rho, c6, rmin, rmax},
         Common(BondB) + units + enerGrad, {}, scale14},

        {"eam_p", "Embedded atom potential shift (eam_p)", TwoBodyClass::EamPotentialShift,
         {Own("g", "", 1.0, F), Own("beta", "1/" ANG, 1.0, F), rmin, rmax},
         Common(BondOwn) + units + Opts({"au"}) + enerGrad, {}, scale14},

        {"buck4", "Four-range Buckingham (buck4)", TwoBodyClass::Buck4,
         {aEV, rho, c6, rmin, Own("cut1", ANG, 0.0, Neither), Own("rminimum", ANG, 0.0, F),
          Own("cut2", ANG, 0.0, Neither), rmax},
         Common(BondA) + units, {}, scale14},

        {"igau", "Inverted Gaussian (igauss)", TwoBodyClass::EnerGrad,
         {aEV, Own("b", "1/" ANG "^2", 0.0, F), r0, rmin, rmax},
         Common(BondA) + units, {}, scale14},

        {"ryd", "Rydberg (ryd)", TwoBodyClass::EnerGrad,
         {aEV, Own("B", "", 0.0, F), r0, rmin, rmax},
         Common(BondA) + units, {}, scale14},

        {"tsun", "Tsuneyuki (tsun)", TwoBodyClass::Tsuneyuki,
         {Own("Q1", "a.u.", 0.0, Neither), Own("Q2", "a.u.", 0.0, Neither), Own("zeta", "1/" ANG, 0.0, F), rmin, rmax},
         Opts({"form2"}) + Common(BondA), {}, {}},

        {"cove", "Covalent-exponential (covexp)", TwoBodyClass::EnerGrad,
         {Own("D", "eV", 0.0, F), Own("a", "1/" ANG, 0.0, F), r0, rmin, rmax},
         Common(BondB) + units + enerGrad, {}, scale14},

        {"mors", "Morse (mors)", TwoBodyClass::Mors,
         {Own("De", "eV", 0.0, F), Own("a", "1/" ANG, 0.0, F), Own("r0", ANG, 0.0, F), Own("coul", "", 0.0, O),
          Own("rmin", ANG, 0.0, O), Own("rmax", ANG, 10.0, Neither)},
         CommonNoMol(BondA) + units + Opts({"etaper"}) + enerGrad, {}, scale14},

        {"ferm", "Fermi-Dirac (ferm)", TwoBodyClass::EnerGrad,
         {Own("a", "eV", 0.0, F), Own("b", ANG "^-1", 0.0, F), r0, rmin, rmax},
         Common(BondB) + units + enerGrad, {}, scale14},

        {"ljbuf", "Buffered Lennard-Jones (ljbuffered)", TwoBodyClass::LjBuffered,
         {aM, bN, r0, rmin, rmax},
         Common(BondC) + units, sharedMN, scale14},

        {"qtap", "Coulomb taper (qtaper)", TwoBodyClass::EnerGrad,
         {Own("C", "eV", 0.0, F), rmax},
         Common(BondC) + units, {}, scale14},

        {"sw2", "Stillinger-Weber two-body (sw2)", TwoBodyClass::EnerGrad,
         {aEV, rho, b4, rmin, rmax},
         Common(BondC) + units, {}, scale14},

        {"qerfc", "Complementary error function Coulomb (qerfc)", TwoBodyClass::Qerfc,
         {rho, rmax},
         Common(BondA) + Opts({"au", "nm", "pm"}) + enerGrad, {}, {}},

        {"sw2j", "Jiang-Brown variant of Stillinger Weber (sw2jb)", TwoBodyClass::Long,
         {aEV, rho, b4, Own("Q", "a.u.", 0.0, F), rmin, rmax},
         CommonNoMol(BondA) + units, {}, scale14},

        {"harm", "Harmonic (harm)", TwoBodyClass::Harmonic,
         {Own("k2", "eV/" ANG "^2", 0.0, F), r0, coul, rmin, rmax, Own("k3", "eV/" ANG "^3", 0.0, F),
          Own("k4", "eV/" ANG "^4", 0.0, F)},
         Opts({"k3", "k4"}) + Common(BondA) + units + enerGrad, {}, scale14},

        {"squa", "Squared harmonic (squa)", TwoBodyClass::SQHarmonic,
         {Own("k2", "eV/" ANG "^4", 0.0, F), r0, coul, rmin, rmax},
         Common(BondA) + units + Opts({"grad"}), {}, scale14},

        {"poly", "Polynomial (poly)", TwoBodyClass::Polynomial,
         {Own("coefficient0", "eV", 0.0, F), Own("coefficient1", "eV", 0.0, F), Own("coefficient2", "eV", 0.0, F),
          Own("coefficient3", "eV", 0.0, F), Own("coefficient4", "eV", 0.0, F), Own("coefficient5", "eV", 0.0, F),
          r0, rmin, rmax},
         Opts({"harmonic"}) + Common(BondA) + units, norder, scale14},

        {"gener", "General (gener)", TwoBodyClass::General,
         {aM, rho, Own("C", "eV*" ANG "^n", 0.0, F), rmin, rmax},
         enerGrad + Common(BondA) + units, ownMN, scale14},

        {"damp", "Damped dispersion (damp)", TwoBodyClass::Damp,
         {Own("C6", "eV*" ANG "^6", 0.0, F), Own("C8", "eV*" ANG "^8", 0.0, F), Own("C10", "eV*" ANG "^10", 0.0, F),
          Own("b6", "1/" ANG, 0.0, FO), Own("b8", "1/" ANG, 0.0, FO), Own("b10", "1/" ANG, 0.0, FO), rmin, rmax},
         Common(BondC) + units, {}, scale14},

        {"coul", "Coulomb (coul)", TwoBodyClass::Coulomb,
         {Own("scale", "", 1.0, FO), rmin, rmax},
         CommonNoMol(BondA), {}, scale14},

        {"many", "Manybody (many)", TwoBodyClass::Base,
         {rmin, rmax},
         {}, {}, {}},
    };
    return table;
}

#undef ANG

FunctionalFormPtr MakeForm(const Row& row, const DescriptionLists& lists)
{
    switch (row.formClass) {
    case TwoBodyClass::Host: return MakeFormOfClass<CFunctionalForm>(row, lists);
    case TwoBodyClass::Base: return MakeFormOfClass<CZelmFunctionalForm>(row, lists);
    case TwoBodyClass::Glue: return MakeFormOfClass<CGlueFunctionalForm>(row, lists);
    case TwoBodyClass::Lennard: return MakeFormOfClass<CLennardFunctionalForm>(row, lists);
    case TwoBodyClass::BoTwoBody: return MakeFormOfClass<CBoTwoBodyFunctionalForm>(row, lists);
    case TwoBodyClass::Buck: return MakeFormOfClass<CBuckFunctionalForm>(row, lists);
    case TwoBodyClass::EamPotentialShift: return MakeFormOfClass<CEamPotentialShiftFunctionalForm>(row, lists);
    case TwoBodyClass::Buck4: return MakeFormOfClass<CBuck4FunctionalForm>(row, lists);
    case TwoBodyClass::EnerGrad: return MakeFormOfClass<CEnerGradFunctionalForm>(row, lists);
    case TwoBodyClass::Tsuneyuki:
        return boost::make_shared<CTsuneyukiFunctionalForm>(row.displayName, row.keyword, lists.parameters,
                                                            lists.booleans);
    case TwoBodyClass::Mors: return MakeFormOfClass<CMorsFunctionalForm>(row, lists);
    case TwoBodyClass::LjBuffered: return MakeFormOfClass<CLjBufferedFunctionalForm>(row, lists);
    case TwoBodyClass::Qerfc: return MakeFormOfClass<CQerfcFunctionalForm>(row, lists);
    case TwoBodyClass::Long: return MakeFormOfClass<CLongFunctionalForm>(row, lists);
    case TwoBodyClass::Harmonic: return MakeFormOfClass<CHarmonicFunctionalForm>(row, lists);
    case TwoBodyClass::SQHarmonic: return MakeFormOfClass<CSQHarmonicFunctionalForm>(row, lists);
    case TwoBodyClass::Polynomial: return MakeFormOfClass<CPolynomialFunctionalForm>(row, lists);
    case TwoBodyClass::General: return MakeFormOfClass<CGeneralFunctionalForm>(row, lists);
    case TwoBodyClass::Damp: return MakeFormOfClass<CDampFunctionalForm>(row, lists);
    case TwoBodyClass::Coulomb: return MakeFormOfClass<CCoulombFunctionalForm>(row, lists);
    }
    throw std::logic_error("Unknown two-body form class");
}

}  // namespace

CZelmTwoBodyInteractionType::CZelmTwoBodyInteractionType() : CInteractionType("Two-body", 2)
{
    CDescriptionPool pool;
    pool.AddInteger("norder", boost::make_shared<CNorderDescription>());
    RegisterForms(*this, Table(), pool, &MakeForm);
}

CZelmTwoBodyInteractionType::~CZelmTwoBodyInteractionType() = default;

std::list<unsigned> CZelmTwoBodyInteractionType::GetCanonicalOrdering(const std::list<unsigned>& atomTypeIds) const
{
    if (atomTypeIds.size() != 2 || atomTypeIds.front() == atomTypeIds.back())
        return atomTypeIds;
    std::vector<std::list<unsigned>> candidates = {atomTypeIds, {atomTypeIds.back(), atomTypeIds.front()}};
    std::stable_sort(candidates.begin(), candidates.end(), CAtomTypeOrderingComparator());
    return candidates.front();
}
