#include "EKBModuleDef.h"

#include "ModelTestXml.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Modules = std::vector<std::pair<int, std::string>>;

TEST(ModuleList, LoadRules)
{
    struct Row
    {
        const char *what;
        std::string xml;
        bool ok;
        Modules modules;
    };
    const std::vector<Row> rows = {
        {"modules in order",
         "<re_modules><module><formid>100</formid><name>Sales</name></module>"
         "<m><name> Stock </name><formid>-2</formid></m></re_modules>",
         true,
         {{100, "Sales"}, {-2, " Stock "}}},
        {"no modules", "<re_modules/>", true, {}},
        {"no modules, start and end tag", "<re_modules></re_modules>", true, {}},
        {"module without name",
         "<re_modules><module><formid>1</formid><name>A</name></module>"
         "<module><formid>2</formid></module></re_modules>",
         false,
         {}},
        {"module without formid",
         "<re_modules><module><name>A</name></module></re_modules>",
         false,
         {}},
        {"formid not a number",
         "<re_modules><module><formid>1a</formid><name>A</name></module></re_modules>",
         false,
         {}},
        {"formid empty",
         "<re_modules><module><formid/><name>A</name></module></re_modules>",
         false,
         {}},
        {"wrong root",
         "<re_module><module><formid>1</formid><name>A</name></module></re_module>",
         false,
         {}},
    };
    for (const Row &r : rows) {
        auto doc = ParseXml(r.xml);
        auto result = std::make_unique<TEKModuleList>(); // a stale list must not survive
        EXPECT_EQ(LoadModuleList(doc.get(), result), r.ok) << r.what;
        if (!r.ok) {
            EXPECT_EQ(result, nullptr) << r.what;
            continue;
        }
        ASSERT_NE(result, nullptr) << r.what;
        Modules got;
        for (int ord = 1; ord <= result->Count(); ++ord)
            got.emplace_back(result->GetItemByOrd(ord)->FormId, result->GetItemByOrd(ord)->Name);
        EXPECT_EQ(got, r.modules) << r.what;
    }
    std::unique_ptr<TEKModuleList> result;
    EXPECT_FALSE(LoadModuleList(nullptr, result));
    EXPECT_EQ(result, nullptr);
}

} // namespace
