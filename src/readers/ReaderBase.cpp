#include "readers/ReaderBase.h"

CFileReaderBase::~CFileReaderBase() = default;

void CFileReaderBase::ParseNumberToken(std::string_view token, std::vector<double>& series)
{
    if (token == "NaN") {
        series.push_back(series.empty() ? 0.0 : series.back());
        return;
    }
    series.push_back(ParseLeadingDecimal(token));
}
