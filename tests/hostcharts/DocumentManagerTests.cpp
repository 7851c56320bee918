// Chart and text documents through the application's document manager:
// made by ProgID, found again, exported, written by Synchronize, and read
// back in a later session; a malformed chart file is refused clearly.

#include "host/HostApplication.h"
#include "host/charts/ChartDocument.h"
#include "host/charts/DocumentTypes.h"
#include "host/charts/TextDocument.h"

#include "common/ErrorInfo.h"
#include "common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace HostCharts;

namespace fs = std::filesystem;

namespace {

struct Session {
    explicit Session(const QzTest::TempFolder& folder)
        : app([&] {
              QzHost::HostConfiguration configuration;
              configuration.projectFolder = folder.File("project");
              configuration.connectModuleLogics = false;
              return configuration;
          }())
    {
    }
    QzHost::HostApplication app;
    ISBDocumentManager& Documents() { return app.Documents(); }
    std::string Docs() const { return app.DocumentsFolder(); }

    KelvComPtr<ISBDocumentRoot> New(const char* progId, const std::string& path, const std::string& name = "")
    {
        KelvComPtr<ISBDocumentRoot> document;
        KelvBSTR type(progId), where(path);
        const KelvVariant title = name.empty() ? KelvVariant() : KelvVariant(name);
        EXPECT_EQ(S_OK, Documents().NewProjectDocument(type.Get(), where.Get(), 0, title.Get(), document.Receive()))
            << QzTest::LastErrorText();
        return document;
    }
    KelvComPtr<ISBDocumentRoot> Find(const std::string& path, HRESULT expected = S_OK)
    {
        KelvComPtr<ISBDocumentRoot> document;
        KelvBSTR where(path);
        EXPECT_EQ(expected, Documents().FindDocument(where.Get(), document.Receive())) << QzTest::LastErrorText();
        return document;
    }
};

std::string UrlOf(ISBDocumentRoot* document)
{
    KelvBSTR url;
    EXPECT_EQ(S_OK, document->get_DocumentURL(url.Receive()));
    return url.ToTString();
}

// Lays out the chart a geometry optimisation shows: two graphs.
void FillChart(ISBDocumentRoot* root)
{
    KelvComPtr<ISDChart2dDocument> document = root ? KelvComPtr<ISDChart2dDocument>::QueryFrom(root) : nullptr;
    ASSERT_TRUE(document);
    KelvComPtr<ISDChart2dCollection> charts;
    ASSERT_EQ(S_OK, document->get_Charts(charts.Receive()));
    KelvComPtr<ISDChart2d> chart;
    ASSERT_EQ(S_OK, charts->Item(1, chart.Receive()));
    KelvBSTR title("Quartz Energies"), x("Step"), y("Energy (eV)");
    chart->put_Title(title.Get());
    chart->put_XAxisTitle(x.Get());
    chart->put_YAxisTitle(y.Get());
    KelvComPtr<ISDChart2dGraphs> graphs;
    ASSERT_EQ(S_OK, chart->get_Graphs(graphs.Receive()));
    for (const char* name : {"Energy", "Tolerance"}) {
        KelvComPtr<ISDChart2dGraph> graph;
        KelvBSTR text(name);
        ASSERT_EQ(S_OK, graphs->Add(text.Get(), graph.Receive()));
        for (int step = 1; step <= 3; ++step)
            graph->AddPoint(step, -100.0 / step, step);
    }
}

} // namespace

TEST(ChartDocuments, ProjectDocumentsAreMadeByProgIdAndFoundAgain)
{
    QzTest::TempFolder folder("charts");
    Session s(folder);
    KelvComPtr<ISBDocumentRoot> chart =
        s.New(Chart2dDocumentProgId, s.Docs() + "/res/Quartz Energies", "Quartz Energies");
    KelvComPtr<ISBDocumentRoot> text = s.New(TextDocumentProgId, "res/Status");
    ASSERT_TRUE(chart && text);
    EXPECT_EQ(s.Docs() + "/res/Quartz Energies.qcd", UrlOf(chart.get()));
    EXPECT_EQ(s.Docs() + "/res/Status.txt", UrlOf(text.get()));
    // Both are written at once, so they exist as files of the project.
    EXPECT_TRUE(fs::is_regular_file(s.Docs() + "/res/Quartz Energies.qcd"));
    EXPECT_EQ("", QzTest::ReadFile(s.Docs() + "/res/Status.txt"));
    EXPECT_NE(nullptr, ChartDocument::From(chart.get()));
    EXPECT_NE(nullptr, TextDocument::From(text.get()));

    EXPECT_EQ(chart.get(), s.Find(s.Docs() + "/res/Quartz Energies.qcd").get());
    EXPECT_EQ(text.get(), s.Find(s.Docs() + "/res/Status.txt").get());

    KelvComPtr<ISBDocumentRoot> scratch;
    KelvBSTR type(Chart2dDocumentProgId);
    ASSERT_EQ(S_OK, s.Documents().NewPrivateDocument(type.Get(), KelvVariant().Get(), scratch.Receive()));
    EXPECT_EQ("", UrlOf(scratch.get()));
    EXPECT_TRUE(KelvComPtr<ISDChart2dDocument>::QueryFrom(scratch.get()));
}

TEST(ChartDocuments, SynchronizeWritesModifiedDocumentsAndALaterSessionReadsThem)
{
    QzTest::TempFolder folder("charts");
    std::string chartPath, textPath;
    ChartList written;
    {
        Session s(folder);
        KelvComPtr<ISBDocumentRoot> chart = s.New(Chart2dDocumentProgId, "Quartz Energies");
        KelvComPtr<ISBDocumentRoot> text = s.New(TextDocumentProgId, "Status");
        chartPath = UrlOf(chart.get());
        textPath = UrlOf(text.get());
        FillChart(chart.get());
        KelvBSTR status("Run \xC5 finished\n");
        ASSERT_EQ(S_OK, KelvComPtr<ISDTextDocument>::QueryFrom(text.get())->put_Text(status.Get()));
        ASSERT_EQ(S_OK, s.Documents().Synchronize());
        EXPECT_EQ("Run \xC5 finished\n", QzTest::ReadFile(textPath));
        written = ChartDocument::From(chart.get())->Charts();

        // Nothing changed since: nothing is written again.
        fs::remove(chartPath);
        fs::remove(textPath);
        ASSERT_EQ(S_OK, s.Documents().Synchronize());
        EXPECT_FALSE(fs::exists(chartPath));
        EXPECT_FALSE(fs::exists(textPath));
        // A new point is written.
        KelvComPtr<ISDChart2dCollection> charts;
        KelvComPtr<ISDChart2d> first;
        KelvComPtr<ISDChart2dGraphs> graphs;
        KelvComPtr<ISDChart2dGraph> graph;
        KelvComPtr<ISDChart2dDocument>::QueryFrom(chart.get())->get_Charts(charts.Receive());
        charts->Item(1, first.Receive());
        first->get_Graphs(graphs.Receive());
        graphs->Item(1, graph.Receive());
        graph->AddPoint(4, -25, 4);
        ASSERT_EQ(S_OK, s.Documents().Synchronize());
        EXPECT_TRUE(fs::exists(chartPath));
        EXPECT_FALSE(fs::exists(textPath));
    }
    Session later(folder);
    KelvComPtr<ISBDocumentRoot> chart = later.Find(chartPath);
    ASSERT_TRUE(chart);
    ChartDocument* read = ChartDocument::From(chart.get());
    ASSERT_NE(nullptr, read);
    EXPECT_FALSE(read->IsModified());
    EXPECT_TRUE(SameCharts(written, read->Charts()));
    EXPECT_EQ(4u, read->Charts()[0]->graphs[0]->points.size());
    KelvBSTR name;
    chart->get_DocumentName(name.Receive());
    EXPECT_EQ("Quartz Energies", name.ToTString());
}

TEST(ChartDocuments, ExportWritesWithTheTypesOwnExporterOnly)
{
    QzTest::TempFolder folder("charts");
    Session s(folder);
    KelvComPtr<ISBDocumentRoot> chart = s.New(Chart2dDocumentProgId, "Energies");
    FillChart(chart.get());
    KelvBSTR exporter(ChartExporterProgId), other("SDModel3dImportExport.QSDImportExport"), copy("copy.qcd"), same("");
    EXPECT_EQ(E_INVALIDARG, s.Documents().ExportDocument(chart.get(), 0, other.Get(), KelvVariant().Get(), copy.Get()));
    ASSERT_EQ(S_OK, s.Documents().ExportDocument(chart.get(), 0, exporter.Get(), KelvVariant().Get(), copy.Get()));
    // An export elsewhere leaves the document's own file to be written.
    EXPECT_TRUE(ChartDocument::From(chart.get())->IsModified());
    DocumentHeader header;
    ChartList charts;
    ReadChartFile(s.Docs() + "/copy.qcd", header, charts);
    EXPECT_TRUE(SameCharts(ChartDocument::From(chart.get())->Charts(), charts));
    ASSERT_EQ(S_OK, s.Documents().ExportDocument(chart.get(), 0, exporter.Get(), KelvVariant().Get(), same.Get()));
    EXPECT_FALSE(ChartDocument::From(chart.get())->IsModified());
}

TEST(ChartDocuments, MalformedChartFileIsRefusedClearly)
{
    QzTest::TempFolder folder("charts");
    Session s(folder);
    const std::string path =
        folder.Write("project/Broken.qcd", R"({"format": "QorZelm chart document", "version": 1, "charts": [{"gra)");
    KelvComPtr<ISBDocumentRoot> document;
    KelvBSTR where(path);
    EXPECT_EQ(E_FAIL, s.Documents().ImportDocumentReference(0, where.Get(), document.Receive()));
    EXPECT_FALSE(document);
    const std::string message = QzTest::LastErrorText();
    EXPECT_NE(std::string::npos, message.find("Broken.qcd")) << message;
    EXPECT_NE(std::string::npos, message.find("not valid JSON")) << message;
    EXPECT_TRUE(s.app.Documents().Documents().size() == 0u);
}

TEST(ChartDocuments, SynchronizeWritesTheOthersWhenOneDocumentCannotBeWritten)
{
    QzTest::TempFolder folder("charts");
    Session s(folder);
    KelvComPtr<ISBDocumentRoot> text = s.New(TextDocumentProgId, "Status");
    KelvComPtr<ISBDocumentRoot> chart = s.New(Chart2dDocumentProgId, "Energies");
    KelvBSTR status("ok");
    KelvComPtr<ISDTextDocument>::QueryFrom(text.get())->put_Text(status.Get());
    FillChart(chart.get());
    // The text document's file has become a folder: it cannot be replaced.
    fs::remove(UrlOf(text.get()));
    fs::create_directory(UrlOf(text.get()));
    fs::remove(UrlOf(chart.get()));

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CANTWRITE), s.Documents().Synchronize());
    EXPECT_NE(std::string::npos, QzTest::LastErrorText().find("Status.txt"));
    EXPECT_TRUE(fs::is_regular_file(UrlOf(chart.get())));
    EXPECT_FALSE(ChartDocument::From(chart.get())->IsModified());
    EXPECT_TRUE(TextDocument::From(text.get())->IsModified());
}

TEST(ChartDocuments, ADocumentNamedWithoutItsExtensionIsFound)
{
    // Results are looked up by folder and title, as NewProjectDocument
    // names them; a second lookup must find the first document, open or
    // only on disk, rather than make another.
    QzTest::TempFolder folder("charts");
    {
        Session s(folder);
        KelvComPtr<ISBDocumentRoot> chart = s.New(Chart2dDocumentProgId, s.Docs() + "/res/Quartz Energies");
        ASSERT_TRUE(chart);
        EXPECT_EQ(chart.get(), s.Find(s.Docs() + "/res/Quartz Energies").get());
        s.Find(s.Docs() + "/res/Quartz", S_FALSE);
    }
    Session later(folder);
    KelvComPtr<ISBDocumentRoot> found = later.Find(later.Docs() + "/res/Quartz Energies");
    ASSERT_TRUE(found);
    EXPECT_EQ(later.Docs() + "/res/Quartz Energies.qcd", UrlOf(found.get()));
}

TEST(TextDocuments, DecksAndLibrariesOfTheProjectOpenWithAnEmptyContentsScope)
{
    QzTest::TempFolder folder("decks");
    Session session(folder);
    for (const char* name : {"salt.gin", "salt.lib"}) {
        SCOPED_TRACE(name);
        const std::string path = session.Docs() + "/" + name;
        std::ofstream(path) << "species\n";
        const KelvComPtr<ISBDocumentRoot> document = session.Find(path);
        ASSERT_TRUE(document);
        EXPECT_EQ(TextDocument::From(document.get())->Text(), "species\n");
        // Found again as the same document, with its identity.
        EXPECT_EQ(session.Find(path).get(), document.get());
        KelvBSTR id;
        ASSERT_EQ(S_OK, document->get_DocumentID(id.Receive()));
        EXPECT_FALSE(id.ToTString().empty());

        // The contents scope names the document and holds nothing; the scope
        // processors make empty scopes of it.
        KelvComPtr<ISBScope> contents;
        ASSERT_EQ(S_OK, document->get_ContentsAsScope(contents.Receive()));
        KelvComPtr<ISBDocumentRoot> holder;
        ASSERT_EQ(S_OK, contents->get_DocumentRoot(holder.Receive()));
        EXPECT_EQ(holder.get(), document.get());
        for (const char* processor : {"Normalization:Model3d!SymmetryParent", "Filter:Model3d!Atom",
                                      "DocumentRootCoercion:AtomisticSimpleModel3d"}) {
            KelvComPtr<ISBScope> processed;
            ASSERT_EQ(S_OK, session.app.Scopes().ProcessScope(contents.get(), KelvBSTR(processor).Get(),
                                                              processed.Receive()));
            KelvComPtr<ISBScopeObjects> objects;
            ASSERT_EQ(S_OK, processed->get_Objects(objects.Receive()));
            LONG count = -1;
            ASSERT_EQ(S_OK, objects->get_Count(&count));
            EXPECT_EQ(count, 0) << processor;
        }
        KelvComPtr<ISBScope> none;
        EXPECT_EQ(E_INVALIDARG, session.app.Scopes().ProcessScope(contents.get(), KelvBSTR("Filter:None").Get(),
                                                                  none.Receive()));
    }
    // A deck outside the project is not a project document.
    const std::string outside = folder.File("outside.gin");
    std::ofstream(outside) << "opti\n";
    EXPECT_FALSE(session.Find(outside, S_FALSE));
}
