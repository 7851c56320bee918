// An in-memory host application over a project of the test's own, with the
// scope utility registered, for code that works on host documents.
#pragma once

#include <memory>
#include <string>

#include "common/TempFolder.h"
#include "host/HostApplication.h"
#include "host/model/ModelObjects.h"
#include "host/model/QsdFile.h"
#include "qorqm/ScopeUtility.h"

namespace QzTest {

class HostProject {
public:
    explicit HostProject(const std::string& label) : m_folder(label)
    {
        QzHost::HostConfiguration configuration;
        configuration.projectFolder = m_folder.Path() + "/project";
        configuration.connectModuleLogics = false;
        configuration.stateDefinitionsFile = std::string(QZ_TEST_DATA) + "/../../host/data/state-definitions.json";
        app = std::make_unique<QzHost::HostApplication>(configuration);
        QorQMUtilities::RegisterScopeUtility();
        root = KelvComPtr<ISBContainerRoot>(app->Root());
    }

    std::string Path(const std::string& name) const { return app->DocumentsFolder() + "/" + name; }

    // Saves the model as a project document and opens it.
    KelvComPtr<ISBDocumentRoot> Open(const HostModel::Document& model, const std::string& name)
    {
        HostModel::SaveQsd(model, Path(name + ".qsd"));
        return app->Documents().Open(Path(name + ".qsd"));
    }

private:
    TempFolder m_folder;

public:
    std::unique_ptr<QzHost::HostApplication> app;
    KelvComPtr<ISBContainerRoot> root;
};

}  // namespace QzTest
