// The six COM objects of the forcefield editor on their own: identity, the
// method frame, array arguments, the interaction collection, option
// families, and objects kept past the end of what they show.
#include "ComHelpers.h"

#include "forcefield/com/ForcefieldTypeLibrary.h"
#include "forcefield/ZelmFunctionalForm.h"
#include "forcefield/com/PartWraps.h"

#include "common/FakeCom.h"


using namespace FfCom;

namespace {

struct Object {
    const char* label;
    KelvComPtr<IUnknown> unknown;
    const IID* iid;
    const CLSID* clsid;
};

} // namespace

class Wrappers : public EditorTest {
protected:
    std::vector<Object> All()
    {
        KelvComPtr<IQoServerDescription> server;
        EXPECT_EQ(editorCom->get_ServerDescription(server.Receive()), S_OK);
        KelvComPtr<IQoAtomType> atomType;
        EXPECT_EQ(forcefield->get_AtomType(B("Na core").Get(), atomType.Receive()), S_OK);
        const auto interaction = Interaction("Two-body", kNaCl, kBuck);
        const auto parameter = Parameter(interaction, 0);
        auto unknown = [](IUnknown* p) { return KelvComPtr<IUnknown>(p); };
        // Objects of their own: the table holds the only reference.
        const auto newEditor = CForcefieldEditorWrap::Create(editor);
        KelvComPtr<IQoForcefield> newForcefield;
        EXPECT_EQ(newEditor->get_Forcefield(newForcefield.Receive()), S_OK);
        return {{"editor", unknown(newEditor.get()), &IID_IQoForcefieldEditor, &QorZelm::CLSID_ZelmForcefieldEditor},
                {"forcefield", unknown(newForcefield.get()), &IID_IQoForcefield, &QorZelm::CLSID_ZelmForcefield},
                {"server", unknown(server.get()), &IID_IQoServerDescription, &QorZelm::CLSID_ZelmServerDescription},
                {"atom type", unknown(atomType.get()), &IID_IQoAtomType, &QorZelm::CLSID_ZelmAtomType},
                {"interaction", unknown(interaction.get()), &IID_IQoInteraction, &QorZelm::CLSID_ZelmInteraction},
                {"parameter", unknown(parameter.get()), &IID_IQoParameter, &QorZelm::CLSID_ZelmParameter}};
    }
};

TEST_F(Wrappers, IdentityOfTheSixObjects)
{
    const std::vector<Object> objects = All();
    for (const Object& object : objects) {
        SCOPED_TRACE(object.label);
        // One reference of the holder's own (the creator's one was handed over).
        EXPECT_EQ(object.unknown->AddRef(), 2u);
        EXPECT_EQ(object.unknown->Release(), 1u);
        const auto own = object.unknown.QueryInterface<IUnknown>();
        KelvComPtr<IUnknown> asInterface;
        EXPECT_EQ(object.unknown->QueryInterface(*object.iid, asInterface.ReceiveVoid()), S_OK);
        const auto errors = object.unknown.QueryInterface<ISupportErrorInfo>();
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(*object.iid), S_OK);
        EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_ISupportErrorInfo), S_OK);
        EXPECT_EQ(errors.QueryInterface<IUnknown>(), own);
        for (const Object& other : objects) {
            if (&other == &object)
                continue;
            void* refused = reinterpret_cast<void*>(0x1);
            EXPECT_EQ(object.unknown->QueryInterface(*other.iid, &refused), E_NOINTERFACE) << other.label;
            EXPECT_EQ(refused, nullptr);
            EXPECT_EQ(errors->InterfaceSupportsErrorInfo(*other.iid), S_FALSE) << other.label;
        }
    }

    // Every call that gives an object gives a new one; both show one model.
    KelvComPtr<IQoForcefield> again;
    ASSERT_EQ(editorCom->get_Forcefield(again.Receive()), S_OK);
    EXPECT_NE(again.get(), forcefield.get());
    ASSERT_EQ(again->put_Description(B("changed through one").Get()), S_OK);
    BSTR description = nullptr;
    ASSERT_EQ(forcefield->get_Description(&description), S_OK);
    EXPECT_EQ(Take(description), "changed through one");

    // The coclass texts the type library carries.
    const auto& coclasses = ForcefieldTypeLibrary::CoClasses();
    ASSERT_EQ(coclasses.size(), objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i)
        EXPECT_EQ(*coclasses[i].clsid, *objects[i].clsid);
    EXPECT_STREQ(coclasses[0].help, "Velomar: Forcefield editor component for ZELM");
}

TEST_F(Wrappers, MethodFrameClearsTheOutputAndNamesTheObjectInItsErrors)
{
    // A null output fails before the model is asked.
    struct NullOutput {
        const char* label;
        std::function<HRESULT()> call;
        const IID* iid;
        const CLSID* clsid;
    };
    const auto interaction = Interaction("Two-body", kNaCl, kBuck);
    const auto parameter = Parameter(interaction, 0);
    KelvComPtr<IQoAtomType> atomType;
    ASSERT_EQ(forcefield->get_AtomType(B("Na core").Get(), atomType.Receive()), S_OK);
    const std::vector<NullOutput> nulls = {
        {"Load", [&] { return editorCom->get_Load(B("/no/such.lib").Get(), nullptr); }, &IID_IQoForcefieldEditor,
         &QorZelm::CLSID_ZelmForcefieldEditor},
        {"AtomType", [&] { return forcefield->get_AtomType(B("nothing").Get(), nullptr); }, &IID_IQoForcefield,
         &QorZelm::CLSID_ZelmForcefield},
        {"Charge", [&] { return atomType->get_Charge(nullptr); }, &IID_IQoAtomType, &QorZelm::CLSID_ZelmAtomType},
        {"IsIntegerOptionEnabled", [&] { return interaction->get_IsIntegerOptionEnabled(0, nullptr); },
         &IID_IQoInteraction, &QorZelm::CLSID_ZelmInteraction},
        {"Quality", [&] { return parameter->get_Quality(nullptr); }, &IID_IQoParameter,
         &QorZelm::CLSID_ZelmParameter}};
    for (const NullOutput& test : nulls) {
        const Failure failure = Failed(test.call());
        EXPECT_EQ(failure.hr, E_POINTER) << test.label;
        EXPECT_EQ(failure.info.description, "No pointer supplied for output argument.") << test.label;
        EXPECT_EQ(failure.info.guid, *test.iid) << test.label;
        EXPECT_EQ(failure.info.source, GuidToString(*test.clsid)) << test.label;
    }

    // A model error keeps its code and text; the output stays cleared.
    IQoAtomType* out = reinterpret_cast<IQoAtomType*>(0x1);
    Failure failure = Failed(forcefield->get_AtomType(B("Xx core").Get(), &out));
    EXPECT_EQ(failure.hr, E_UNEXPECTED);
    EXPECT_EQ(failure.info.description, "Unknown atom type \"Xx core\"");
    EXPECT_EQ(out, nullptr);
    double value = 7.0;
    failure = Failed(interaction->get_DoubleOption(5, &value));
    EXPECT_EQ(failure.hr, E_UNEXPECTED);
    EXPECT_EQ(failure.info.description, "The double option index 5 is out of range (1 present).");
    EXPECT_EQ(value, 0.0);

    // put Charge has no frame and never fails; get Charge reads it back.
    EXPECT_EQ(atomType->put_Charge(-0.75), S_OK);
    EXPECT_EQ(atomType->get_Charge(&value), S_OK);
    EXPECT_EQ(value, -0.75);
}

TEST_F(Wrappers, AtomTypeArraysInAndOut)
{
    // A 2-D array with other lower bounds is read in storage order.
    SAFEARRAYBOUND bounds[2] = {{1, 5}, {2, -1}};
    SAFEARRAY* twoD = SafeArrayCreate(VT_BSTR, 2, bounds);
    ASSERT_NE(twoD, nullptr);
    KelvSafeArray owner(twoD);
    LONG first[2] = {5, -1};
    LONG second[2] = {5, 0};
    const KelvBSTR cl("Cl core"), na("Na core");
    ASSERT_EQ(SafeArrayPutElement(twoD, first, cl.Get()), S_OK);
    ASSERT_EQ(SafeArrayPutElement(twoD, second, na.Get()), S_OK);
    SAFEARRAY* unused = nullptr;
    ASSERT_EQ(forcefield->get_UnusedInteractionsOfType(B("Two-body").Get(), &twoD, &unused), S_OK)
        << QzTest::LastErrorText();
    const std::vector<std::string> forms = Take(unused);
    EXPECT_EQ(std::count(forms.begin(), forms.end(), kBuck), 0);
    EXPECT_GT(forms.size(), 10u);
    // The caller's array is as it was.
    EXPECT_EQ(twoD->cLocks, 0u);
    EXPECT_EQ(owner.Count(), 2u);
    BSTR element = nullptr;
    ASSERT_EQ(SafeArrayGetElement(twoD, first, &element), S_OK);
    EXPECT_EQ(Take(element), "Cl core");

    // Refused arrays, with the exact texts; the output stays null.
    KelvSafeArray variants(VT_VARIANT, 2);
    SAFEARRAY* variantArray = variants.Get();
    Names unreadable({"Na core", "Cl core"});
    SAFEARRAY** unreadableArray = unreadable.In();
    (*unreadableArray)->fFeatures &= static_cast<USHORT>(~FADF_HAVEVARTYPE);
    SAFEARRAY* none = nullptr;
    struct Refused {
        SAFEARRAY** array;
        const char* text;
    };
    for (const Refused& test : {Refused{&variantArray, "inconsistent SafeArray types"},
                                Refused{unreadableArray, "inconsistent SafeArray types"},
                                Refused{&none, "Null SafeArray pointer specified."},
                                Refused{nullptr, "Null SafeArray pointer specified."}}) {
        SAFEARRAY* out = reinterpret_cast<SAFEARRAY*>(0x1);
        const Failure failure = Failed(forcefield->get_UnusedInteractionsOfType(B("Two-body").Get(), test.array, &out));
        EXPECT_EQ(failure.hr, E_FAIL);
        EXPECT_EQ(failure.info.description, test.text);
        EXPECT_EQ(out, nullptr);
    }
    (*unreadableArray)->fFeatures |= FADF_HAVEVARTYPE;

    // Zero elements, lower bound 0: a forcefield without atom types.
    for (const char* name : {"Na core", "Cl core", "O core", "O shel"})
        ASSERT_EQ(forcefield->RemoveAtomType(B(name).Get()), S_OK);
    SAFEARRAY* names = nullptr;
    ASSERT_EQ(forcefield->get_AtomTypes(&names), S_OK);
    EXPECT_TRUE(Take(names).empty());
}

TEST_F(Wrappers, InteractionCollections)
{
    auto count = [&](const std::vector<std::string>& atoms, HRESULT expected = S_OK) {
        Names names(atoms);
        KelvComPtr<ISDVariantDataDimension> collection;
        EXPECT_EQ(forcefield->get_Interactions(B("Two-body").Get(), names.In(), collection.Receive()), expected);
        LONG n = -1;
        if (collection) {
            EXPECT_EQ(collection->get_Count(&n), S_OK);
            for (LONG i = 1; i <= n; ++i) {
                KelvVariant item;
                EXPECT_EQ(collection->Item(i, item.Receive()), S_OK);
                EXPECT_TRUE(KelvComPtr<IQoInteraction>::QueryFrom(item.ExtractUnknown().get()));
            }
        }
        return n;
    };
    EXPECT_EQ(count({"Na core", "O core"}), 0);
    KelvComPtr<IQoInteraction> added;
    Names naCl(kNaCl);
    ASSERT_EQ(forcefield->get_AddInteraction(B("Two-body").Get(), naCl.In(), B(kBuck).Get(), added.Receive()), S_OK);
    INT id = -1;
    EXPECT_EQ(added->get_Id(&id), S_OK);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(count({"Cl core", "Na core"}), 2);

    // A collection the host cannot make fails the call, also when empty.
    struct Refusing final : QzTest::Fake<IClassFactory> {
        HRESULT CreateInstance(IUnknown*, REFIID, void** out) override
        {
            *out = nullptr;
            return E_OUTOFMEMORY;
        }
        HRESULT LockServer(BOOL) override { return S_OK; }
    };
    const auto refusing = QzTest::Make<Refusing>();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_SDVariantDataDimension, refusing.get(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(count({"Na core", "O core"}, E_OUTOFMEMORY), -1);
    CoRevokeClassObject(cookie);
}

TEST_F(Wrappers, OptionFamilies)
{
    const auto buck = Interaction("Two-body", kNaCl, kBuck);
    const auto spring = Interaction("Core-Shell", {"O core"}, "Spring (spri)");
    using I = IQoInteraction;
    struct Family {
        const char* kind;
        HRESULT (I::*count)(INT*);
        HRESULT (I::*names)(SAFEARRAY**);
        HRESULT (I::*name)(INT, BSTR*);
        HRESULT (I::*enabled)(INT, VARIANT_BOOL*);
    };
    const Family integer{"integer", &I::get_IntegerOptionCount, &I::get_IntegerOptionNames, &I::get_IntegerOptionName,
                         &I::get_IsIntegerOptionEnabled};
    const Family boolean{"boolean", &I::get_BooleanOptionCount, &I::get_BooleanOptionNames, &I::get_BooleanOptionName,
                         &I::get_IsBooleanOptionEnabled};
    const Family real{"double", &I::get_DoubleOptionCount, &I::get_DoubleOptionNames, &I::get_DoubleOptionName,
                      &I::get_IsDoubleOptionEnabled};
    struct Expected {
        I* interaction;
        const Family& family;
        INT count;
    };
    for (const Expected& expected : {Expected{buck.get(), integer, 0}, Expected{buck.get(), boolean, 11},
                                     Expected{buck.get(), real, 1}, Expected{spring.get(), real, 0}}) {
        const Family& family = expected.family;
        I* interaction = expected.interaction;
        SCOPED_TRACE(std::string(family.kind) + (interaction == buck.get() ? " buck" : " spring"));
        INT count = -1;
        ASSERT_EQ((interaction->*family.count)(&count), S_OK);
        EXPECT_EQ(count, expected.count);
        SAFEARRAY* array = nullptr;
        ASSERT_EQ((interaction->*family.names)(&array), S_OK);
        const std::vector<std::string> names = Take(array);
        ASSERT_EQ(names.size(), static_cast<std::size_t>(count));
        for (INT k = 0; k < count; ++k) {
            BSTR name = nullptr;
            EXPECT_EQ((interaction->*family.name)(k, &name), S_OK);
            EXPECT_EQ(Take(name), names[k]);
        }
        for (INT bad : {count, -1}) {
            VARIANT_BOOL enabled = VARIANT_TRUE;
            EXPECT_EQ((interaction->*family.enabled)(bad, &enabled), E_UNEXPECTED) << bad;
            EXPECT_EQ(enabled, VARIANT_FALSE);
        }
    }
}

TEST_F(Wrappers, ObjectsKeptPastTheEndOfWhatTheyShow)
{
    KelvComPtr<IQoAtomType> removedType;
    ASSERT_EQ(forcefield->get_AtomType(B("Cl core").Get(), removedType.Receive()), S_OK);
    const auto removedInteraction = Interaction("Two-body", kNaCl, kBuck);
    const auto spring = Interaction("Core-Shell", {"O core"}, "Spring (spri)");
    const auto springK = Parameter(spring, 0);

    // A polynomial of order 5 has eight parameters; order 1 leaves four.
    Names naO({"Na core", "O shel"});
    KelvComPtr<IQoInteraction> poly;
    ASSERT_EQ(forcefield->get_AddInteraction(B("Two-body").Get(), naO.In(), B("Polynomial (poly)").Get(),
                                             poly.Receive()),
              S_OK);
    const auto last = Parameter(poly, 5);
    const auto first = Parameter(poly, 0);
    ASSERT_EQ(first->put_Value(3.5), S_OK);
    ASSERT_EQ(poly->put_IntegerOption(0, 1), S_OK) << QzTest::LastErrorText();
    EXPECT_EQ(Value(first), 0.0); // the rebuilt list's "coefficient0"
    double value = 1.0;
    const Failure failure = Failed(last->get_Value(&value));
    EXPECT_EQ(failure.hr, E_UNEXPECTED);
    EXPECT_EQ(failure.info.description, "The parameter \"coefficient5\" of this \"poly\" interaction no longer exists.");
    EXPECT_EQ(failure.info.guid, IID_IQoParameter);

    ASSERT_EQ(forcefield->RemoveInteraction(B("Core-Shell").Get(), B("Spring (spri)").Get(), Names({"O core"}).In(), 0),
              S_OK);
    ASSERT_EQ(forcefield->RemoveAtomType(B("Cl core").Get()), S_OK); // ends Na-Cl too
    // The editor loads again and then goes: only the COM objects hold on.
    KelvComPtr<IQoForcefield> reloaded;
    ASSERT_EQ(editorCom->get_Load(B(path).Get(), reloaded.Receive()), S_OK);
    editor.reset();

    EXPECT_EQ(Value(springK), 74.92);
    EXPECT_EQ(springK->put_Value(70.0), S_OK);
    INT id = -1;
    EXPECT_EQ(removedInteraction->get_Id(&id), S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(removedType->get_Name(&name), S_OK);
    EXPECT_EQ(Take(name), "Cl core");
    EXPECT_EQ(removedType->put_Charge(2.0), S_OK);
    EXPECT_EQ(Failed(removedType->put_Name(B("Ck core").Get())).info.description,
              "The atom type \"Cl core\" is no longer in the forcefield.");
    SAFEARRAY* names = nullptr;
    ASSERT_EQ(forcefield->get_AtomTypes(&names), S_OK);
    EXPECT_EQ(Take(names), (std::vector<std::string>{"Na core", "O core", "O shel"}));
    ASSERT_EQ(reloaded->get_AtomTypes(&names), S_OK);
    EXPECT_EQ(Take(names).size(), 4u);
    KelvComPtr<IQoForcefield> current;
    ASSERT_EQ(editorCom->get_Forcefield(current.Receive()), S_OK);
    BSTR loaded = nullptr;
    ASSERT_EQ(editorCom->get_LoadedFilePath(&loaded), S_OK);
    EXPECT_EQ(Take(loaded), path);
}

TEST_F(Wrappers, ParameterObjectFollowsItsParameterThroughARebuiltList)
{
    // "k3" on puts the constant before "theta0"; off takes it away again.
    Names atoms({"O shel", "Na core", "Cl core"});
    KelvComPtr<IQoInteraction> thre;
    ASSERT_EQ(forcefield->get_AddInteraction(B("Three-body").Get(), atoms.In(), B("Three-body (thre)").Get(),
                                             thre.Receive()),
              S_OK)
        << QzTest::LastErrorText();
    const INT k3Option = 3;
    ASSERT_EQ(thre->put_BooleanOption(k3Option, VARIANT_TRUE), S_OK) << QzTest::LastErrorText();
    const auto k3 = Parameter(thre, 1);
    const auto theta0 = Parameter(thre, 2);
    ASSERT_EQ(thre->put_BooleanOption(k3Option, VARIANT_FALSE), S_OK) << QzTest::LastErrorText();

    ASSERT_EQ(theta0->put_Value(99.0), S_OK) << QzTest::LastErrorText();
    BSTR name = nullptr;
    ASSERT_EQ(theta0->get_Name(&name), S_OK);
    EXPECT_EQ(Take(name), "theta0");
    EXPECT_EQ(Value(Parameter(thre, 1)), 99.0);
    EXPECT_EQ(Value(Parameter(thre, 2)), 0.0) << "rmin(1-2) untouched";

    double value = 1.0;
    const Failure gone = Failed(k3->get_Value(&value));
    EXPECT_EQ(gone.hr, E_UNEXPECTED);
    EXPECT_EQ(gone.info.description, "The parameter \"k3\" of this \"thre\" interaction no longer exists.");
    EXPECT_EQ(Failed(k3->put_Value(5.0)).hr, E_UNEXPECTED);
}

// "bsm" has a harmonic and an exponential "K"; the option that swaps them
// ends the object of the one swapped out instead of handing it the other.
TEST_F(Wrappers, ParameterObjectOfASwappedOutNamesakeFailsClearly)
{
    Names atoms({"O core"});
    KelvComPtr<IQoInteraction> bsm;
    ASSERT_EQ(forcefield->get_AddInteraction(B("Core-Shell").Get(), atoms.In(), B("Breathing shell model (bsm)").Get(),
                                             bsm.Receive()),
              S_OK)
        << QzTest::LastErrorText();
    const auto harmonicK = Parameter(bsm, 0);
    ASSERT_EQ(harmonicK->put_Value(12.5), S_OK);
    const INT exponential = 0;
    ASSERT_EQ(bsm->put_BooleanOption(exponential, VARIANT_TRUE), S_OK) << QzTest::LastErrorText();

    const Failure gone = Failed(harmonicK->put_Value(7.0));
    EXPECT_EQ(gone.hr, E_UNEXPECTED);
    EXPECT_EQ(gone.info.description, "The parameter \"K\" (eV/\xC5^2) of this \"bsm\" interaction no longer exists.");
    const auto exponentialK = Parameter(bsm, 0);
    BSTR unit = nullptr;
    ASSERT_EQ(exponentialK->get_Unit(&unit), S_OK);
    EXPECT_EQ(Take(unit), "eV");
    EXPECT_EQ(Value(exponentialK), 0.0) << "the exponential K was not written through the harmonic one's object";
}

TEST_F(Wrappers, ParameterMembersAnswerForTheirOwnParameter)
{
    // A form with a hidden parameter, which the engine's forms do not have.
    auto description = [](const char* name, double defaultValue, bool fittable, bool hidden) {
        return boost::make_shared<CParameterDescription>(name, "eV", defaultValue, fittable, false, hidden);
    };
    const auto form = boost::make_shared<CZelmFunctionalForm>(
        "Test (xtes)", "xtes",
        ParameterDescriptionList{description("A", 2.5, true, false), description("h", -1.0, true, true),
                                 description("rmax", 10.0, false, false)},
        BooleanOptionDescriptionList{}, IntegerOptionDescriptionList{}, DoubleOptionDescriptionList{});
    const auto interaction = CInteractionWrap::Create(boost::make_shared<CInteraction>(form));

    struct Expected {
        LONG index;
        double defaultValue;
        bool fittable;
        bool hidden;
    };
    for (const Expected& expected : {Expected{0, 2.5, true, false}, Expected{1, -1.0, true, true},
                                     Expected{2, 10.0, false, false}}) {
        SCOPED_TRACE(expected.index);
        // Two objects over one parameter: what one changes the other reads.
        const auto parameter = Parameter(interaction, expected.index);
        const auto other = Parameter(interaction, expected.index);
        EXPECT_NE(parameter.get(), other.get());
        VARIANT_BOOL flag = VARIANT_TRUE;
        ASSERT_EQ(parameter->get_IsFittable(&flag), S_OK);
        EXPECT_EQ(flag, expected.fittable ? VARIANT_TRUE : VARIANT_FALSE);
        ASSERT_EQ(parameter->get_IsHidden(&flag), S_OK);
        EXPECT_EQ(flag, expected.hidden ? VARIANT_TRUE : VARIANT_FALSE);

        ASSERT_EQ(parameter->put_Value(7.0), S_OK);
        EXPECT_EQ(Value(other), 7.0);
        double defaultValue = 0.0;
        ASSERT_EQ(other->get_DefaultValue(&defaultValue), S_OK);
        EXPECT_EQ(defaultValue, expected.defaultValue);
        ASSERT_EQ(other->SetToDefaultValue(), S_OK);
        EXPECT_EQ(Value(parameter), expected.defaultValue);

        ASSERT_EQ(parameter->put_Quality(B("from the fit").Get()), S_OK);
        BSTR quality = nullptr;
        ASSERT_EQ(other->get_Quality(&quality), S_OK);
        EXPECT_EQ(Take(quality), "from the fit");

        // Marking for the fit changes that flag only.
        if (expected.fittable) {
            ASSERT_EQ(parameter->put_IsToBeFitted(VARIANT_TRUE), S_OK);
            ASSERT_EQ(other->get_IsToBeFitted(&flag), S_OK);
            EXPECT_EQ(flag, VARIANT_TRUE);
            ASSERT_EQ(other->get_IsHidden(&flag), S_OK);
            EXPECT_EQ(flag, expected.hidden ? VARIANT_TRUE : VARIANT_FALSE);
        }
    }
}

TEST_F(Wrappers, DoubleOptionSetThroughTheInteraction)
{
    const auto buck = Interaction("Two-body", kNaCl, kBuck);
    VARIANT_BOOL enabled = VARIANT_FALSE;
    ASSERT_EQ(buck->get_IsDoubleOptionEnabled(0, &enabled), S_OK);
    ASSERT_EQ(enabled, VARIANT_TRUE);
    ASSERT_EQ(buck->put_DoubleOption(0, 0.5), S_OK) << QzTest::LastErrorText();
    double value = 0.0;
    ASSERT_EQ(Interaction("Two-body", kNaCl, kBuck)->get_DoubleOption(0, &value), S_OK);
    EXPECT_EQ(value, 0.5);
    EXPECT_EQ(buck->put_DoubleOption(1, 0.5), E_UNEXPECTED);
}

TEST_F(Wrappers, FunctionalFormNamesOfEachInteractionType)
{
    KelvComPtr<IQoServerDescription> server;
    ASSERT_EQ(editorCom->get_ServerDescription(server.Receive()), S_OK);
    const CServerDescription& model = editor->GetServerDescription();
    SAFEARRAY* array = nullptr;
    ASSERT_EQ(server->get_InteractionTypeNames(&array), S_OK);
    const std::vector<std::string> types = Take(array);
    ASSERT_EQ(types.size(), 5u);
    for (const std::string& type : types) {
        ASSERT_EQ(server->get_FunctionalFormNamesOfType(B(type).Get(), &array), S_OK) << type;
        const std::list<std::string> forms = model.GetInteractionType(type)->GetFunctionalFormNames();
        EXPECT_EQ(Take(array), std::vector<std::string>(forms.begin(), forms.end())) << type;
    }
    array = reinterpret_cast<SAFEARRAY*>(0x1);
    const Failure failure = Failed(server->get_FunctionalFormNamesOfType(B("Five-body").Get(), &array));
    EXPECT_EQ(failure.hr, E_UNEXPECTED);
    EXPECT_EQ(failure.info.description, "Unknown interaction type \"Five-body\"");
    EXPECT_EQ(array, nullptr);
}
