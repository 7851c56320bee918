#include "readers/FieldParsing.h"

#include "setup/ParseField.h"

double GetFieldAsDouble(std::string line, int n)
{
    return ParseField<double>(std::move(line), n);
}
