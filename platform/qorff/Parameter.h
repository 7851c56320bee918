// One parameter of one interaction, made from a (shared) description.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include <boost/shared_ptr.hpp>
#include <boost/smart_ptr/intrusive_ref_counter.hpp>

#include "qorff/ObjectWithName.h"
#include "qorff/ParameterDescription.h"

// A parameter starts at its description's default value, not to be fitted,
// with the description's unit and an empty quality text. Its default value
// and its unit can be changed per parameter (SetDefaultValue,
// SetCustomUnit) without touching the shared description.
class CParameter : public CObjectWithValue<double> {
public:
    // The parameter keeps the description alive. A null description throws
    // KelvResult (E_POINTER).
    explicit CParameter(const ParameterDescriptionPtr& description);

    const std::string& GetName() const { return m_description->GetName(); }
    const std::string& GetUnit() const;
    double GetDefaultValue() const { return m_default; }
    bool IsFittable() const { return m_description->IsFittable(); }
    bool IsOptional() const { return m_description->IsOptional(); }
    bool IsHidden() const { return m_description->IsHidden(); }
    bool IsToBeFitted() const { return m_texts.Flag(); }

    // Marking a parameter that is not fittable to be fitted throws
    // KelvResult (E_UNEXPECTED); clearing the mark always succeeds.
    void SetIsToBeFitted(bool toBeFitted);

    void SetDefaultValue(double value) { m_default = value; }
    void SetToDefaultValue() { SetValue(m_default); }

    // Replaces the unit text of this parameter only.
    void SetCustomUnit(const std::string& unit);
    bool HasCustomUnit() const { return m_texts && m_texts->hasCustomUnit; }

    const std::string& GetQuality() const;
    void SetQuality(const std::string& quality);

    const ParameterDescriptionPtr& GetDescription() const { return m_description; }

private:
    ParameterDescriptionPtr m_description;
    double m_default;
    // The texts few parameters have (a unit of their own, a fit's quality),
    // kept apart so that the parameters of every interaction of a big
    // library do not each carry two empty strings. Shared by copies and
    // never changed: a change makes new texts. Counted in place, so that
    // the handle is one pointer, whose lowest bit is the to-be-fitted flag.
    struct Texts : boost::intrusive_ref_counter<Texts> {
        std::string customUnit;
        std::string quality;
        bool hasCustomUnit = false;
    };
    class TextsHandle {
    public:
        TextsHandle() = default;
        TextsHandle(const TextsHandle& other) : m_bits(other.m_bits) { AddRef(); }
        TextsHandle& operator=(const TextsHandle& other)
        {
            TextsHandle copy(other);
            std::swap(m_bits, copy.m_bits);
            return *this;
        }
        ~TextsHandle() { Release(); }

        const Texts* get() const { return reinterpret_cast<const Texts*>(m_bits & ~FlagBit); }
        const Texts* operator->() const { return get(); }
        const Texts& operator*() const { return *get(); }
        explicit operator bool() const { return get() != nullptr; }
        // Takes a new reference to the texts; the flag stays.
        void Reset(const Texts* texts)
        {
            TextsHandle next;
            next.m_bits = reinterpret_cast<std::uintptr_t>(texts) | (m_bits & FlagBit);
            next.AddRef();
            std::swap(m_bits, next.m_bits);
        }
        bool Flag() const { return (m_bits & FlagBit) != 0; }
        void SetFlag(bool flag) { m_bits = (m_bits & ~FlagBit) | (flag ? FlagBit : 0); }

    private:
        static constexpr std::uintptr_t FlagBit = 1;
        void AddRef() const
        {
            if (const Texts* texts = get())
                intrusive_ptr_add_ref(texts);
        }
        void Release() const
        {
            if (const Texts* texts = get())
                intrusive_ptr_release(texts);
        }
        std::uintptr_t m_bits = 0;
    };
    TextsHandle m_texts;
};
