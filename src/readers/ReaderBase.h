// The base of the readers of the engine's text output files.
//
// A reader is constructed with its file's path, reads the whole file in its
// constructor (through Read) and hands out its results through accessors
// afterwards; every failure leaves the constructor as a KelvResult
// (E_UNEXPECTED unless a reader says otherwise) whose message names the file
// kind, so a reader either holds the file's whole content or does not exist.
#pragma once

#include "readers/EngineLines.h"
#include "common/FieldParsing.h"

#include <string>
#include <string_view>
#include <vector>

class CFileReaderBase
{
public:
    virtual ~CFileReaderBase();

    // Reads the whole file.
    virtual void Read(const std::string& path) = 0;

    // Appends the token's value to the series. The token "NaN" (exactly)
    // repeats the series' last value, or gives 0.0 for an empty series, so
    // that a history keeps one value per step; any other token gives the
    // value of its leading decimal number (0.0 when it has none).
    static void ParseNumberToken(std::string_view token, std::vector<double>& series);

protected:
    CFileReaderBase() = default;
    CFileReaderBase(const CFileReaderBase&) = default;
    CFileReaderBase& operator=(const CFileReaderBase&) = default;
};

// The base of the readers of the files the engine writes while a job runs
// (".geomopt", ".mdynam"): a first value series with its start offset, which
// the history charts add to the running point number.
class CIntermediateFileReader : public CFileReaderBase
{
public:
    const std::vector<double>& GetSeries1() const { return m_series1; }
    int GetSeries1Offset() const { return m_series1Offset; }

protected:
    CIntermediateFileReader() = default;

    std::vector<double> m_series1;
    int m_series1Offset = 0;
};
