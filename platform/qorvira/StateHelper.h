// Typed access to the state properties of a logic: scalar values by key and
// one-dimensional arrays by key.
//
// A helper made over no state (default-constructed, or from two null
// pointers) is not valid; every read on it throws KelvResult E_UNEXPECTED.
// Reads through a valid helper throw the host's error for an unknown key
// and KelvResult (the conversion's HRESULT, naming the key) for a value that
// does not convert to the type asked for. The helper is copyable; copies
// share the state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hostapi/hostapi.h"
#include "kelv/kelv.h"

class CStateHelper
{
public:
    CStateHelper() noexcept = default;
    // The logic's state values and its state (the framework's logic base
    // gives both; they are normally the same object). Values are read from
    // the state values, or from the state when no values are given. Each
    // non-null pointer gets a reference of the helper's own.
    CStateHelper(ISBState* stateValues, ISBState* state) noexcept;
    CStateHelper(const CStateHelper&) = default;
    CStateHelper& operator=(const CStateHelper&) = default;
    virtual ~CStateHelper();

    // A new helper over the state of the logic `logicName` of the extension
    // `extensionName`, found through the container root. A missing extension
    // or logic throws KelvResult E_INVALIDARG naming it; a logic without a
    // state, E_UNEXPECTED; a null root, the framework's null-pointer error.
    static std::unique_ptr<CStateHelper> CreateStateHelper(ISBContainerRoot* root, const std::string& extensionName,
                                                           const std::string& logicName);

    // True when the helper has a state to read.
    bool IsValid() const noexcept;

    // The value of `key` converted to the type of `value`. On failure
    // `value` is left as it was.
    void GetStateValue(const std::string& key, LONG& value) const;
    void GetStateValue(const std::string& key, double& value) const;
    void GetStateValue(const std::string& key, bool& value) const;
    // Any value as text (a bool as "True" or "False").
    void GetStateValue(const std::string& key, std::string& value) const;

    // The elements of the array property `key`, in storage order, each
    // converted to the element type of `values`; they replace the vector's
    // contents. A property holding no value gives an empty vector; one
    // holding a value that is not an array throws KelvResult
    // DISP_E_TYPEMISMATCH. On failure `values` is left as it was.
    void GetStateArray(const std::string& key, std::vector<std::string>& values) const;
    void GetStateArray(const std::string& key, std::vector<LONG>& values) const;
    void GetStateArray(const std::string& key, std::vector<double>& values) const;
    void GetStateArray(const std::string& key, std::vector<bool>& values) const;

private:
    KelvVariant Read(const std::string& key) const;
    // Each element of the array value of `key`, converted to vt.
    std::vector<KelvVariant> ReadArray(const std::string& key, VARTYPE vt) const;

    KelvComPtr<ISBState> m_stateValues;
    KelvComPtr<ISBState> m_state;
};
