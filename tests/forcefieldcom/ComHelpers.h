// Calling the forcefield editor's COM objects from a test: arrays and
// strings in and out, and an editor loaded with a library of the test's own.
#pragma once

#include "forcefield/ZelmForcefieldEditor.h"
#include "forcefield/com/EditorWraps.h"
#include "common/BstrSafeArray.h"

#include "host/model/ModelClasses.h"

#include "common/ErrorInfo.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <string>
#include <vector>

namespace FfCom {

// Takes over a BSTR the callee handed out.
inline std::string Take(BSTR text)
{
    const std::string narrow = NarrowFromBSTR(text);
    SysFreeString(text);
    return narrow;
}

// Takes over a one-dimensional BSTR array handed out; its lower bound must be 0.
inline std::vector<std::string> Take(SAFEARRAY* array)
{
    std::vector<std::string> texts;
    if (!array) {
        ADD_FAILURE() << "null array";
        return texts;
    }
    KelvSafeArray owner(array);
    LONG lower = -1;
    EXPECT_EQ(SafeArrayGetLBound(array, 1, &lower), S_OK);
    EXPECT_EQ(lower, 0);
    for (LONG i = 0; i < static_cast<LONG>(owner.Count()); ++i)
        texts.push_back(owner.GetString(i));
    return texts;
}

// An atom-type argument.
struct Names {
    explicit Names(const std::vector<std::string>& texts) : array(ZelmArrays::StringListToBstrArray(texts)) {}
    SAFEARRAY** In()
    {
        raw = array.Get();
        return &raw;
    }
    KelvSafeArray array;
    SAFEARRAY* raw = nullptr;
};

inline KelvBSTR B(const std::string& text)
{
    return KelvBSTR(text);
}

// The error information the last failing call left.
struct Failure {
    HRESULT hr;
    QzTest::ErrorInfoText info;
};
inline Failure Failed(HRESULT hr)
{
    return {hr, QzTest::TakeErrorInfo()};
}

inline std::string Data(const std::string& name)
{
    return std::string(QZ_TEST_DATA) + "/forcefieldcom/" + name;
}

// An editor over a copy of a library in a folder of the test's own, and its
// COM object.
class EditorTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(HostModel::RegisterModelClasses())); // the host's variant collection
        Load(QzTest::ReadFile(Data("edit.lib")));
    }

    void Load(const std::string& text)
    {
        path = folder.Write("edit.lib", text);
        editor = boost::make_shared<CZelmForcefieldEditor>();
        editor->Load(path);
        editorCom = CForcefieldEditorWrap::Create(editor);
        ASSERT_EQ(editorCom->get_Forcefield(forcefield.Receive()), S_OK);
    }

    KelvComPtr<IQoInteraction> Interaction(const std::string& type, const std::vector<std::string>& atoms,
                                           const std::string& form, int id = 0)
    {
        KelvComPtr<IQoInteraction> interaction;
        Names names(atoms);
        EXPECT_EQ(forcefield->get_Interaction(B(type).Get(), names.In(), B(form).Get(), id, interaction.Receive()), S_OK)
            << QzTest::LastErrorText();
        return interaction;
    }

    KelvComPtr<IQoParameter> Parameter(const KelvComPtr<IQoInteraction>& interaction, LONG index)
    {
        KelvComPtr<IQoParameter> parameter;
        EXPECT_EQ(interaction->get_Parameter(index, parameter.Receive()), S_OK) << QzTest::LastErrorText();
        return parameter;
    }

    static double Value(const KelvComPtr<IQoParameter>& parameter)
    {
        double value = -1.0;
        EXPECT_EQ(parameter->get_Value(&value), S_OK) << QzTest::LastErrorText();
        return value;
    }

    QzTest::TempFolder folder{"ffcom"};
    std::string path;
    boost::shared_ptr<CZelmForcefieldEditor> editor;
    KelvComPtr<IQoForcefieldEditor> editorCom;
    KelvComPtr<IQoForcefield> forcefield;
};

inline const char* const kBuck = "Buckingham (buck)";
inline const std::vector<std::string> kNaCl{"Na core", "Cl core"};

} // namespace FfCom
