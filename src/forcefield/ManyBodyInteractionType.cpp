#include "forcefield/ManyBodyInteractionType.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "forcefield/FormTable.h"
#include "forcefield/ManyBodyForms.h"

namespace {

using namespace FormTable;

enum class ManyBodyClass { Functional, Density };

using Row = FormRow<ManyBodyClass>;

#define ANG QZ_ANGSTROM

std::vector<BooleanRow> Opts(std::initializer_list<const char*> names)
{
    std::vector<BooleanRow> rows;
    for (const char* name : names)
        rows.push_back(OwnOpt(name));
    return rows;
}

// Parameters of one unit, default and flags, named in order.
std::vector<ParameterRow> Run(std::initializer_list<const char*> names, const char* unit, double defaultValue,
                              unsigned flags)
{
    std::vector<ParameterRow> rows;
    for (const char* name : names)
        rows.push_back(Own(name, unit, defaultValue, flags));
    return rows;
}

std::vector<ParameterRow> operator+(std::vector<ParameterRow> left, const std::vector<ParameterRow>& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

const std::vector<Row>& Table()
{
    // "n" of both forms is one description.
    const std::vector<IntegerRow> n = {{"n", 1, "n"}};
    static const std::vector<Row> table = {
        {"eam_f", "Embedded atom method functional (eam_f)", ManyBodyClass::Functional,
         Run({"A", "F0", "F1"}, "eV", 1.0, F) + Run({"rho0", "alpha", "beta", "gamma"}, "", 1.0, F) +
             Run({"c1_4", "c1_3", "c1_2", "c1_1", "c1_0", "c2_4", "c2_3", "c2_2", "c2_1", "c2_0", "c3_3", "c3_2",
                  "c3_1", "c3_0", "rho1", "rho2"},
                 "", 1.0, Neither) +
             Run({"F2", "F3"}, "eV", 1.0, F),
         std::vector<BooleanRow>{BooleanRow{"square_root", "", true}} +
             Opts({"power", "banerjea_smith", "johnson", "glue", "foiles"}),
         n, {}},
        {"eam_d", "Embedded atom method density (eam_d)", ManyBodyClass::Density,
         Run({"A"}, "eV/" ANG "^n", 0.0, F) + Run({"B"}, "1/" ANG, 0.0, F) + Run({"B"}, "1/" ANG "^2", 0.0, F) +
             Run({"C"}, "eV/" ANG "^n", 0.0, F) + Run({"r0"}, ANG, 0.0, F) + Run({"beta"}, "1/" ANG, 0.0, F) +
             Run({"r1"}, ANG, 3.0, Neither) + Run({"r2"}, ANG, 5.0, Neither) + Run({"rm"}, ANG, 10.0, Neither) +
             Run({"b1_3", "b1_2", "b1_1", "b1_0", "b2_3", "b2_2", "b2_1", "b2_0", "b3_3", "b3_2", "b3_1", "b3_0"}, "eV",
                 1.0, Neither),
         std::vector<BooleanRow>{BooleanRow{"power", "", true}} +
             Opts({"exponential", "gaussian", "cubic", "quadratic", "quartic", "voter", "evoter", "glue", "kjmol",
                   "kcal"}),
         n, {}},
    };
    return table;
}

#undef ANG

FunctionalFormPtr MakeForm(const Row& row, const DescriptionLists& lists)
{
    switch (row.formClass) {
    case ManyBodyClass::Functional: return MakeFormOfClass<CFunctionalFunctionalForm>(row, lists);
    case ManyBodyClass::Density: return MakeFormOfClass<CDensityFunctionalForm>(row, lists);
    }
    throw std::logic_error("Unknown many-body form class");
}

}  // namespace

CZelmManyBodyInteractionType::CZelmManyBodyInteractionType() : CInteractionType("Many-body", 1)
{
    CDescriptionPool pool;
    RegisterForms(*this, Table(), pool, &MakeForm);
}

CZelmManyBodyInteractionType::~CZelmManyBodyInteractionType() = default;
