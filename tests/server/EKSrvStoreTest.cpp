#include "SrvTestSupport.h"

#include <fstream>

namespace {

std::unique_ptr<TEKSrvStore> OpenStore(const std::string &path, int items)
{
    std::string error;
    auto store = TEKSrvStore::Open(path, error, items);
    EXPECT_TRUE(store) << error;
    return store;
}

} // namespace

class SrvStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FPath = SrvTempDbPath("db");
        std::remove(FPath.c_str());
    }
    void TearDown() override { std::remove(FPath.c_str()); }
    std::string FPath;
};

TEST_F(SrvStoreTest, AFreshFileIsSeededOnceAndKeptOnReopen)
{
    {
        auto store = OpenStore(FPath, 20000);
        ASSERT_TRUE(store);
        EXPECT_EQ(store->CountItems({}), 20000);
        EXPECT_TRUE(store->DeleteItem(7));
        EXPECT_EQ(store->NextSessionSeq(), 1);
    }
    auto again = OpenStore(FPath, 5);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->CountItems({}), 19999) << "reopening must neither reseed nor lose rows";
    EXPECT_FALSE(again->GetItem(7));
    EXPECT_EQ(again->NextSessionSeq(), 2);
}

TEST_F(SrvStoreTest, AFileThatIsNoDatabaseIsRefusedWithAReason)
{
    {
        std::ofstream f(FPath, std::ios::binary);
        f << "this is not an SQLite file, but it is long enough to look at its header........";
    }
    for (const std::string &path : {FPath, std::string("/nonexistent-dir/x/y.sqlite")}) {
        std::string error;
        EXPECT_FALSE(TEKSrvStore::Open(path, error)) << path;
        EXPECT_FALSE(error.empty()) << path;
    }
}

TEST_F(SrvStoreTest, ChunksOfASortedQueryJoinToTheWholeOrder)
{
    auto store = OpenStore(FPath, 1000);
    ASSERT_TRUE(store);
    for (TEKSrvItemColumn column : {eksicCategory, eksicActive, eksicName, eksicPrice}) {
        for (bool descending : {false, true}) {
            TEKSrvItemQuery q;
            q.SortColumn = column;
            q.Descending = descending;
            const auto whole = store->QueryItems(q, 0, 10000);
            ASSERT_EQ(whole.size(), 1000u);
            std::vector<int64_t> joined;
            for (int64_t offset = 0;; offset += 64) {
                const auto chunk = store->QueryItems(q, offset, 64);
                if (chunk.empty())
                    break;
                for (const auto &it : chunk)
                    joined.push_back(it.Id);
            }
            std::vector<int64_t> ids;
            for (const auto &it : whole)
                ids.push_back(it.Id);
            EXPECT_EQ(joined, ids) << "column " << column << (descending ? " desc" : "");
        }
    }
}

TEST_F(SrvStoreTest, ContainsMatchesWildcardCharactersLiterally)
{
    auto store = OpenStore(FPath, 200);
    ASSERT_TRUE(store);
    TEKSrvItem odd;
    odd.Name = "100% a_b \\ c";
    odd.Day = "20121231";
    odd.Changed = "20121231235959";
    const int64_t id = store->InsertItem(odd);
    ASSERT_GT(id, 0);
    struct Row
    {
        std::string text;
        int64_t count;
    };
    for (const Row &row : std::vector<Row>{
             {"%", 1}, {"_", 1}, {"\\", 1}, {"0% a", 1}, {"a_b", 1}, {"a%b", 0}, {"x_y", 0}}) {
        TEKSrvItemQuery q;
        TEKSrvItemCondition c;
        c.Column = eksicName;
        c.Contains = true;
        c.Text = row.text;
        q.Conditions.push_back(c);
        EXPECT_EQ(store->CountItems(q), row.count) << row.text;
    }
}

TEST_F(SrvStoreTest, UsersProfilesAndTheRecordAreKept)
{
    auto store = OpenStore(FPath, 10);
    ASSERT_TRUE(store);
    EXPECT_TRUE(store->CheckUser("demo", "demo"));
    EXPECT_FALSE(store->CheckUser("Demo", "demo"));
    EXPECT_FALSE(store->CheckUser("demo", "Demo"));
    EXPECT_FALSE(store->CheckUser("demo' OR '1'='1", "x' OR '1'='1"));
    const int user = *store->CheckUser("demo", "demo");
    ASSERT_TRUE(store->SaveProfile(user, {{3, "b", "1;"}, {1, "a", "x y"}, {3, "a", ""}}));
    ASSERT_TRUE(store->SaveProfile(user, {{2, "z", "9"}, {1, "a", "v"}}));
    const auto profile = store->LoadProfile(user);
    ASSERT_EQ(profile.size(), 2u) << "a save replaces the whole profile";
    EXPECT_EQ(profile[0].Name, "z");
    EXPECT_EQ(profile[1].Value, "v");
    ASSERT_TRUE(store->SaveRecord({{2, "x"}, {8, "1"}}));
    ASSERT_TRUE(store->SaveRecord({{2, "y"}}));
    EXPECT_EQ(store->LoadRecord(), (std::map<int, std::string>{{2, "y"}, {8, "1"}}));
}
