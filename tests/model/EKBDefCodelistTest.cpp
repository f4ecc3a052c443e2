#include "EKBDefCodelist.h"

#include "ModelTestXml.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<int, std::string>>;

Entries Of(const TEKDefCodeList &list)
{
    Entries out;
    for (int ord = 1; ord <= list.Count(); ++ord)
        out.emplace_back(list.Items().GetItemByOrd(ord)->Code,
                         list.Items().GetItemByOrd(ord)->Text);
    return out;
}

TEST(CodeList, LoadRules)
{
    struct Row
    {
        const char *what;
        std::string xml;
        bool ok;
        Entries entries;
    };
    const std::vector<Row> rows = {
        {"entries in order, repeated code kept, texts verbatim",
         "<re_codelistdef><data><e code=\"1\">  One</e><x code=\"-2\">Two </x>"
         "<e code=\"1\">Again</e><e code=\"3\"/></data></re_codelistdef>",
         true,
         {{1, "  One"}, {-2, "Two "}, {1, "Again"}, {3, ""}}},
        {"empty data", "<re_codelistdef><data/></re_codelistdef>", true, {}},
        {"data with start and end tag", "<re_codelistdef><data></data></re_codelistdef>", true, {}},
        {"no data", "<re_codelistdef><other/></re_codelistdef>", false, {}},
        {"leaf root", "<re_codelistdef/>", false, {}},
        {"wrong root", "<re_codelist><data><e code=\"1\">a</e></data></re_codelist>", false, {}},
        {"error root", "<error><code>5</code><text>x</text></error>", false, {}},
        {"bad code keeps earlier entries",
         "<re_codelistdef><data><e code=\"1\">a</e><e code=\"b\">b</e><e code=\"3\">c</e></data>"
         "</re_codelistdef>",
         false,
         {{1, "a"}}},
        {"missing code", "<re_codelistdef><data><e>a</e></data></re_codelistdef>", false, {}},
    };
    for (const Row &r : rows) {
        auto doc = ParseXml(r.xml);
        TEKDefCodeList list;
        EXPECT_EQ(list.LoadFromXML(doc.get()), r.ok) << r.what;
        EXPECT_EQ(Of(list), r.entries) << r.what;
    }
    TEKDefCodeList list;
    EXPECT_FALSE(list.LoadFromXML(nullptr));
}

} // namespace
