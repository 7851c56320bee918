// The container root's managers: disk and folder path rules on the real
// file system, the document manager with the document model's structure
// documents, module state files, operations and scopes.

#include "HostTestSupport.h"

#include "host/model/Document.h"
#include "host/model/ModelObjects.h"
#include "host/managers/HostStream.h"
#include "host/model/QsdFile.h"

#include "qorqm/SafeName.h"
#include "qorqm/TrjFile.h"

#include <filesystem>

using namespace HostTest;
using namespace QzHost;

namespace fs = std::filesystem;

namespace {

struct Project {
    TempFolder folder;
    HostApplication app{ProjectIn(folder)};
    KelvComPtr<ISBDiskManager> disk;
    KelvComPtr<ISBFolderManager> folders;
    KelvComPtr<ISBDocumentManager> documents;

    Project()
    {
        EXPECT_EQ(S_OK, app.Root()->get_DiskManager(disk.Receive()));
        EXPECT_EQ(S_OK, app.Root()->get_FolderManager(folders.Receive()));
        EXPECT_EQ(S_OK, app.Root()->get_DocumentManager(documents.Receive()));
        HostModel::OperationLog::Clear();
    }
    const std::string& Docs() const { return app.DocumentsFolder(); }
    std::string Write(const std::string& relative, const std::string& text = "x") const
    {
        return folder.Write("project/" + relative, text);
    }
};

// Backslashes as the module's texts write them.
std::string Windows(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

} // namespace

// ------------------------------------------------------------ path rules

struct SplitCase {
    const char* path;
    const char* directory;
    const char* name;
    const char* extension;
};

void PrintTo(const SplitCase& c, std::ostream* out)
{
    *out << c.path;
}

class SplitPath : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPath, GivesFolderNameAndExtensionAsWritten)
{
    Project p;
    KelvComPtr<ISBPathService> paths;
    ASSERT_EQ(S_OK, p.app.Root()->get_PathService(paths.Receive()));
    const SplitCase& c = GetParam();
    for (const bool viaDisk : {true, false}) {
        OutText drive, directory, name, extension;
        const HRESULT hr = viaDisk ? p.disk->SplitPath(Text(c.path), &drive, &directory, &name, &extension)
                                   : paths->SplitPath(Text(c.path), &drive, &directory, &name, &extension);
        ASSERT_EQ(S_OK, hr);
        EXPECT_EQ("", drive.str());
        EXPECT_EQ(c.directory, directory.str());
        EXPECT_EQ(c.name, name.str());
        EXPECT_EQ(c.extension, extension.str());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitPath,
    ::testing::Values(SplitCase{"/p/run/Quartz.gin", "/p/run/", "Quartz", ".gin"},
                      SplitCase{"C:\\p\\run\\Quartz.GIN", "C:\\p\\run\\", "Quartz", ".GIN"},
                      SplitCase{"/p/a.b/seed", "/p/a.b/", "seed", ""},
                      SplitCase{"/p/seed.gin.bak", "/p/", "seed.gin", ".bak"},
                      SplitCase{"seed.gin", "", "seed", ".gin"},
                      SplitCase{"/p/folder/", "/p/folder/", "", ""}));

struct SafeCase {
    const char* name;
    bool windowsOnly;
    bool wild;
    const char* safe;
};

void PrintTo(const SafeCase& c, std::ostream* out)
{
    *out << c.name << (c.windowsOnly ? " windows" : "") << (c.wild ? " wild" : "");
}

class SafeFileName : public ::testing::TestWithParam<SafeCase> {};

TEST_P(SafeFileName, ReplacesWhatTheRuleForbids)
{
    Project p;
    const SafeCase& c = GetParam();
    OutText safe;
    ASSERT_EQ(S_OK, p.disk->MakeSafeFileName(Text(c.name), c.windowsOnly ? VARIANT_TRUE : VARIANT_FALSE,
                                             c.wild ? VARIANT_TRUE : VARIANT_FALSE, &safe));
    EXPECT_EQ(c.safe, safe.str());
    // One rule for the disk manager and the platform's safe names.
    EXPECT_EQ(QorQMUtilities::MakeSafeFileName(c.name, c.windowsOnly, c.wild), safe.str());
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafeFileName,
    ::testing::Values(SafeCase{"Quartz run-1.gin", false, false, "Quartz run-1.gin"},
                      SafeCase{"a/b\\c:d", false, false, "a_b_c_d"},
                      SafeCase{"(1 0 4) slab", false, false, "_1 0 4_ slab"},
                      SafeCase{"(1 0 4) slab", true, false, "(1 0 4) slab"},
                      SafeCase{"what?*", true, false, "what__"},
                      SafeCase{"what?*", true, true, "what?*"},
                      SafeCase{"\xC5ngstr\xF6m", false, false, "_ngstr_m"},
                      SafeCase{"..", false, false, "__"},
                      SafeCase{".", true, false, "_"},
                      SafeCase{"", false, false, ""}));

TEST(FolderManager, ExpandsAndCompactsTheProjectDocumentsFolder)
{
    Project p;
    const std::string docs = p.Docs();
    struct Case {
        std::string given;
        std::string expanded;
    };
    for (const Case& c : {Case{"%PROJECT_DOCUMENTS_FOLDER%", docs},
                          Case{"%PROJECT_DOCUMENTS_FOLDER%\\lib\\my.lib", docs + "\\lib\\my.lib"},
                          Case{"/elsewhere/%PROJECT_DOCUMENTS_FOLDER%", "/elsewhere/" + docs},
                          Case{"no variable", "no variable"}}) {
        OutText expanded;
        ASSERT_EQ(S_OK, p.folders->ExpandPath(Text(c.given), &expanded));
        EXPECT_EQ(c.expanded, expanded.str());
    }
    for (const Case& c : {Case{docs + "/lib/my.lib", "%PROJECT_DOCUMENTS_FOLDER%/lib/my.lib"},
                          Case{Windows(docs + "/lib/my.lib"), "%PROJECT_DOCUMENTS_FOLDER%/lib/my.lib"},
                          Case{docs, "%PROJECT_DOCUMENTS_FOLDER%"},
                          Case{docs + "/sub/../my.lib", "%PROJECT_DOCUMENTS_FOLDER%/my.lib"},
                          // A sibling whose name starts like the project is outside it.
                          Case{docs + "2/my.lib", docs + "2/my.lib"},
                          Case{"/usr/share/zelm/std.lib", "/usr/share/zelm/std.lib"}}) {
        OutText compacted;
        ASSERT_EQ(S_OK, p.folders->CompactPath(Text(c.given), &compacted));
        EXPECT_EQ(c.expanded, compacted.str()) << c.given;
    }
    OutText core;
    ASSERT_EQ(S_OK, p.folders->get_CoreFolder(&core));
    EXPECT_EQ('/', core.str().back());
    EXPECT_EQ((std::vector<std::string>{"ExpandPath(\"%PROJECT_DOCUMENTS_FOLDER%\")"}),
              std::vector<std::string>{LogOf("FolderManager").front()});
}

// ------------------------------------------------------------ disk manager

TEST(DiskManager, RenameFolderMakesTheNameUniqueWithFlag8)
{
    Project p;
    p.Write("Quartz ZELM Energy/Quartz.gin");
    p.Write("Quartz ZELM EnergyZELM/old.txt");
    const std::string job = Windows(p.Docs() + "/Quartz ZELM Energy");
    OutText actual;
    ASSERT_EQ(S_OK, p.disk->RenameFolder(Text(job), Text(job + "ZELM"), 8, &actual));
    EXPECT_EQ(p.Docs() + "/Quartz ZELM EnergyZELM_2", actual.str());
    EXPECT_TRUE(Exists(actual.str() + "/Quartz.gin"));
    EXPECT_TRUE(Exists(p.Docs() + "/Quartz ZELM EnergyZELM/old.txt"));
    EXPECT_FALSE(Exists(p.Docs() + "/Quartz ZELM Energy"));
    EXPECT_EQ("RenameFolder(\"" + job + "\", \"" + job + "ZELM\", 0x8)", LogOf("DiskManager").front());

    // Without a flag a taken name is refused and nothing moves.
    p.Write("a/x");
    p.Write("b/y");
    OutText refused;
    EXPECT_TRUE(FAILED(p.disk->RenameFolder(Text(p.Docs() + "/a"), Text(p.Docs() + "/b"), 0, &refused)));
    EXPECT_TRUE(Exists(p.Docs() + "/a/x"));
    EXPECT_TRUE(Exists(p.Docs() + "/b/y"));
    EXPECT_TRUE(FAILED(p.disk->RenameFolder(Text(p.Docs() + "/missing"), Text(p.Docs() + "/c"), 8, &refused)));
    EXPECT_TRUE(FAILED(p.disk->RenameFolder(Text(p.Docs() + "/a"), Text(p.Docs() + "/a/inner"), 8, &refused)));
}

TEST(DiskManager, DeleteFolderIsRecursiveWithFlag0x10AndNeverTakesTheProject)
{
    Project p;
    p.Write("run/sub/a.gin");
    EXPECT_TRUE(FAILED(p.disk->DeleteFolder(Text(p.Docs() + "/run"), 0)));
    EXPECT_TRUE(Exists(p.Docs() + "/run/sub/a.gin"));
    EXPECT_EQ(S_OK, p.disk->DeleteFolder(Text(Windows(p.Docs() + "/run")), 0x10));
    EXPECT_FALSE(Exists(p.Docs() + "/run"));
    EXPECT_EQ(S_FALSE, p.disk->DeleteFolder(Text(p.Docs() + "/run"), 0x10));
    EXPECT_EQ(E_ACCESSDENIED, p.disk->DeleteFolder(Text(p.Docs()), 0x10));
    EXPECT_EQ(E_ACCESSDENIED, p.disk->DeleteFolder(Text(p.Docs() + "/.."), 0x10));
    EXPECT_EQ(E_ACCESSDENIED, p.disk->DeleteFolder(Text("/"), 0x10));
    EXPECT_TRUE(Exists(p.Docs()));
}

TEST(DiskManager, CopyAndRenameFollowTheirFlags)
{
    Project p;
    const std::string qsd = p.Write("r/seed.qsd", "structure");
    const std::string qtd = p.Write("r/seed.qtd", "old");
    EXPECT_TRUE(FAILED(p.disk->CopyFile(Text(qsd), Text(qtd), 0, nullptr)));
    EXPECT_EQ("old", Read(qtd));
    ASSERT_EQ(S_OK, p.disk->CopyFile(Text(qsd), Text(qtd), 0x80, nullptr));
    EXPECT_EQ("structure", Read(qtd));
    OutText unique;
    ASSERT_EQ(S_OK, p.disk->CopyFile(Text(qsd), Text(qtd), 8, &unique));
    EXPECT_EQ(p.Docs() + "/r/seed_2.qtd", unique.str());
    EXPECT_TRUE(FAILED(p.disk->CopyFile(Text(p.Docs() + "/r/none.qsd"), Text(qtd), 0x80, nullptr)));
    EXPECT_TRUE(FAILED(p.disk->CopyFile(Text(qsd), Text(qsd), 0x80, nullptr)));

    OutText renamed;
    ASSERT_EQ(S_OK, p.disk->RenameFile(Text(unique.str()), Text(qsd), 8, &renamed));
    EXPECT_EQ(p.Docs() + "/r/seed_2.qsd", renamed.str());
    EXPECT_FALSE(Exists(unique.str()));
    EXPECT_EQ(S_FALSE, p.disk->DeleteFile(Text(unique.str()), 0));
    EXPECT_EQ(S_OK, p.disk->DeleteFile(Text(renamed.str()), 0));
    EXPECT_TRUE(FAILED(p.disk->DeleteFile(Text(p.Docs() + "/r"), 0)));
}

TEST(DiskManager, HiddenMarksFollowTheFile)
{
    Project p;
    const std::string file = p.Write("run/seed.trjaux");
    VARIANT_BOOL hidden = VARIANT_TRUE;
    ASSERT_EQ(S_OK, p.disk->get_Hidden(Text(file), &hidden));
    EXPECT_EQ(VARIANT_FALSE, hidden);
    ASSERT_EQ(S_OK, p.disk->put_Hidden(Text(Windows(file)), VARIANT_TRUE));
    EXPECT_TRUE(p.app.Disk().IsHidden(file));
    EXPECT_TRUE(FAILED(p.disk->put_Hidden(Text(p.Docs() + "/run/none.trj"), VARIANT_TRUE)));

    OutText actual;
    ASSERT_EQ(S_OK, p.disk->RenameFolder(Text(p.Docs() + "/run"), Text(p.Docs() + "/moved"), 0, &actual));
    EXPECT_FALSE(p.app.Disk().IsHidden(file));
    EXPECT_TRUE(p.app.Disk().IsHidden(p.Docs() + "/moved/seed.trjaux"));
    ASSERT_EQ(S_OK, p.disk->DeleteFile(Text(p.Docs() + "/moved/seed.trjaux"), 0));
    EXPECT_TRUE(p.app.Disk().HiddenFiles().empty());
    EXPECT_EQ("put_Hidden(\"" + Windows(file) + "\", true)", LogOf("DiskManager")[0]);
}

TEST(DiskManager, FindFilesListsMatchesInNameOrder)
{
    Project p;
    p.Write("run/b.qms");
    p.Write("run/A.QMS");
    p.Write("run/c.qsd");
    p.Write("run/sub/d.qms");
    KelvComPtr<ISBFileSearch> search = p.disk.QueryInterface<ISBFileSearch>();
    KelvComPtr<ISBFileEnumerator> files;
    ASSERT_EQ(S_OK, search->FindFiles(Text(Windows(p.Docs() + "/run/*.qms")), files.Receive()));
    std::vector<std::string> found;
    BSTR entry = nullptr;
    while (files->Next(1, &entry, nullptr) == S_OK) {
        found.push_back(NarrowFromBSTR(entry));
        SysFreeString(entry);
    }
    EXPECT_EQ((std::vector<std::string>{p.Docs() + "/run/A.QMS", p.Docs() + "/run/b.qms"}), found);

    // Asking for more than is left: S_FALSE with the count fetched.
    files->Reset();
    BSTR three[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, files->Next(3, three, &fetched));
    EXPECT_EQ(2u, fetched);
    for (BSTR b : three)
        SysFreeString(b);

    ASSERT_EQ(S_OK, search->FindFiles(Text(p.Docs() + "/nowhere/*.qms"), files.Receive()));
    EXPECT_EQ(S_FALSE, files->Next(1, &entry, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(E_INVALIDARG, search->FindFiles(Text(p.Docs() + "/*/x.qms"), files.Receive()));
}

// -------------------------------------------------------- document manager

namespace {

std::shared_ptr<HostModel::Document> Structure(const std::string& name)
{
    auto document = std::make_shared<HostModel::Document>();
    document->SetName(name);
    document->SetCell({5, 5, 5, std::acos(0.0), std::acos(0.0), std::acos(0.0)});
    document->AddAtom("Na", {0, 0, 0});
    return document;
}

std::string UrlOf(ISBDocumentRoot* document)
{
    OutText url;
    EXPECT_EQ(S_OK, document->get_DocumentURL(&url));
    return url.str();
}

} // namespace

TEST(DocumentManager, FindsProjectDocumentsByPathAndIdentifier)
{
    Project p;
    auto saved = Structure("Salt");
    fs::create_directories(p.Docs() + "/sub");
    HostModel::SaveQsd(*saved, p.Docs() + "/sub/Salt.qsd");

    KelvComPtr<ISBDocumentRoot> found;
    ASSERT_EQ(S_OK, p.documents->FindDocument(Text(Windows(p.Docs() + "/sub/Salt.qsd")), found.Receive()));
    EXPECT_EQ(p.Docs() + "/sub/Salt.qsd", UrlOf(found.get()));
    // The same document again, not a second copy.
    KelvComPtr<ISBDocumentRoot> again;
    ASSERT_EQ(S_OK, p.documents->FindDocument(Text(p.Docs() + "/sub/../sub/Salt.qsd"), again.Receive()));
    EXPECT_EQ(Identity(found.get()), Identity(again.get()));

    KelvComPtr<ISBDocumentRoot> byId;
    ASSERT_EQ(S_OK, p.documents->FindDocumentByID(Text(saved->Id()), byId.Receive()));
    EXPECT_EQ(Identity(found.get()), Identity(byId.get()));

    KelvComPtr<ISBDocumentRoot> none;
    EXPECT_EQ(S_FALSE, p.documents->FindDocument(Text(p.Docs() + "/sub/Other.qsd"), none.Receive()));
    EXPECT_FALSE(none);
    EXPECT_EQ(S_FALSE, p.documents->FindDocumentByID(Text("{no-such-id}"), none.Receive()));
}

TEST(DocumentManager, ProjectDocumentsNeverReplaceFiles)
{
    Project p;
    const std::string existing = p.Write("res/Quartz Energies.qsd", "keep");
    KelvComPtr<ISBDocumentRoot> created;
    ASSERT_EQ(S_OK, p.documents->NewProjectDocument(Text("SDDocuments.Atomistic3dDocument"),
                                                    Text(p.Docs() + "/res/Quartz Energies"), 0,
                                                    KelvVariant("Quartz Energies").Get(), created.Receive()));
    EXPECT_EQ(p.Docs() + "/res/Quartz Energies_2.qsd", UrlOf(created.get()));
    EXPECT_EQ("keep", Read(existing));
    EXPECT_TRUE(Exists(p.Docs() + "/res/Quartz Energies_2.qsd"));
    OutText name;
    created->get_DocumentName(&name);
    EXPECT_EQ("Quartz Energies", name.str());

    KelvComPtr<ISBDocumentRoot> outside;
    EXPECT_EQ(E_INVALIDARG, p.documents->NewProjectDocument(Text("SDDocuments.Atomistic3dDocument"), Text("/tmp/x.qsd"),
                                                            0, KelvVariant().Get(), outside.Receive()));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, p.documents->NewPrivateDocument(Text("SDDocuments.NoSuchDocument"),
                                                                   KelvVariant().Get(), outside.Receive()));
}

TEST(DocumentManager, PrivateDocumentsExportOnlyWithAPathAndSynchronizeSavesProjectDocuments)
{
    Project p;
    KelvComPtr<ISBDocumentRoot> fit;
    ASSERT_EQ(S_OK, p.documents->NewPrivateDocument(Text("SDDocuments.Atomistic3dDocument"), KelvVariant().Get(),
                                                    fit.Receive()));
    EXPECT_EQ("", UrlOf(fit.get()));
    const Text qsd("SDModel3dImportExport.QSDImportExport");
    EXPECT_EQ(E_INVALIDARG, p.documents->ExportDocument(fit.get(), 0, qsd, KelvVariant().Get(), Text("")));
    EXPECT_EQ(E_INVALIDARG,
              p.documents->ExportDocument(fit.get(), 0, Text("Other.Exporter"), KelvVariant().Get(), Text("x.qsd")));
    ASSERT_EQ(S_OK, p.documents->ExportDocument(fit.get(), 0, qsd, KelvVariant().Get(), Text(p.Docs() + "/fit.qsd")));
    EXPECT_TRUE(Exists(p.Docs() + "/fit.qsd"));
    EXPECT_EQ("", UrlOf(fit.get()));

    auto model = Structure("Salt");
    HostModel::SaveQsd(*model, p.Docs() + "/Salt.qsd");
    KelvComPtr<ISBDocumentRoot> salt;
    ASSERT_EQ(S_OK, p.documents->FindDocument(Text(p.Docs() + "/Salt.qsd"), salt.Receive()));
    HostModel::DocumentOf(salt.get())->AddAtom("Cl", {2.5, 0, 0});
    ASSERT_EQ(S_OK, p.documents->Synchronize());
    EXPECT_EQ(2u, HostModel::LoadQsd(p.Docs() + "/Salt.qsd")->Atoms().size());
    EXPECT_FALSE(Exists(p.Docs() + "/.qsd"));
}

TEST(DocumentManager, PurgeWithFlag0x8000DeletesTheFileAndItsTrajectoryData)
{
    Project p;
    HostModel::SaveQsd(*Structure("Run"), p.Docs() + "/Run.qtd");
    p.Write("Run.trj", TrjFile::EncodeHeader(TrjContents()) + TrjFile::EncodeEnd(0));  // no frames
    KelvComPtr<ISBDocumentRoot> trajectory;
    ASSERT_EQ(S_OK, p.documents->ImportDocumentReference(0, Text(p.Docs() + "/Run.qtd"), trajectory.Receive()));
    ASSERT_EQ(S_OK, p.documents->PurgeDocument(trajectory.get(), 0x8000));
    EXPECT_FALSE(Exists(p.Docs() + "/Run.qtd"));
    EXPECT_FALSE(Exists(p.Docs() + "/Run.trj"));
    EXPECT_EQ(S_FALSE, p.documents->PurgeDocument(trajectory.get(), 0x8000));
    EXPECT_TRUE(FAILED(p.documents->ImportDocumentReference(0, Text(p.Docs() + "/Run.qtd"), trajectory.Receive())));
    EXPECT_EQ("PurgeDocument(\"" + p.Docs() + "/Run.qtd\", 0x8000)", LogOf("DocumentManager")[1]);
}

namespace {

constexpr CLSID CLSID_TestImporter = HostApi::MakeGuid("A7C3B2D1-0000-4000-8000-00000000E301");
std::string g_importedFrom;
bool g_importerHadRoot = false;

// An importer as the module's: a container-root consumer that reads the
// stream's path and fills the new document.
class TestImporter final : public CKelvUnknown, public ISBImporter, public ISBContainerRootConsumer {
public:
    KELV_DELEGATE_IUNKNOWN
    HRESULT DelegatedQueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_ISBImporter)
            return FinishQI(static_cast<ISBImporter*>(this), out);
        if (iid == IID_ISBContainerRootConsumer)
            return FinishQI(static_cast<ISBContainerRootConsumer*>(this), out);
        return CKelvUnknown::DelegatedQueryInterface(iid, out);
    }
    HRESULT ConnectContainerRoot(ISBContainerRoot* root) override
    {
        m_root = KelvComPtr<ISBContainerRoot>(root);
        return S_OK;
    }
    HRESULT DisconnectContainerRoot() override
    {
        m_root.Release();
        return S_OK;
    }
    HRESULT Import(IUnknown* stream, IUnknown* document, VARIANT) override
    {
        return Kelv::ComMethod(CLSID_TestImporter, IID_ISBImporter, [&] {
            g_importerHadRoot = static_cast<bool>(m_root);
            KelvComPtr<ISBStream> s = KelvComPtr<ISBStream>::QueryFrom(stream);
            KelvBSTR path;
            KelvResult::Check(s->get_FilePath(path.Receive()));
            g_importedFrom = path.ToTString();
            if (g_importedFrom.find("broken") != std::string::npos)
                throw KelvResult(E_UNEXPECTED, "Archive has fewer atoms than the model");
            KelvComPtr<ISBPersistable> persistable = KelvComPtr<ISBPersistable>::QueryFrom(document);
            KelvResult::Check(persistable->LoadFrom(stream, KelvVariant("SDModel3dImportExport.QSDImportExport").Get(),
                                                    KelvVariant().Get()));
        });
    }

private:
    KelvComPtr<ISBContainerRoot> m_root;
};

} // namespace

TEST(DocumentManager, ImportRunsTheImporterOnAStreamOverTheFile)
{
    Project p;
    ClassRegistration<TestImporter> registration("Test.Importer", CLSID_TestImporter);
    fs::create_directories(p.Docs() + "/res");
    HostModel::SaveQsd(*Structure("Result"), p.Docs() + "/res/seed.qsd");
    KelvComPtr<ISBDocumentRoot> imported;
    ASSERT_EQ(S_OK, p.documents->ImportDocument(0, Text(p.Docs() + "/res/seed.qsd"),
                                                Text("SDDocuments.Atomistic3dDocument"), Text("Test.Importer"),
                                                KelvVariant().Get(), imported.Receive()))
        << LastErrorText();
    EXPECT_EQ(p.Docs() + "/res/seed.qsd", g_importedFrom);
    EXPECT_TRUE(g_importerHadRoot);
    EXPECT_EQ(1u, HostModel::DocumentOf(imported.get())->Atoms().size());
    KelvComPtr<ISBDocumentRoot> found;
    ASSERT_EQ(S_OK, p.documents->FindDocument(Text(p.Docs() + "/res/seed.qsd"), found.Receive()));
    EXPECT_EQ(Identity(imported.get()), Identity(found.get()));

    // The importer's own failure reaches the caller unchanged.
    HostModel::SaveQsd(*Structure("Broken"), p.Docs() + "/res/broken.qsd");
    EXPECT_EQ(E_UNEXPECTED, p.documents->ImportDocument(0, Text(p.Docs() + "/res/broken.qsd"),
                                                        Text("SDDocuments.Atomistic3dDocument"), Text("Test.Importer"),
                                                        KelvVariant().Get(), imported.Receive()));
    EXPECT_EQ("Archive has fewer atoms than the model", LastErrorText());
    EXPECT_FALSE(imported);
    EXPECT_TRUE(FAILED(p.documents->ImportDocument(0, Text(p.Docs() + "/res/missing.qsd"),
                                                   Text("SDDocuments.Atomistic3dDocument"), Text("Test.Importer"),
                                                   KelvVariant().Get(), imported.Receive())));
    EXPECT_TRUE(FAILED(p.documents->ImportDocument(0, Text(p.Docs() + "/res/seed.qsd"),
                                                   Text("SDDocuments.Atomistic3dDocument"), Text("Test.NoImporter"),
                                                   KelvVariant().Get(), imported.Receive())));
}

TEST(DocumentManager, FolderOperationMakesAFreeFolderInTheProject)
{
    Project p;
    KelvComPtr<ISBDocumentFolders> folders = p.documents.QueryInterface<ISBDocumentFolders>();
    const std::string title = Windows(p.Docs() + "/sub/Quartz ZELM Energy");
    OutText first, second, relative;
    ASSERT_EQ(S_OK, folders->MakeDocumentFolder(Text(title), 0x28, &first));
    EXPECT_EQ("./sub/Quartz ZELM Energy", first.str());
    ASSERT_EQ(S_OK, folders->MakeDocumentFolder(Text(title), 0x08, &second));
    EXPECT_EQ("./sub/Quartz ZELM Energy_2", second.str());
    EXPECT_TRUE(fs::is_directory(p.Docs() + "/sub/Quartz ZELM Energy_2"));
    ASSERT_EQ(S_OK, folders->MakeDocumentFolder(Text(".\\Salt ZELM Fit"), 0x28, &relative));
    EXPECT_EQ("./Salt ZELM Fit", relative.str());
    OutText outside, escape;
    EXPECT_EQ(E_INVALIDARG, folders->MakeDocumentFolder(Text("/tmp/Quartz ZELM Energy"), 0x28, &outside));
    EXPECT_EQ(E_INVALIDARG, folders->MakeDocumentFolder(Text(".\\..\\escape"), 0x28, &escape));
    EXPECT_TRUE(outside.IsNull());
    const std::vector<std::string> log = LogOf("DocumentManager");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ("MakeDocumentFolder(\"" + title + "\", 0x28)", log[0]);
    EXPECT_EQ("MakeDocumentFolder(\"" + title + "\", 0x8)", log[1]);
}

TEST(DocumentService, GivesInformationOfProjectFilesOnly)
{
    Project p;
    const std::string library = p.Write("libs/my.lib", "species");
    KelvComPtr<ISBDocumentService> service;
    ASSERT_EQ(S_OK, p.app.Root()->get_DocumentService(service.Receive()));
    ASSERT_EQ(S_OK, service->Refresh());
    KelvComPtr<ISBDocumentInfo> info;
    ASSERT_EQ(S_OK, service->GetDocumentInfo(Text(Windows(library)), info.Receive()));
    OutText name, url;
    info->get_DocumentName(&name);
    info->get_DocumentURL(&url);
    EXPECT_EQ("my", name.str());
    EXPECT_EQ(library, url.str());
    EXPECT_EQ(S_FALSE, service->GetDocumentInfo(Text(p.Docs() + "/libs/none.lib"), info.Receive()));
    EXPECT_FALSE(info);
    const std::string outside = p.folder.Write("outside.lib");
    EXPECT_EQ(S_FALSE, service->GetDocumentInfo(Text(outside), info.Receive()));

    // The same service through the provider interface of the root.
    KelvComPtr<ISBDocumentServiceProvider> provider =
        KelvComPtr<ISBDocumentServiceProvider>::QueryFrom(p.app.Root());
    ASSERT_TRUE(provider);
    KelvComPtr<ISBDocumentService> same;
    ASSERT_EQ(S_OK, provider->get_DocumentService(same.Receive()));
    EXPECT_EQ(Identity(service.get()), Identity(same.get()));
}

// ------------------------------------------------ state, operations, scopes

TEST(StateManager, WritesTheModuleStateBesideTheDeck)
{
    Project p;
    p.app.State("ZelmLogic")->SetValueFromText("Task", "2");
    fs::create_directories(p.Docs() + "/job");
    KelvComPtr<ISBStateManager> states;
    ASSERT_EQ(S_OK, p.app.Root()->get_StateManager(states.Receive()));
    ISBExtension* extension = static_cast<ISBExtension*>(p.app.Extension("QorZelm.Extension").get());
    KelvComPtr<IUnknown> moduleState;
    ASSERT_EQ(S_OK, states->CreateModuleState(extension, Text(Windows(p.Docs() + "/job/")), Text("Quartz"), 1,
                                              KelvVariant().Get(), moduleState.Receive()));
    EXPECT_TRUE(moduleState);
    const nlohmann::json written = nlohmann::json::parse(Read(p.Docs() + "/job/Quartz.qms"));
    EXPECT_EQ("QorZelm.Extension", written["extension"]);
    EXPECT_EQ(2, written["logics"]["ZelmLogic"]["Task"]);
    EXPECT_TRUE(written["logics"].contains("QMJobTemplate"));
    EXPECT_EQ("CreateModuleState(\"QorZelm.Extension\", \"" + Windows(p.Docs() + "/job/") + "\", \"Quartz\", 0x1, empty)",
              LogOf("StateManager").front());

    // Without flag 1 an existing state stays; a missing folder is refused.
    EXPECT_TRUE(FAILED(states->CreateModuleState(extension, Text(p.Docs() + "/job"), Text("Quartz"), 0,
                                                 KelvVariant().Get(), moduleState.Receive())));
    EXPECT_TRUE(FAILED(states->CreateModuleState(extension, Text(p.Docs() + "/none"), Text("Quartz"), 1,
                                                 KelvVariant().Get(), moduleState.Receive())));
    EXPECT_TRUE(FAILED(states->CreateModuleState(extension, Text(p.Docs() + "/job"), Text("../Quartz"), 1,
                                                 KelvVariant().Get(), moduleState.Receive())));
}

TEST(OperationManager, OperationsStayOpenUntilReleased)
{
    Project p;
    KelvComPtr<ISBOperationManager> operations;
    ASSERT_EQ(S_OK, p.app.Root()->get_OperationManager(operations.Receive()));
    KelvComPtr<ISBOperation> operation;
    ASSERT_EQ(S_OK, operations->CreateOperation(Text("Update structure"), Text("Update structure"), 3,
                                                operation.Receive()));
    EXPECT_EQ(1u, p.app.Operations().OpenCount());
    LONG kind = 0;
    operation->get_Kind(&kind);
    EXPECT_EQ(3, kind);
    operation.Release();
    EXPECT_EQ(0u, p.app.Operations().OpenCount());
    ASSERT_EQ(1u, p.app.Operations().Records().size());
    EXPECT_EQ("Update structure", p.app.Operations().Records()[0].description);
    EXPECT_EQ((std::vector<std::string>{"Close(\"Update structure\")"}), LogOf("Operation"));
    EXPECT_EQ(E_INVALIDARG, operations->CreateOperation(Text("x"), Text("y"), 7, operation.Receive()));
}

TEST(ScopeManager, ProcessesScopesOfTheDocumentModel)
{
    Project p;
    KelvComPtr<ISBScopeManager> scopes;
    ASSERT_EQ(S_OK, p.app.Root()->get_ScopeManager(scopes.Receive()));
    KelvComPtr<ISBScope> none;
    EXPECT_EQ(S_FALSE, scopes->get_DefaultScope(none.Receive()));
    EXPECT_FALSE(none);

    auto model = Structure("Salt");
    model->AddAtom("Cl", {2.5, 0, 0});
    KelvComPtr<ISBScope> contents;
    ASSERT_EQ(S_OK, HostModel::DocumentRootFor(model)->get_ContentsAsScope(contents.Receive()));
    p.app.Scopes().SetDefaultScope(contents);
    KelvComPtr<ISBScope> defaultScope;
    ASSERT_EQ(S_OK, scopes->get_DefaultScope(defaultScope.Receive()));
    EXPECT_EQ(Identity(contents.get()), Identity(defaultScope.get()));

    KelvComPtr<ISBScope> atoms;
    ASSERT_EQ(S_OK, scopes->ProcessScope(contents.get(), Text("Filter:Model3d!Atom"), atoms.Receive()));
    KelvComPtr<ISBScopeObjects> objects;
    ASSERT_EQ(S_OK, atoms->get_Objects(objects.Receive()));
    LONG count = 0;
    objects->get_Count(&count);
    EXPECT_EQ(2, count);
    EXPECT_EQ(E_INVALIDARG, scopes->ProcessScope(contents.get(), Text("Filter:Model3d!Nothing"), atoms.Receive()));
    EXPECT_EQ((std::vector<std::string>{"ProcessScope(scope, \"Filter:Model3d!Atom\")",
                                        "ProcessScope(scope, \"Filter:Model3d!Nothing\")"}),
              LogOf("ScopeManager"));
}

// A stream opened for writing leaves an existing file whole for the save
// that replaces it (a save that failed left it empty); a new file is made.
TEST(HostStream, WriteModeKeepsAnExistingFileUntilItIsReplaced)
{
    TempFolder folder;
    const std::string existing = folder.Write("kept.qtd", "the old document\n");
    KelvComPtr<QzHost::HostStream> stream = QzHost::HostStream::Create();
    ASSERT_EQ(S_OK, stream->Open(SBStreamWrite, KelvVariant(existing).Get()));
    EXPECT_EQ("the old document\n", Read(existing));
    stream->Close();
    const std::string fresh = folder.File("new.qtd");
    KelvComPtr<QzHost::HostStream> other = QzHost::HostStream::Create();
    ASSERT_EQ(S_OK, other->Open(SBStreamWrite, KelvVariant(fresh).Get()));
    EXPECT_TRUE(Exists(fresh));
}
