#include "EKBFormData.h"

#include "ModelTestXml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The request text of an "action" document holding the values.
std::string Written(const TEKFormData &data)
{
    TEKXML doc;
    doc.SetName("action");
    doc.OpenLevel();
    data.WriteToXML(doc);
    doc.CloseLevel();
    return doc.GetDocumentText();
}

std::string Read(const std::string &items, TEKFormData &data)
{
    auto doc = ParseXml("<formvalues>" + items + "</formvalues>");
    return data.LoadFromXML(doc.get()) ? "ok" : "failed";
}

const TEKDateTime k143005 = EncodeTime(14, 30, 5);

TEST(FormDataWrite, RequestIsByteExact)
{
    TEKFormData data;
    data.AddValue(ekdtString, 1, TEKFormValue::FromText("  a]]>b "));
    data.AddValue(ekdtDate, 2, TEKFormValue::FromDateTime(EncodeDate(2012, 12, 31)));
    data.AddValue(ekdtDateTime, 3,
                  TEKFormValue::FromDateTime(EncodeDate(2012, 12, 31) + EncodeTime(8, 5, 9)));
    data.AddValue(ekdtTime, 4, TEKFormValue::FromDateTime(k143005));
    data.AddValue(ekdtInteger, 5, TEKFormValue::FromInteger(-12));
    data.AddValue(ekdtCodeList, 6, TEKFormValue::FromInteger(7));
    data.AddValue(ekdtFile, 7, TEKFormValue::FromText("C:\\a.txt"));
    data.AddValue(ekdtRecNumber, 8, TEKFormValue::FromText("R-1"));
    data.AddValue(ekdtBool, 9, TEKFormValue::FromText("1"));
    data.AddValue(ekdtNumeric, 10, TEKFormValue::FromNumber(2.5));
    data.AddValue(ekdtSetCList, 11, TEKFormValue::FromText("1;4;"));
    data.AddValue(ekdtUnknown, 12, TEKFormValue::FromText("x"));
    EXPECT_EQ(Written(data),
              std::string(kXmlDecl) +
                  "<action><formvalues>"
                  "<item id=\"1\" type=\"string\"><![CDATA[  a]]]]><![CDATA[>b ]]></item>"
                  "<item id=\"2\" type=\"date\">20121231</item>"
                  "<item id=\"3\" type=\"datetime\">20121231080509</item>"
                  "<item id=\"4\" type=\"time\">18991230143005</item>"
                  "<item id=\"5\" type=\"integer\">-12</item>"
                  "<item id=\"6\" type=\"codelist\">7</item>"
                  "<item id=\"7\" type=\"file\"/>"
                  "<item id=\"8\" type=\"recnumber\">R-1</item>"
                  "<item id=\"9\" type=\"bool\">1</item>"
                  "<item id=\"10\" type=\"numeric\">2.5000</item>"
                  "<item id=\"11\" type=\"setclist\">1;4;</item>"
                  "<item id=\"12\" type=\"??\"/>"
                  "</formvalues></action>");
}

TEST(FormDataWrite, EmptyListAndValuesEqualToNoValue)
{
    TEKFormData empty;
    EXPECT_EQ(Written(empty), std::string(kXmlDecl) + "<action><formvalues></formvalues></action>");

    TEKFormData data;
    data.AddValue(ekdtInteger, 1, TEKFormValue::FromInteger(0));
    data.AddValue(ekdtNumeric, 2, TEKFormValue::FromNumber(0));
    data.AddValue(ekdtDate, 3, TEKFormValue::FromDateTime(0));
    data.AddValue(ekdtString, 4, TEKFormValue::FromText(""));
    data.AddValue(ekdtBool, 5, TEKFormValue());
    EXPECT_EQ(Written(data), std::string(kXmlDecl) +
                                 "<action><formvalues><item id=\"1\" type=\"integer\"/>"
                                 "<item id=\"2\" type=\"numeric\"/><item id=\"3\" type=\"date\"/>"
                                 "<item id=\"4\" type=\"string\"/><item id=\"5\" type=\"bool\"/>"
                                 "</formvalues></action>");
}

TEST(FormDataWrite, CursorStaysOnFormValuesForSiblings)
{
    TEKFormData data;
    data.AddValue(ekdtInteger, 1, TEKFormValue::FromInteger(3));
    TEKXML doc;
    doc.SetName("action");
    doc.OpenLevel();
    doc.AddTextElement("actionid", "5");
    data.WriteToXML(doc);
    doc.AddTextElement("after", "x");
    EXPECT_EQ(doc.GetXMLText(), "<action><actionid>5</actionid><formvalues><item id=\"1\" "
                                "type=\"integer\">3</item></formvalues><after>x</after></action>");

    TEKXML closed; // no open level: nothing can be added
    data.WriteToXML(closed);
    EXPECT_EQ(closed.GetXMLText(), "</>");
}

// A value of another kind than its type expects is converted, never refused.
TEST(FormDataWrite, MixedKindsConvert)
{
    struct Row
    {
        TEKDataType type;
        TEKFormValue value;
        std::string text;
    };
    const std::vector<Row> rows = {
        {ekdtString, TEKFormValue::FromInteger(42), "<![CDATA[42]]>"},
        {ekdtString, TEKFormValue::FromNumber(1.25), "<![CDATA[1.25]]>"},
        {ekdtInteger, TEKFormValue::FromText("17"), "17"},
        {ekdtInteger, TEKFormValue::FromText("seventeen"), ""},
        {ekdtInteger, TEKFormValue::FromNumber(2.5), "2"},
        {ekdtInteger, TEKFormValue::FromNumber(1e300), ""},
        {ekdtInteger, TEKFormValue::FromInteger(5000000000), "5000000000"},
        {ekdtNumeric, TEKFormValue::FromInteger(3), "3.0000"},
        {ekdtNumeric, TEKFormValue::FromText("1.5"), "1.5000"},
        {ekdtDate, TEKFormValue::FromText("20121231"), "20121231"},
        {ekdtDate, TEKFormValue::FromText("yesterday"), ""},
        {ekdtBool, TEKFormValue::FromText("0"), "0"},
        {ekdtRecNumber, TEKFormValue::FromInteger(9), "9"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(TEKFormData::ValueToText(r.type, r.value), r.text)
            << DataTypeToName(r.type) << " " << r.text;
}

TEST(FormDataRead, ValuesByType)
{
    struct Row
    {
        std::string type, text;
        TEKDataType code;
        TEKFormValue value;
    };
    const std::vector<Row> rows = {
        {"string", "  <![CDATA[ a b ]]>  ", ekdtString, TEKFormValue::FromText(" a b ")},
        {"string", "  plain  ", ekdtString, TEKFormValue::FromText("plain")},
        {"string", "<![CDATA[]]>", ekdtString, TEKFormValue()},
        {"date", "20121231", ekdtDate, TEKFormValue::FromDateTime(EncodeDate(2012, 12, 31))},
        {"date", "", ekdtDate, TEKFormValue()},
        {"time", "00000000143005", ekdtTime, TEKFormValue::FromDateTime(k143005)},
        {"time", "18991230143005", ekdtTime, TEKFormValue::FromDateTime(k143005)},
        {"integer", "-7", ekdtInteger, TEKFormValue::FromInteger(-7)},
        {"integer", "", ekdtInteger, TEKFormValue()},
        {"codelist", "12", ekdtCodeList, TEKFormValue::FromInteger(12)},
        {"file", "whatever", ekdtFile, TEKFormValue()},
        {"recnumber", "", ekdtRecNumber, TEKFormValue::FromText("")},
        {"recnumber", " 5 ", ekdtRecNumber, TEKFormValue::FromText(" 5 ")},
        {"bool", "0", ekdtBool, TEKFormValue::FromText("0")},
        {"bool", "", ekdtBool, TEKFormValue()},
        {"numeric", "1.5", ekdtNumeric, TEKFormValue::FromNumber(1.5)},
        {"numeric", "1,5", ekdtNumeric, TEKFormValue::FromNumber(0)},
        {"setclist", "1;2;", ekdtSetCList, TEKFormValue::FromText("1;2;")},
        {"Integer", "5", ekdtUnknown, TEKFormValue()},
    };
    for (const Row &r : rows) {
        TEKFormData data;
        ASSERT_EQ(Read("<item id=\"3\" type=\"" + r.type + "\">" + r.text + "</item>", data), "ok")
            << r.type << " " << r.text;
        ASSERT_EQ(data.Count(), 1);
        const TEKFormDataListItem *item = data.GetItemByOrd(1);
        EXPECT_EQ(item->Id, 3);
        EXPECT_EQ(item->DataType, r.code) << r.type;
        EXPECT_TRUE(item->Value == r.value) << r.type << " " << r.text;
    }
}

TEST(FormDataRead, FailureRules)
{
    const std::vector<std::pair<std::string, int>> rows = {
        // items, values kept after the failing one
        {"<item id=\"1\" type=\"integer\">1</item><item type=\"integer\">2</item>", 1},
        {"<item id=\"x\" type=\"string\">a</item>", 0},
        {"<item id=\"1\" type=\"integer\">1.5</item>", 0},
        {"<item id=\"1\" type=\"integer\">99999999999</item>", 0},
        {"<item id=\"1\" type=\"date\">201212311430</item>", 0},
        {"<item id=\"1\" type=\"date\">20121331</item>", 0},
        {"<a id=\"1\" type=\"bool\">1</a><b id=\"2\" type=\"time\">x</b>", 1},
    };
    for (const auto &[items, kept] : rows) {
        TEKFormData data;
        EXPECT_EQ(Read(items, data), "failed") << items;
        EXPECT_EQ(data.Count(), kept) << items;
    }
    TEKFormData data;
    EXPECT_FALSE(data.LoadFromXML(nullptr));
    auto wrong = ParseXml("<formvalue><item id=\"1\" type=\"bool\">1</item></formvalue>");
    EXPECT_FALSE(data.LoadFromXML(wrong.get()));
    auto leaf = ParseXml("<formvalues/>");
    EXPECT_TRUE(data.LoadFromXML(leaf.get()));
    EXPECT_EQ(data.Count(), 0);
}

TEST(FormDataRead, LoadAppendsWithoutReplacingIds)
{
    TEKFormData data;
    data.AddValue(ekdtInteger, 1, TEKFormValue::FromInteger(10));
    ASSERT_EQ(Read("<item id=\"1\" type=\"integer\">20</item>", data), "ok");
    ASSERT_EQ(data.Count(), 2);
    EXPECT_EQ(data.GetItemByOrd(1)->Value.AsInteger(), 10);
    EXPECT_EQ(data.GetItemByOrd(2)->Value.AsInteger(), 20);
}

// Writing and reading back gives the values again; zeros come back as no value.
TEST(FormDataRoundTrip, WrittenValuesReadBack)
{
    TEKFormData data;
    data.AddValue(ekdtString, 1, TEKFormValue::FromText("  spaced ]]> text  "));
    data.AddValue(ekdtTime, 2, TEKFormValue::FromDateTime(k143005));
    data.AddValue(ekdtInteger, 3, TEKFormValue::FromInteger(0));
    data.AddValue(ekdtNumeric, 4, TEKFormValue::FromNumber(0));
    data.AddValue(ekdtBool, 5, TEKFormValue::FromText("0"));
    data.AddValue(ekdtUnknown, 6, TEKFormValue::FromText("lost"));
    data.AddValue(ekdtNumeric, 7, TEKFormValue::FromNumber(-3.25));
    auto doc = ParseXml(Written(data));
    TEKFormData back;
    ASSERT_TRUE(back.LoadFromXML(doc->FindElement("formvalues")));
    ASSERT_EQ(back.Count(), 7);
    const std::vector<TEKFormValue> expected = {
        TEKFormValue::FromText("  spaced ]]> text  "),
        TEKFormValue::FromDateTime(k143005),
        TEKFormValue(),
        TEKFormValue(),
        TEKFormValue::FromText("0"),
        TEKFormValue(),
        TEKFormValue::FromNumber(-3.25),
    };
    for (int ord = 1; ord <= 7; ++ord)
        EXPECT_TRUE(back.GetItemByOrd(ord)->Value == expected[ord - 1]) << ord;
    EXPECT_EQ(back.GetItemByOrd(6)->DataType, ekdtUnknown);
}

TEST(FormDataSetValue, ChangesOnlyTheFirstItemOfTheId)
{
    TEKFormData data;
    data.AddValue(ekdtInteger, 5, TEKFormValue::FromInteger(1));
    data.AddValue(ekdtInteger, 5, TEKFormValue::FromInteger(2));
    data.SetValue(ekdtString, 5, TEKFormValue::FromText("x"));
    ASSERT_EQ(data.Count(), 2);
    EXPECT_EQ(data.GetItemByOrd(1)->DataType, ekdtString);
    EXPECT_TRUE(data.GetItemByOrd(1)->Value == TEKFormValue::FromText("x"));
    EXPECT_TRUE(data.GetItemByOrd(2)->Value == TEKFormValue::FromInteger(2));
    data.SetValue(ekdtBool, 6, TEKFormValue::FromText("1"));
    ASSERT_EQ(data.Count(), 3);
    EXPECT_EQ(data.GetItemByOrd(3)->Id, 6);
}

TEST(FormValue, EmptyValues)
{
    EXPECT_TRUE(TEKFormValue().IsEmptyValue());
    EXPECT_TRUE(TEKFormValue::FromText("").IsEmptyValue());
    EXPECT_TRUE(TEKFormValue::FromInteger(0).IsEmptyValue());
    EXPECT_TRUE(TEKFormValue::FromNumber(0).IsEmptyValue());
    EXPECT_TRUE(TEKFormValue::FromDateTime(0).IsEmptyValue());
    EXPECT_FALSE(TEKFormValue::FromText("0").IsEmptyValue());
    EXPECT_FALSE(TEKFormValue::FromText(" ").IsEmptyValue());
    EXPECT_FALSE(TEKFormValue::FromNumber(1e-9).IsEmptyValue());
    EXPECT_FALSE(TEKFormValue::FromInteger(1) == TEKFormValue::FromNumber(1));
}

} // namespace
