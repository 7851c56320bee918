#include "host/charts/DocumentTypes.h"

#include "host/charts/ChartDocument.h"
#include "host/charts/TextDocument.h"
#include "host/managers/HostCall.h"

#include "qorqm/PathUtilities.h"

namespace HostCharts {

using QzHost::Fail;

namespace {

ChartDocument& RequireChart(ISBDocumentRoot* document)
{
    ChartDocument* chart = ChartDocument::From(document);
    if (!chart)
        Fail(E_INVALIDARG, "The document is not a chart document of this application.");
    return *chart;
}

TextDocument& RequireText(ISBDocumentRoot* document)
{
    TextDocument* text = TextDocument::From(document);
    if (!text)
        Fail(E_INVALIDARG, "The document is not a text document of this application.");
    return *text;
}

// A document written to its own file is no longer modified; one exported
// elsewhere keeps its mark.
void Saved(FileDocument& document, const std::string& path)
{
    if (!document.Url().empty() && document.Url() == path)
        document.SetModifiedMark(false);
}

} // namespace

QzHost::DocumentType ChartDocumentType()
{
    QzHost::DocumentType type;
    type.progId = Chart2dDocumentProgId;
    type.extensions = {".qcd"};
    type.exporters = {ChartExporterProgId};
    type.create = [] { return KelvComPtr<ISBDocumentRoot>(ChartDocument::Create()); };
    type.open = [](const std::string& path) {
        DocumentHeader header;
        ChartList charts;
        try {
            ReadChartFile(path, header, charts);
        } catch (const ChartFileError& error) {
            Fail(E_FAIL, error.what());
        }
        if (header.name.empty())
            header.name = PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(path));
        KelvComPtr<ChartDocument> document = ChartDocument::Create();
        // A file without an identity gets the new document's own.
        if (header.id.empty())
            header.id = document->Header().id;
        document->Load(header, std::move(charts));
        return KelvComPtr<ISBDocumentRoot>(document);
    };
    type.save = [](ISBDocumentRoot* root, const std::string& path) {
        ChartDocument& document = RequireChart(root);
        try {
            WriteChartFile(path, document.Header(), document.Charts());
        } catch (const ChartFileError& error) {
            Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), error.what());
        }
        Saved(document, path);
    };
    type.setUrl = [](ISBDocumentRoot* root, const std::string& url) { RequireChart(root).SetUrl(url); };
    type.isModified = [](ISBDocumentRoot* root) { return RequireChart(root).IsModified(); };
    return type;
}

QzHost::DocumentType TextDocumentType()
{
    QzHost::DocumentType type;
    type.progId = TextDocumentProgId;
    // Engine decks and forcefield libraries of the project open as texts.
    type.extensions = {".txt", ".gin", ".lib"};
    type.exporters = {TextExporterProgId};
    type.create = [] { return KelvComPtr<ISBDocumentRoot>(TextDocument::Create()); };
    type.open = [](const std::string& path) {
        std::string text;
        try {
            text = ReadTextFile(path);
        } catch (const std::runtime_error& error) {
            Fail(E_FAIL, error.what());
        }
        KelvComPtr<TextDocument> document = TextDocument::Create();
        DocumentHeader header = document->Header();
        header.name = PathUtilities::ExtensionRemoved(PathUtilities::FileNameFromPath(path));
        document->SetHeader(header);
        document->Load(std::move(text));
        return KelvComPtr<ISBDocumentRoot>(document);
    };
    type.save = [](ISBDocumentRoot* root, const std::string& path) {
        TextDocument& document = RequireText(root);
        try {
            WriteTextFile(path, document.Text());
        } catch (const std::runtime_error& error) {
            Fail(HRESULT_FROM_WIN32(ERROR_CANTWRITE), error.what());
        }
        Saved(document, path);
    };
    type.setUrl = [](ISBDocumentRoot* root, const std::string& url) { RequireText(root).SetUrl(url); };
    type.isModified = [](ISBDocumentRoot* root) { return RequireText(root).IsModified(); };
    return type;
}

} // namespace HostCharts
