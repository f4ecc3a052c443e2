#include "EKBFormDesc.h"

#include "ModelTestXml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Desc(const std::string &rootAttrs, const std::string &body)
{
    return "<re_formdesc " + rootAttrs + ">" + body + "</re_formdesc>";
}

std::string WithItems(const std::string &items)
{
    return Desc("formid=\"1\" entityid=\"2\"",
                "<type>freeform</type><name>N</name><contents type=\"datagroup\"><id>3</id>"
                "<pkid>4</pkid><items>" +
                    items + "</items></contents>");
}

class FormDescTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        doc = ParseXmlFile("formdesc_browse.xml");
        ASSERT_TRUE(desc.LoadFromXML(doc.get()));
        ASSERT_NE(desc.Container->DataGroup, nullptr);
        group = desc.Container->DataGroup.get();
    }
    std::unique_ptr<TEKXML> doc;
    TEKBFormDesc desc;
    TEKFormDataGroup *group = nullptr;
};

TEST_F(FormDescTest, ReadsIdentityTitleAndGroup)
{
    EXPECT_EQ(desc.FormId, 120);
    EXPECT_EQ(desc.EntityId, 4);
    EXPECT_EQ(desc.Name, "Partners");
    EXPECT_EQ(desc.FormType, ekftBrowse);
    EXPECT_EQ(desc.Container->ContainerType, ekfctDataGroup);
    EXPECT_EQ(desc.Container->Layout, nullptr);
    EXPECT_EQ(desc.Container->Tabs, nullptr);
    EXPECT_EQ(group->Id, 7);
    EXPECT_EQ(group->PkId, 1);
    ASSERT_EQ(group->Count(), 9);
    for (int ord = 1; ord <= 9; ++ord)
        EXPECT_EQ(group->GetItemByOrd(ord)->FieldId, ord) << "items keep the order received";
}

struct ItemRow
{
    int fieldId;
    std::string caption;
    TEKDataType type;
    bool readOnly, required, quickFilter, isFileName;
    int fieldLen;
    std::string codeId;
    int codeFilter, edLength, edStringLines;
};

// Attributes are read only for the types they apply to; flags only for "1".
TEST_F(FormDescTest, ReadsItemAttributesByType)
{
    const std::vector<ItemRow> rows = {
        {1, "Number", ekdtRecNumber, true, false, false, false, 10, "", 0, 0, 0},
        {2, "Name", ekdtString, false, true, true, false, 400, "", 0, 0, 3},
        {3, "Country", ekdtCodeList, false, false, false, false, 3, "COUNTRY", 5, 120, 0},
        {4, "Created", ekdtDateTime, false, false, false, false, 14, "", 0, 0, 1},
        {5, "Changed", ekdtDateTime, false, false, false, false, 14, "", 0, 0, 0},
        {6, "Count", ekdtInteger, false, false, false, false, 5, "", 0, 0, 0},
        {7, "Groups", ekdtSetCList, false, false, false, false, 50, "GRP", -1, 0, 0},
        {8, "Attachment", ekdtFile, false, false, false, true, 255, "", 0, 0, 0},
    };
    for (const ItemRow &r : rows) {
        const TEKFormDataGrItem *item = group->GetItemByFieldId(r.fieldId);
        ASSERT_NE(item, nullptr) << r.fieldId;
        SCOPED_TRACE(r.caption);
        EXPECT_EQ(item->Caption, r.caption);
        EXPECT_EQ(item->DataType, r.type);
        EXPECT_EQ(item->ReadOnly, r.readOnly);
        EXPECT_EQ(item->Required, r.required);
        EXPECT_EQ(item->QuickFilter, r.quickFilter);
        EXPECT_EQ(item->IsFileName, r.isFileName);
        EXPECT_EQ(item->FieldLen, r.fieldLen);
        EXPECT_EQ(item->CodeId, r.codeId);
        EXPECT_EQ(item->CodeFilter, r.codeFilter);
        EXPECT_EQ(item->EdLength, r.edLength);
        EXPECT_EQ(item->EdStringLines, r.edStringLines);
    }
}

TEST_F(FormDescTest, GroupQueries)
{
    EXPECT_EQ(group->GetItemByFieldId(42), nullptr);
    EXPECT_TRUE(group->HasQuickFilter());
    EXPECT_EQ(group->GetRecNumberFields(), (std::vector<std::string>{"c1", "c9"}));
    EXPECT_EQ(group->GetSecondsFields(), (std::vector<std::string>{"c4"}));

    TEKFormDataGroup empty;
    EXPECT_FALSE(empty.HasQuickFilter());
    EXPECT_TRUE(empty.GetRecNumberFields().empty());
}

TEST(FormDescType, TypeTextIsExact)
{
    const std::vector<std::pair<std::string, int>> rows = {
        {"freeform", ekftFreeForm},
        {"browse", ekftBrowse},
        {"module", ekftModule},
        {"showdoc", ekftShowDoc},
        {"Browse", ekftOther},
        {"browse ", ekftOther},
        {"", ekftOther},
    };
    for (const auto &[text, type] : rows) {
        auto doc = ParseXml(
            Desc("formid=\"1\" entityid=\"2\"", "<type>" + text + "</type><name>N</name>"));
        TEKBFormDesc desc;
        ASSERT_TRUE(desc.LoadFromXML(doc.get())) << text;
        EXPECT_EQ(desc.FormType, type) << text;
    }
}

struct LoadRow
{
    const char *what;
    std::string xml;
    bool ok;
};

TEST(FormDescLoad, FailureRules)
{
    const std::string head = "formid=\"1\" entityid=\"2\"";
    const std::string tn = "<type>browse</type><name>N</name>";
    const std::vector<LoadRow> rows = {
        {"no contents", Desc(head, tn), true},
        {"title with spaces", Desc(head, "<type>browse</type><name> A b </name>"), true},
        {"wrong root", "<re_formdescs formid=\"1\" entityid=\"2\">" + tn + "</re_formdescs>",
         false},
        {"no formid", Desc("entityid=\"2\"", tn), false},
        {"no entityid", Desc("formid=\"1\"", tn), false},
        {"formid not a number", Desc("formid=\"1x\" entityid=\"2\"", tn), false},
        {"formid beyond 32 bits", Desc("formid=\"4294967296\" entityid=\"2\"", tn), false},
        {"no type", Desc(head, "<name>N</name>"), false},
        {"no name", Desc(head, "<type>browse</type>"), false},
        {"contents not a data group",
         Desc(head, tn + "<contents type=\"layout\"><id>1</id><pkid>1</pkid></contents>"), false},
        {"contents without type", Desc(head, tn + "<contents><id>1</id><pkid>1</pkid></contents>"),
         false},
        {"group without id",
         Desc(head, tn + "<contents type=\"datagroup\"><pkid>1</pkid></contents>"), false},
        {"group without pkid",
         Desc(head, tn + "<contents type=\"datagroup\"><id>1</id></contents>"), false},
        {"group id not a number",
         Desc(head, tn + "<contents type=\"datagroup\"><id>a</id><pkid>1</pkid></contents>"),
         false},
        {"group without items",
         Desc(head, tn + "<contents type=\"datagroup\"><id>1</id><pkid>1</pkid></contents>"), true},
        {"empty items", WithItems(""), true},
        {"string without fieldlen", WithItems("<i fieldid=\"1\" type=\"string\"/>"), false},
        {"item without fieldid", WithItems("<i fieldlen=\"1\" type=\"string\"/>"), false},
        {"codelist without codefilter",
         WithItems("<i fieldid=\"1\" fieldlen=\"3\" type=\"codelist\"/>"), false},
        {"setclist without codefilter",
         WithItems("<i fieldid=\"1\" fieldlen=\"3\" type=\"setclist\"/>"), false},
        {"integer without codefilter",
         WithItems("<i fieldid=\"1\" fieldlen=\"3\" type=\"integer\"/>"), true},
        {"codelist with bad edlength",
         WithItems(
             "<i fieldid=\"1\" fieldlen=\"3\" type=\"codelist\" codefilter=\"0\" edlength=\"w\"/>"),
         false},
        {"string with bad edstringlines",
         WithItems("<i fieldid=\"1\" fieldlen=\"3\" type=\"string\" edstringlines=\"w\"/>"), false},
        {"unknown type", WithItems("<i fieldid=\"1\" fieldlen=\"3\" type=\"money\"/>"), true},
    };
    for (const LoadRow &r : rows) {
        auto doc = ParseXml(r.xml);
        TEKBFormDesc desc;
        EXPECT_EQ(desc.LoadFromXML(doc.get()), r.ok) << r.what;
    }
    TEKBFormDesc desc;
    EXPECT_FALSE(desc.LoadFromXML(nullptr));
}

TEST(FormDescLoad, WithoutContentsTheContainerStaysEmpty)
{
    auto doc = ParseXml(Desc("formid=\"-5\" entityid=\"0\"", "<type>showdoc</type><name/>"));
    TEKBFormDesc desc;
    ASSERT_TRUE(desc.LoadFromXML(doc.get()));
    EXPECT_EQ(desc.FormId, -5);
    EXPECT_EQ(desc.Name, "");
    EXPECT_EQ(desc.Container->ContainerType, ekfctNone);
    EXPECT_EQ(desc.Container->DataGroup, nullptr);
}

TEST(FormContainer, SetContainerTypeCreatesOnlyItsCollection)
{
    TEKFormContainer c;
    for (int kind : {1, 2, 3, 0}) {
        ASSERT_TRUE(c.SetContainerType(kind));
        EXPECT_EQ(c.ContainerType, kind);
        EXPECT_EQ(c.Layout != nullptr, kind == 1);
        EXPECT_EQ(c.Tabs != nullptr, kind == 2);
        EXPECT_EQ(c.DataGroup != nullptr, kind == 3);
    }
    ASSERT_TRUE(c.SetContainerType(3));
    for (int bad : {4, -1}) {
        EXPECT_FALSE(c.SetContainerType(bad));
        EXPECT_EQ(c.ContainerType, 3) << "a failed kind changes nothing";
        EXPECT_NE(c.DataGroup, nullptr);
    }
    EXPECT_FALSE(c.LoadFromXML(nullptr));
}

} // namespace
