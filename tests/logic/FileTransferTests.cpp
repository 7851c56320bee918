// The file-transfer items of each file of a job, and the job's file list.
#include "LogicHost.h"

#include "common/BstrSafeArray.h"

using namespace LogicTest;

namespace {

struct Item
{
    LONG upload;
    LONG download;
    bool operator==(const Item& o) const { return upload == o.upload && download == o.download; }
};

std::ostream& operator<<(std::ostream& out, const Item& item)
{
    return out << std::hex << "{0x" << item.upload << ", 0x" << item.download << "}" << std::dec;
}

class FileTransfers : public LogicHost
{
protected:
    // The items AddJobFileTransfers gives one path on a new job.
    std::vector<Item> ItemsOf(const std::string& path, HRESULT* result = nullptr)
    {
        const KelvComPtr<ISBManagedJob> job = Logic()->CreateJob("ZELM");
        const HRESULT hr = Logic()->AddJobFileTransfers(job, path);
        if (result)
            *result = hr;
        std::vector<Item> items;
        for (const auto& item : host->Jobs().Jobs().back()->Items())
            items.push_back(Item{item->UploadPolicy(), item->DownloadPolicy()});
        return items;
    }
};

} // namespace

TEST_F(FileTransfers, NineteenRulesInOrder)
{
    struct Case
    {
        const char* path;
        std::vector<Item> items;
    };
    const std::string job = "/p/rocksalt ZELM Energy/";
    const std::vector<Case> cases{
        {"rocksalt.gin", {{0x31, 0}}},
        {"rocksalt.lib", {{0x11, 0}}},
        {"rocksalt.qms", {{0x20, 0}}},
        {"rocksalt.qsd", {{0x20, 0x44}, {0x20, 0}}},
        {"rocksalt.gout", {{0x10, 0x05}}},
        {"rocksalt.frc", {{0x10, 0x83}}},
        {"rocksalt.osc", {{0x10, 0x83}}},
        {"rocksalt.trg", {{0x10, 0x83}}},
        {"rocksalt.pre", {{0x10, 0x83}}},
        {"rocksalt.disp", {{0x10, 0x83}}},
        {"rocksalt.dens", {{0x10, 0x83}}},
        {"rocksalt.res", {{0x10, 0x83}}},
        // The archive suffixes come before the extension rules after them.
        {"rocksalt_bulk.arc.trjaux", {{0x10, 0x83}}},
        {"rocksalt_clus.arc.kptaux", {{0x10, 0x83}}},
        {"rocksalt_defe.arc.libaux", {{0x10, 0x83}}},
        {"rocksalt.arc", {{0x10, 0x83}}},
        {"rocksalt.trjaux", {{0x70, 0x83}}},
        {"selectedLibrary.libaux", {{0x70, 0x83}}},
        {"rocksalt.kptaux", {{0x70, 0x83}}},
        {"rocksalt.txt", {}},
        {"rocksalt", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        HRESULT hr = E_FAIL;
        EXPECT_EQ(ItemsOf(job + c.path, &hr), c.items);
        EXPECT_EQ(hr, S_OK);
    }

    // Only the file's own name counts: a folder named like an archive
    // leaves the side files their upload.
    EXPECT_EQ(ItemsOf("/p/rocksalt_bulk.arc ZELM/rocksalt.trjaux"), (std::vector<Item>{{0x70, 0x83}}));

    // The model follows the job live or not.
    Set("QMJobTemplate", "LiveUpdateModel", false);
    EXPECT_EQ(ItemsOf(job + "rocksalt.qsd"), (std::vector<Item>{{0x20, 0x04}, {0x20, 0}}));
}

TEST_F(FileTransfers, TheDeckCarriesItsSeedNameAndTheSafeOne)
{
    const KelvComPtr<ISBManagedJob> job = Logic()->CreateJob("ZELM");
    ASSERT_EQ(Logic()->AddJobFileTransfers(job, "/p/job/salt #1.gin"), S_OK);
    const QzHost::ManagedJob& made = *host->Jobs().Jobs().back();
    ASSERT_EQ(made.Items().size(), 1u);
    EXPECT_EQ(made.Items()[0]->Identifier().String(), "salt #1");
    EXPECT_TRUE(made.Items()[0]->DocumentTypeProgId().IsEmpty());
    EXPECT_EQ(made.CommandItem("SeedName"), "salt _1");
    // Other files have no identifier.
    ASSERT_EQ(Logic()->AddJobFileTransfers(job, "/p/job/salt #1.gout"), S_OK);
    EXPECT_TRUE(made.Items()[1]->Identifier().IsEmpty());
}

TEST_F(FileTransfers, JobFileListOfAnEnergyDeck)
{
    const std::string job = folder.File("job") + "/";
    std::filesystem::create_directories(job);
    for (const char* name : {"salt.gin", "salt.qsd", "salt.qms", "other.qsd", "salt.trjaux", "selectedLibrary.libaux"})
        QzTest::WriteFile(job + name, "x\n");
    const std::string library = folder.File("salt.lib");

    const std::vector<std::string> outputs{job + "salt.frc", job + "salt.osc", job + "salt.dens", job + "salt.disp"};
    const std::vector<std::string> models{job + "salt.qms", job + "other.qsd", job + "salt.qsd"};
    const std::vector<std::string> trajectory{job + "salt.trg", job + "salt.pre", job + "salt.trjaux"};
    const std::vector<std::string> tail{job + "selectedLibrary.libaux", job + "salt.arc", job + "salt.res",
                                        job + "salt.gout"};
    const auto joined = [](std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };

    // No library file, no k-point file.
    EXPECT_EQ(CZelm::JobFileList(job, "salt.gin", library, 1),
              joined({{job + "salt.gin"}, models, outputs, trajectory, tail}));
    // Both present.
    QzTest::WriteFile(library, "species\n");
    QzTest::WriteFile(job + "salt.kptaux", "x\n");
    EXPECT_EQ(CZelm::JobFileList(job, "salt.gin", library, 1),
              joined({{job + "salt.gin", library}, models, outputs, trajectory, {job + "salt.kptaux"}, tail}));
    // A Fit deck: no trajectory or k-point entries.
    EXPECT_EQ(CZelm::JobFileList(job, "salt.gin", library, 4),
              joined({{job + "salt.gin", library}, models, outputs, tail}));
    // Display names of the tasks.
    EXPECT_EQ(CZelm::TaskDisplayName(0), "Energy");
    EXPECT_EQ(CZelm::TaskDisplayName(3), "Dynamics");
    EXPECT_EQ(CZelm::TaskDisplayName(5), "Surface");
    EXPECT_EQ(CZelm::TaskDisplayName(6), "Energy");
    EXPECT_EQ(CZelm::FileBaseName("/a.b/c d.gin"), "c d");
}

TEST(BstrArrays, ListsBecomeArraysOfTheirLengthReplacingTheOldOne)
{
    SAFEARRAY* array = nullptr;
    ZelmArrays::StringListToBstrArray({"Na", "Cl", "\xC5"}, &array);
    {
        KelvSafeArray first(ZelmArrays::CreateBstrSafeArray(2));
        EXPECT_EQ(first.Count(), 2u);
        EXPECT_EQ(first.ElementType(), VT_BSTR);
    }
    ASSERT_NE(array, nullptr);
    // A list stored over an array destroys the old one; an empty list is an
    // array of no elements.
    ZelmArrays::StringListToBstrArray({}, &array);
    ASSERT_NE(array, nullptr);
    const KelvSafeArray empty(array);
    EXPECT_EQ(empty.Count(), 0u);
    SAFEARRAY* again = nullptr;
    ZelmArrays::StringListToBstrArray({"O", "Ti"}, &again);
    const KelvSafeArray names(again);
    EXPECT_EQ(names.GetString(0), "O");
    EXPECT_EQ(names.GetString(1), "Ti");
    EXPECT_THROW(ZelmArrays::StringListToBstrArray({"x"}, nullptr), KelvResult);
}
