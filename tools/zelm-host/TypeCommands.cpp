#include "TypeCommands.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>

#include "CommandLine.h"
#include "DriverSupport.h"
#include "HostCommands.h"
#include "host/HostApplication.h"
#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "kelv/kelv.h"

namespace ZelmHost {

namespace fs = std::filesystem;

void TypeAtoms(const std::string& documentPath, const std::string& project, const std::vector<std::string>& assignments,
               bool clear, std::ostream& out)
{
    if (clear && !assignments.empty()) {
        Fail("--clear takes no --type");
    }
    std::map<std::string, std::string> typeOf;
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == assignment.size()) {
            Fail("--type takes ELEMENT=TYPE (e.g. C=C_3), not \"" + assignment + "\"");
        }
        typeOf[assignment.substr(0, equals)] = assignment.substr(equals + 1);
    }

    std::error_code error;
    const std::string file = Absolute(documentPath);
    if (const std::string why = NotAnInputFile(file); !why.empty()) {
        Fail("the document \"" + documentPath + "\" " + why);
    }
    const std::string folder = project.empty() ? fs::path(file).parent_path().string() : project;
    const QzHost::HostConfiguration configuration = ProjectConfiguration(folder, !project.empty());
    const DocumentChangeLock lock(folder, file);
    QzHost::HostApplication host(configuration);
    KelvComPtr<ISBDocumentRoot> root;
    const HRESULT found = host.Documents().FindDocument(KelvBSTR(file).Get(), root.Receive());
    KelvResult::Check(found);
    std::shared_ptr<HostModel::Document> document = root ? HostModel::DocumentOf(root.get()) : nullptr;
    if (found != S_OK || !document) {
        Fail("\"" + documentPath + "\" is not a structure document (.qsd) in the project folder \"" + folder + "\"");
    }

    // Element by element, in the order of first appearance.
    std::vector<std::pair<std::string, std::size_t>> counts;
    std::map<std::string, bool> used;
    for (const HostModel::Atom& atom : document->Atoms()) {
        if (!atom.IsSymmetryParent()) {
            continue;
        }
        const auto given = typeOf.find(atom.element);
        const std::string type = clear ? std::string() : given != typeOf.end() ? given->second : atom.element;
        if (given != typeOf.end()) {
            used[atom.element] = true;
        }
        document->SetForcefieldType(atom.handle, type);
        auto counted = std::find_if(counts.begin(), counts.end(),
                                    [&](const auto& entry) { return entry.first == atom.element; });
        if (counted == counts.end()) {
            counts.emplace_back(atom.element, 1);
        } else {
            ++counted->second;
        }
    }
    for (const auto& entry : typeOf) {
        if (!used[entry.first]) {
            Fail("--type " + entry.first + "=" + entry.second + ": the document has no atom of element \"" +
                 entry.first + "\"");
        }
    }
    if (counts.empty()) {
        Fail("\"" + documentPath + "\" has no atoms to type");
    }

    // The names are the document's: each is shown bounded and escaped.
    out << (clear ? "forcefield types removed from " : "forcefield types of ") << ShownName(document->Name())
        << ":\n";
    for (const auto& entry : counts) {
        const auto given = typeOf.find(entry.first);
        out << "  " << ShownName(entry.first) << " -> "
            << ShownName(clear ? std::string("none") : given != typeOf.end() ? given->second : entry.first) << " ("
            << entry.second << (entry.second == 1 ? " atom" : " atoms") << ")\n";
    }
    SaveNamedDocument(host.Documents(), root.get());
    out << "saved " << ShownText(document->Url()) << "\n";
}

void AddTypeCommands(CommandLine& commandLine)
{
    struct Arguments {
        std::string document;
        std::string project;
        std::vector<std::string> types;
        bool clear = false;
    };
    auto arguments = std::make_shared<Arguments>();
    CLI::App* command = commandLine.AddHostCommand(
        "types", "Assign forcefield types to a document's atoms (by element) and save it",
        [arguments](std::ostream& out) {
            TypeAtoms(arguments->document, arguments->project, arguments->types, arguments->clear, out);
        });
    command->add_option("document", arguments->document, "The .qsd document")->required();
    command->add_option("--project", arguments->project, "The project folder (default: the document's folder)");
    command->add_option("--type", arguments->types, "ELEMENT=TYPE: this type for the atoms of that element");
    command->add_flag("--clear", arguments->clear, "Remove every forcefield type");
}

}  // namespace ZelmHost
