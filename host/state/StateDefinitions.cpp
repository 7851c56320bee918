#include "host/state/StateDefinitions.h"

#include "com/regularfile.h"

#include "host/state/StateValues.h"
#include "qorqm/MessageText.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#ifndef QZ_HOST_DATA_DIR
#define QZ_HOST_DATA_DIR ""
#endif

namespace QzHost {

using nlohmann::ordered_json;

const EnumValue* StatePropertyDefinition::FindEnumValue(LONG value) const
{
    for (const EnumValue& entry : enumValues) {
        if (entry.value == value)
            return &entry;
    }
    return nullptr;
}

const EnumValue* StatePropertyDefinition::FindEnumText(const std::string& text) const
{
    for (const EnumValue& entry : enumValues) {
        if (entry.text == text)
            return &entry;
    }
    return nullptr;
}

const StatePropertyDefinition* LogicStateDefinition::Find(const std::string& name) const
{
    for (const StatePropertyDefinition& property : properties) {
        if (property.name == name)
            return &property;
    }
    return nullptr;
}

VARTYPE ScalarTypeFromName(const std::string& name)
{
    if (name == "string")
        return VT_BSTR;
    if (name == "long")
        return VT_I4;
    if (name == "double")
        return VT_R8;
    if (name == "bool")
        return VT_BOOL;
    return VT_EMPTY;
}

std::string ScalarTypeName(VARTYPE type)
{
    switch (type) {
    case VT_BSTR:
        return "string";
    case VT_I4:
        return "long";
    case VT_R8:
        return "double";
    case VT_BOOL:
        return "bool";
    default:
        return "vt " + std::to_string(type);
    }
}

namespace {

[[noreturn]] void Malformed(const std::string& where, const std::string& fault)
{
    throw KelvResult(E_FAIL, "State definitions " + where + ": " + fault);
}

std::string RequireText(const ordered_json& object, const char* key, const std::string& where)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string() || it->get<std::string>().empty())
        Malformed(where, std::string("\"") + key + "\" must be a non-empty text.");
    return it->get<std::string>();
}

StatePropertyDefinition ParseProperty(const ordered_json& entry, const std::string& where)
{
    if (!entry.is_object())
        Malformed(where, "a property must be an object.");
    StatePropertyDefinition property;
    property.name = RequireText(entry, "name", where);
    const std::string at = where + " property \"" + MessageText::Excerpt(property.name) + "\"";
    const std::string typeName = RequireText(entry, "type", at);
    const auto defaultIt = entry.find("default");
    const bool hasDefault = defaultIt != entry.end() && !defaultIt->is_null();

    try {
        if (const VARTYPE scalar = ScalarTypeFromName(typeName); scalar != VT_EMPTY) {
            property.kind = SBStatePropertyScalar;
            property.type = scalar;
            if (!hasDefault)
                Malformed(at, "a scalar property needs a default.");
            property.defaultValue = JsonToScalar(*defaultIt, scalar, at + " default");
            for (const char* bound : {"minimum", "exclusiveMinimum"}) {
                const auto found = entry.find(bound);
                if (found == entry.end())
                    continue;
                if ((scalar != VT_I4 && scalar != VT_R8) || !found->is_number() || property.hasMinimum)
                    Malformed(at, "one lower bound (\"minimum\" or \"exclusiveMinimum\") may be given, as a number, "
                                  "for a long or double property.");
                property.hasMinimum = true;
                property.minimum = found->get<double>();
                property.exclusiveMinimum = std::string(bound) == "exclusiveMinimum";
            }
            if (const auto values = entry.find("values"); values != entry.end()) {
                if ((scalar != VT_I4 && scalar != VT_BSTR) || !values->is_array() || values->empty())
                    Malformed(at, "\"values\" may be given, as a non-empty list, for a long or string property.");
                for (const ordered_json& value : *values) {
                    if (!value.is_object())
                        Malformed(at, "each of the values must be an object with its \"text\" (and a long's "
                                      "\"value\").");
                    EnumValue item;
                    item.text = RequireText(value, "text", at);
                    if (scalar == VT_I4)
                        item.value = JsonToScalar(value.contains("value") ? value["value"] : ordered_json(), VT_I4,
                                                  at + " value")
                                         .Long();
                    if ((scalar == VT_I4 && property.FindEnumValue(item.value)) || property.FindEnumText(item.text))
                        Malformed(at, "the values and their texts must be distinct.");
                    property.enumValues.push_back(item);
                }
                const bool listed = scalar == VT_I4 ? property.FindEnumValue(property.defaultValue.Long()) != nullptr
                                                    : property.FindEnumText(property.defaultValue.String()) != nullptr;
                if (!listed)
                    Malformed(at, "the default is not one of its values.");
            }
        } else if (typeName == "array") {
            property.kind = SBStatePropertyArray;
            property.type = ScalarTypeFromName(RequireText(entry, "element", at));
            if (property.type == VT_EMPTY)
                Malformed(at, "\"element\" must be string, long, double or bool.");
            property.defaultValue =
                JsonToArray(hasDefault ? *defaultIt : ordered_json::array(), property.type, at + " default");
        } else if (typeName == "enum") {
            property.kind = SBStatePropertyEnum;
            property.type = VT_I4;
            const auto values = entry.find("values");
            if (values == entry.end() || !values->is_array() || values->empty())
                Malformed(at, "an enum needs a non-empty \"values\" list.");
            for (const ordered_json& value : *values) {
                if (!value.is_object())
                    Malformed(at, "each enum value must be an object with \"value\" and \"text\".");
                EnumValue item;
                item.value = JsonToScalar(value.contains("value") ? value["value"] : ordered_json(), VT_I4, at + " value")
                                 .Long();
                item.text = RequireText(value, "text", at);
                if (property.FindEnumValue(item.value) || property.FindEnumText(item.text))
                    Malformed(at, "enum values and texts must be distinct.");
                property.enumValues.push_back(item);
            }
            LONG initial = property.enumValues.front().value;
            if (hasDefault) {
                const EnumValue* chosen = defaultIt->is_string()
                    ? property.FindEnumText(defaultIt->get<std::string>())
                    : (defaultIt->is_number_integer()
                          ? property.FindEnumValue(JsonToScalar(*defaultIt, VT_I4, at + " default").Long())
                          : nullptr);
                if (!chosen)
                    Malformed(at, "the default is not one of the enum's values.");
                initial = chosen->value;
            }
            property.defaultValue = KelvVariant(static_cast<int32_t>(initial));
        } else if (typeName == "coclass") {
            property.kind = SBStatePropertyCoClass;
            property.type = VT_UNKNOWN;
            if (hasDefault)
                Malformed(at, "a co-class property has no default value (name a \"progid\" instead).");
            if (const auto progId = entry.find("progid"); progId != entry.end() && !progId->is_null()) {
                if (!progId->is_string())
                    Malformed(at, "\"progid\" must be a text.");
                property.coClassProgId = progId->get<std::string>();
            }
        } else {
            Malformed(at, "unknown type \"" + MessageText::Excerpt(typeName) + "\".");
        }
    } catch (const KelvResult& error) {
        if (error.GetHRESULT() == E_FAIL)
            throw;
        throw KelvResult(E_FAIL, "State definitions " + error.GetMessage());
    }
    return property;
}

} // namespace

StateDefinitions StateDefinitions::Parse(const std::string& text, const std::string& origin)
{
    ordered_json document;
    try {
        document = ordered_json::parse(text);
    } catch (const std::exception& error) {
        Malformed(origin, "not valid JSON (" + MessageText::Excerpt(error.what()) + ").");
    }
    if (!document.is_object() || !document.contains("logics") || !document["logics"].is_array())
        Malformed(origin, "the file must hold an object with a \"logics\" list.");

    StateDefinitions result;
    std::set<std::string> logicNames;
    for (const ordered_json& logicEntry : document["logics"]) {
        if (!logicEntry.is_object())
            Malformed(origin, "each logic must be an object.");
        LogicStateDefinition logic;
        logic.logic = RequireText(logicEntry, "logic", origin);
        const std::string where = origin + " logic \"" + MessageText::Excerpt(logic.logic) + "\"";
        logic.extension = RequireText(logicEntry, "extension", where);
        if (!logicNames.insert(logic.logic).second)
            Malformed(where, "the logic is defined twice.");
        const auto properties = logicEntry.find("properties");
        if (properties != logicEntry.end()) {
            if (!properties->is_array())
                Malformed(where, "\"properties\" must be a list.");
            for (const ordered_json& entry : *properties) {
                StatePropertyDefinition property = ParseProperty(entry, where);
                if (logic.Find(property.name))
                    Malformed(where, "the property \"" + MessageText::Excerpt(property.name) + "\" is defined twice.");
                logic.properties.push_back(std::move(property));
            }
        }
        result.m_logics.push_back(std::move(logic));
    }
    return result;
}

StateDefinitions StateDefinitions::Load(const std::string& path)
{
    std::string text;
    std::string why;
    if (!RegularFile::ReadAll(path, text, why, RegularFile::Bound::Settings))
        Malformed("file \"" + path + "\"", "it " + (why == RegularFile::NotThere ? std::string("cannot be opened") : why) + ".");
    return Parse(text, "file \"" + path + "\"");
}

const LogicStateDefinition* StateDefinitions::Find(const std::string& logic) const
{
    for (const LogicStateDefinition& definition : m_logics) {
        if (definition.logic == logic)
            return &definition;
    }
    return nullptr;
}

namespace {

// "share/qzhost" beside the folder of the loaded host library ("" when the
// library's file cannot be found).
std::string FolderBesideLibrary()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&HostDataFolder), &info) == 0 || !info.dli_fname || !*info.dli_fname)
        return std::string();
    std::error_code error;
    const std::filesystem::path library = std::filesystem::canonical(info.dli_fname, error);
    if (error)
        return std::string();
    return (library.parent_path().parent_path() / "share" / "qzhost").string();
}

bool HoldsDefinitions(const std::string& folder)
{
    std::error_code error;
    return !folder.empty() && std::filesystem::is_regular_file(folder + "/state-definitions.json", error);
}

} // namespace

std::string HostDataFolder()
{
    if (const char* folder = std::getenv("QZ_HOST_DATA_DIR"); folder && *folder)
        return folder;
    // The build copies the data files beside the libraries, so a build (or
    // a copy of it) finds them from any working folder; the source folder
    // the build was made from is the fallback.
    static const std::string found = [] {
        for (const std::string& candidate : {FolderBesideLibrary(), std::string(QZ_HOST_DATA_DIR)}) {
            if (HoldsDefinitions(candidate))
                return candidate;
        }
        return std::string(QZ_HOST_DATA_DIR);
    }();
    return found;
}

std::string DefaultStateDefinitionsPath()
{
    if (const char* path = std::getenv("QZ_STATE_DEFINITIONS"); path && *path)
        return path;
    return HostDataFolder() + "/state-definitions.json";
}

} // namespace QzHost
