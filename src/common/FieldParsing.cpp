#include "common/FieldParsing.h"

#include "common/ParseField.h"

double GetFieldAsDouble(std::string line, int n)
{
    return ParseField<double>(std::move(line), n);
}
