#include "EKBProfileManager.h"

#include "ModelTestXml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Entry
{
    int infoType;
    std::string name, value;
    bool operator==(const Entry &) const = default;
};

std::vector<Entry> Entries(const TEKBProfileManager &store)
{
    std::vector<Entry> out;
    for (int ord = 1; ord <= store.Count(); ++ord) {
        const TEKBProfValListItem *item = store.Items().GetItemByOrd(ord);
        out.push_back({item->InfoType, item->Name, item->Value});
    }
    return out;
}

TEST(ProfileStore, KeysArePairsOfKindAndExactName)
{
    TEKBProfileManager store;
    store.SetValue(1, "formcoor 120:4", "1 2 3 4");
    store.SetValue(1, "formcoor 120:4", "10 20 640 480");
    store.SetValue(3, "formcoor 120:4", "x");
    EXPECT_EQ(Entries(store), (std::vector<Entry>{{1, "formcoor 120:4", "10 20 640 480"},
                                                  {3, "formcoor 120:4", "x"}}));
    EXPECT_EQ(store.GetValue(1, "formcoor 120:4"), "10 20 640 480");
    EXPECT_EQ(store.GetValue(1, "FormCoor 120:4"), "");
    EXPECT_EQ(store.GetValue(2, "formcoor 120:4"), "");
}

TEST(ProfileStore, LoadMergesAndKeepsWhatCameBeforeAFailure)
{
    struct Row
    {
        const char *what;
        std::string xml;
        bool ok;
        std::vector<Entry> entries;
    };
    const std::vector<Row> rows = {
        {"leaf root", "<re_refreshprofile/>", true, {{2, "old", "v"}}},
        {"any child and root names, texts verbatim",
         "<whatever><item infotype=\"2\" name=\"old\"> new </item>"
         "<x infotype=\"3\" name=\"qfcols 1:2\"><![CDATA[a]]></x></whatever>",
         true,
         {{2, "old", " new "}, {3, "qfcols 1:2", "<![CDATA[a]]>"}}},
        {"empty value and name",
         "<r><item infotype=\"1\"/></r>",
         true,
         {{2, "old", "v"}, {1, "", ""}}},
        {"bad infotype keeps earlier children",
         "<r><item infotype=\"1\" name=\"a\">1</item><item infotype=\"one\" name=\"b\">2</item>"
         "<item infotype=\"1\" name=\"c\">3</item></r>",
         false,
         {{2, "old", "v"}, {1, "a", "1"}}},
        {"missing infotype", "<r><item name=\"a\">1</item></r>", false, {{2, "old", "v"}}},
    };
    for (const Row &r : rows) {
        TEKBProfileManager store;
        store.SetValue(2, "old", "v");
        auto doc = ParseXml(r.xml);
        EXPECT_EQ(store.LoadFromXML(doc.get()), r.ok) << r.what;
        EXPECT_EQ(Entries(store), r.entries) << r.what;
    }
    TEKBProfileManager store;
    EXPECT_FALSE(store.LoadFromXML(nullptr));
}

TEST(ProfileStore, RequestsAreByteExact)
{
    TEKBProfileManager store;
    EXPECT_EQ(store.MakeRefreshRequest(false, true)->GetDocumentText(),
              std::string(kXmlDecl) + "<refreshprofile receive=\"1\"/>");
    EXPECT_EQ(store.MakeRefreshRequest(true, false)->GetDocumentText(),
              std::string(kXmlDecl) + "<refreshprofile></refreshprofile>");

    store.SetValue(3, "qfcols 120:4", "3;7;");
    store.SetValue(1, "formcoor 120:4", "10 20 640 480");
    EXPECT_EQ(store.MakeRefreshRequest(true, false)->GetDocumentText(),
              std::string(kXmlDecl) +
                  "<refreshprofile><item name=\"qfcols 120:4\" infotype=\"3\">3;7;</item>"
                  "<item name=\"formcoor 120:4\" infotype=\"1\">10 20 640 480</item>"
                  "</refreshprofile>");
}

TEST(ProfileStore, WrittenStoreLoadsBackUnchanged)
{
    TEKBProfileManager store;
    store.SetValue(2, "120:4:7", "1:80;2:120");
    store.SetValue(1, "formcoor 120:4", "");
    store.SetValue(-3, "qfcols 1:1", " 3; ");
    auto doc = ParseXml(store.MakeRefreshRequest(true, false)->GetDocumentText());
    TEKBProfileManager back;
    ASSERT_TRUE(back.LoadFromXML(doc.get()));
    EXPECT_EQ(Entries(back), Entries(store));
}

} // namespace
