// Run settings held in maps, for the line builders.
#pragma once

#include "setup/KeywordLines.h"

#include <map>
#include <string>

class FakeSettings : public ZelmLines::RunSettingsView
{
public:
    long task = 1;
    bool periodic = false;
    bool canDoNonGamma = true;
    std::string library = "mylib";
    std::map<std::string, long> longs;
    std::map<std::string, double> doubles;
    mutable int nonGammaQueries = 0;

    long Task() const override { return task; }
    bool Periodic() const override { return periodic; }
    bool Flag(const char* key) const override { return Long(key) == 1; }
    long Long(const char* key) const override
    {
        auto found = longs.find(key);
        return found == longs.end() ? 0 : found->second;
    }
    double Double(const char* key) const override
    {
        auto found = doubles.find(key);
        return found == doubles.end() ? 0.0 : found->second;
    }
    std::string LibraryName() const override { return library; }
    bool CanDoPhononNonGamma() const override
    {
        ++nonGammaQueries;
        return canDoNonGamma;
    }
};
