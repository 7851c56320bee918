#include "forcefield/FormTable.h"

#include <boost/make_shared.hpp>

namespace FormTable {

namespace {

[[noreturn]] void Mismatch(const std::string& key)
{
    throw std::logic_error("Descriptions shared under \"" + key + "\" differ");
}

}  // namespace

std::vector<BooleanRow> operator+(std::vector<BooleanRow> left, const std::vector<BooleanRow>& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

void CDescriptionPool::AddInteger(const std::string& key, const IntegerOptionDescriptionPtr& description)
{
    m_integers[key] = description;
}

DescriptionLists CDescriptionPool::Make(const std::vector<ParameterRow>& parameters,
                                        const std::vector<BooleanRow>& booleans,
                                        const std::vector<IntegerRow>& integers,
                                        const std::vector<DoubleRow>& doubles)
{
    DescriptionLists lists;
    for (const ParameterRow& row : parameters)
        lists.parameters.push_back(Parameter(row));
    for (const BooleanRow& row : booleans)
        lists.booleans.push_back(Boolean(row));
    for (const IntegerRow& row : integers)
        lists.integers.push_back(Integer(row));
    for (const DoubleRow& row : doubles)
        lists.doubles.push_back(Double(row));
    return lists;
}

ParameterDescriptionPtr CDescriptionPool::Parameter(const ParameterRow& row)
{
    const bool fittable = (row.flags & F) != 0;
    const bool optional = (row.flags & O) != 0;
    if (!row.share.empty()) {
        const auto found = m_parameters.find(row.share);
        if (found != m_parameters.end()) {
            const CParameterDescription& known = *found->second;
            if (known.GetName() != row.name || known.GetUnit() != row.unit ||
                known.GetDefaultValue() != row.defaultValue || known.IsFittable() != fittable ||
                known.IsOptional() != optional)
                Mismatch(row.share);
            return found->second;
        }
    }
    const ParameterDescriptionPtr made =
        boost::make_shared<CParameterDescription>(row.name, row.unit, row.defaultValue, fittable, optional);
    if (!row.share.empty())
        m_parameters[row.share] = made;
    return made;
}

BooleanOptionDescriptionPtr CDescriptionPool::Boolean(const BooleanRow& row)
{
    if (!row.share.empty()) {
        const auto found = m_booleans.find(row.share);
        if (found != m_booleans.end()) {
            if (found->second->GetName() != row.name || found->second->GetDefaultValue() != row.defaultValue)
                Mismatch(row.share);
            return found->second;
        }
    }
    const BooleanOptionDescriptionPtr made = boost::make_shared<CBooleanOptionDescription>(row.name, row.defaultValue);
    if (!row.share.empty())
        m_booleans[row.share] = made;
    return made;
}

IntegerOptionDescriptionPtr CDescriptionPool::Integer(const IntegerRow& row)
{
    if (!row.share.empty()) {
        const auto found = m_integers.find(row.share);
        if (found != m_integers.end()) {
            if (found->second->GetName() != row.name || found->second->GetDefaultValue() != row.defaultValue)
                Mismatch(row.share);
            return found->second;
        }
    }
    const IntegerOptionDescriptionPtr made = boost::make_shared<CIntegerOptionDescription>(row.name, row.defaultValue);
    if (!row.share.empty())
        m_integers[row.share] = made;
    return made;
}

DoubleOptionDescriptionPtr CDescriptionPool::Double(const DoubleRow& row)
{
    if (!row.share.empty()) {
        const auto found = m_doubles.find(row.share);
        if (found != m_doubles.end()) {
            if (found->second->GetName() != row.name || found->second->GetDefaultValue() != row.defaultValue)
                Mismatch(row.share);
            return found->second;
        }
    }
    const DoubleOptionDescriptionPtr made = boost::make_shared<CDoubleOptionDescription>(row.name, row.defaultValue);
    if (!row.share.empty())
        m_doubles[row.share] = made;
    return made;
}

}  // namespace FormTable
