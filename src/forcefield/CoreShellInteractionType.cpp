#include "forcefield/CoreShellInteractionType.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>

#include "forcefield/CoreShellForms.h"
#include "forcefield/FormTable.h"

namespace {

using namespace FormTable;

enum class CoreShellClass {
    Host,  // the host's CFunctionalForm itself
    Bo,
    Bsm,
    Spring
};

using Row = FormRow<CoreShellClass>;

#define ANG QZ_ANGSTROM

const std::vector<Row>& Table()
{
    // Created once for the whole type and shared by the forms that list them.
    const ParameterRow r0 = Shared("r0", "r0", ANG, 0.0, F);
    const BooleanRow kjmol = Opt("kjmol");
    const BooleanRow kcal = Opt("kcal");

    // "bore" and "boat" hold the very same descriptions.
    const std::vector<ParameterRow> bondOrder = {
        Shared("bo alpha", "alpha", "", 0.0, F), Shared("bo m", "m", "", 0.0, Neither),
        Shared("bo n", "n", "", 0.0, F), Shared("bo lambda", "lambda", "1/" ANG, 0.0, F)};

    static const std::vector<Row> table = {
        {"bose", "Bond order self-energy (bose)", CoreShellClass::Host,
         {Own("Kq", "eV", 0.0, Neither), Own("rho", "a.u.", 1.0, O), Own("q0", "a.u.", 0.0, Neither)},
         {}, {}, {}},

        {"bore", "Bond order repulsive (bore)", CoreShellClass::Bo,
         bondOrder, {Opt("theta")}, {}, {}},

        {"boat", "Bond order attractive (boat)", CoreShellClass::Bo,
         bondOrder, {Opt("theta")}, {}, {}},

        {"bsm", "Breathing shell model (bsm)", CoreShellClass::Bsm,
         {Own("K", "eV/" ANG "^2", 0.0, F), Own("r0", ANG, 0.0, F), Own("K", "eV", 0.0, F), Own("rho", "1/" ANG, 0.0, F),
          r0},
         {Opt("exponential"), Opt("single_exponential"), kjmol, kcal}, {}, {}},

        {"spri", "Spring (spri)", CoreShellClass::Spring,
         {Own("k2", "eV/" ANG "^2", 0.0, F), Own("k4", "eV/" ANG "^4 ", 0.0, FO)},
         {kjmol, kcal}, {}, {}},

        {"cosh", "Cosh-spring (cosh)", CoreShellClass::Spring,
         {Own("k2", "eV/" ANG "^2", 0.0, F), Own("d", ANG, 0.0, F)},
         {kjmol, kcal}, {}, {}},
    };
    return table;
}

#undef ANG

FunctionalFormPtr MakeForm(const Row& row, const DescriptionLists& lists)
{
    switch (row.formClass) {
    case CoreShellClass::Host: return MakeFormOfClass<CFunctionalForm>(row, lists);
    case CoreShellClass::Bo: return MakeFormOfClass<CBoFunctionalForm>(row, lists);
    case CoreShellClass::Bsm: return MakeFormOfClass<CBsmFunctionalForm>(row, lists);
    case CoreShellClass::Spring: return MakeFormOfClass<CSpringFunctionalForm>(row, lists);
    }
    throw std::logic_error("Unknown core-shell form class");
}

}  // namespace

CZelmCoreShellInteractionType::CZelmCoreShellInteractionType() : CInteractionType("Core-Shell", 1)
{
    CDescriptionPool pool;
    RegisterForms(*this, Table(), pool, &MakeForm);
}

CZelmCoreShellInteractionType::~CZelmCoreShellInteractionType() = default;
