#include "EKXMLData.h"

#include "EKCodecs.h"
#include "EKWin1250.h"
#include "EKXML.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The text is UTF-8; the reader gets it as the server sends it.
std::unique_ptr<TEKXML> Parse(const std::string &utf8)
{
    auto doc = std::make_unique<TEKXML>();
    EXPECT_EQ(doc->LoadFromStream(Utf8ToWin1250(utf8)), 0) << utf8;
    return doc;
}

std::string Column(const std::string &name, const std::string &size, const std::string &type)
{
    return "<col><name>" + name + "</name><size>" + size + "</size><type>" + type + "</type></col>";
}

std::string Cell(int fldord, const std::string &text)
{
    return "<c fldord=\"" + std::to_string(fldord) + "\">" + text + "</c>";
}

// The six column types in the order of the table, named c0 .. c5.
const std::string kSixColumns = Column("c0", "10", "string") + Column("c1", "0", "integer") +
                                Column("c2", "0", "numeric") + Column("c3", "0", "date") +
                                Column("c4", "0", "datetime") + Column("c5", "0", "time");

class XMLDataTest : public ::testing::Test
{
protected:
    // Defines the columns and opens the data set.
    void Define(const std::string &columns)
    {
        auto doc = Parse("<re_getdata><xmlsetdef>" + columns + "</xmlsetdef></re_getdata>");
        ASSERT_TRUE(data.LoadDefinition(doc->FindElement("xmlsetdef"))) << data.LastError();
        ASSERT_TRUE(ds.Open());
    }

    // Loads "xmlsetdata" with the rows; returns LoadRows' result.
    bool Rows(const std::string &rows, int &count)
    {
        auto doc = Parse("<re_getdata><xmlsetdata>" + rows + "</xmlsetdata></re_getdata>");
        return data.LoadRows(doc->FindElement("xmlsetdata"), count);
    }

    TEKMemDataSet ds;
    TEKXMLData data{ds};
};

TEST(XMLDataTypes, TypeNameToFieldType)
{
    struct Case
    {
        std::string name;
        TEKFieldType type;
    };
    const std::vector<Case> cases = {
        {"string", ekftString}, {"integer", ekftInteger},   {"numeric", ekftFloat},
        {"date", ekftDate},     {"datetime", ekftDateTime}, {"time", ekftTime},
        {"bool", ekftUnknown},  {"String", ekftUnknown},    {"", ekftUnknown},
        {" date", ekftUnknown}, {"codelist", ekftUnknown},  {"recnumber", ekftUnknown}};
    for (const auto &c : cases)
        EXPECT_EQ(TEKXMLData::TypeNameToFieldType(c.name), c.type) << c.name;
}

TEST_F(XMLDataTest, SixColumnTypesInOrder)
{
    Define(kSixColumns);
    const std::vector<TEKFieldType> types = {ekftString, ekftInteger,  ekftFloat,
                                             ekftDate,   ekftDateTime, ekftTime};
    ASSERT_EQ(ds.FieldCount(), 6);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ds.Fields(i)->Name(), "c" + std::to_string(i));
        EXPECT_EQ(ds.Fields(i)->FieldType(), types[static_cast<std::size_t>(i)]);
        EXPECT_FALSE(ds.Fields(i)->Required());
    }
    EXPECT_EQ(ds.Fields(0)->Size(), 10);
}

TEST_F(XMLDataTest, DefinitionReplacesTheColumnsAndClosesTheDataSet)
{
    Define(kSixColumns);
    int count = 0;
    ASSERT_TRUE(Rows("<r>" + Cell(1, "5") + "</r>", count));
    Define(Column("c9", "3", "string"));
    EXPECT_EQ(ds.FieldCount(), 1);
    EXPECT_EQ(ds.RecordCount(), 0);
}

TEST_F(XMLDataTest, DefinitionFailuresLeaveNoColumns)
{
    struct Case
    {
        std::string columns;
        std::string error; // part of the reason
    };
    const std::vector<Case> cases = {
        {Column("c1", "0", "integer") + Column("c2", "0", "bool"), "invalid data type"},
        {Column("c1", "0", "Integer"), "invalid data type"},
        {Column("c1", "0", ""), "invalid data type"},
        {"<col><size>1</size><type>string</type></col>", "\"name\""},
        {"<col><name>c1</name><type>string</type></col>", "\"size\""},
        {"<col><name>c1</name><size>1</size></col>", "\"type\""},
        {"<col/>", "\"name\""},
        {Column("c1", "x", "string"), "not a number"},
        {Column("c1", "", "string"), "not a number"},
        {Column("c1", "1.5", "string"), "not a number"},
        // A broken column stops the load before any type is looked at.
        {Column("c1", "0", "bool") + Column("c2", "?", "string"), "not a number"},
        {Column("c1", "0", "integer") + Column("c1", "5", "string"), "twice"},
    };
    for (const auto &c : cases) {
        ds.Close();
        ds.ClearFields();
        ASSERT_TRUE(ds.AddFieldDef("old", ekftString, 1, false));
        ASSERT_TRUE(ds.Open());
        auto doc = Parse("<xmlsetdef>" + c.columns + "</xmlsetdef>");
        EXPECT_FALSE(data.LoadDefinition(doc.get())) << c.columns;
        EXPECT_NE(data.LastError().find(c.error), std::string::npos) << data.LastError();
        EXPECT_EQ(ds.FieldCount(), 0) << c.columns;
        EXPECT_TRUE(ds.FieldDefs().empty());
        EXPECT_FALSE(ds.Active());
    }
}

TEST_F(XMLDataTest, OtherElementsDefineNoColumns)
{
    const std::vector<std::string> texts = {"<xmlsetdef/>", "<xmlsetdef></xmlsetdef>",
                                            "<xmlsetdefs>" + kSixColumns + "</xmlsetdefs>"};
    for (const auto &text : texts) {
        ASSERT_TRUE(ds.AddFieldDef("old", ekftString, 1, false));
        auto doc = Parse(text);
        EXPECT_TRUE(data.LoadDefinition(doc.get())) << text;
        EXPECT_EQ(ds.FieldCount(), 0);
        EXPECT_TRUE(ds.FieldDefs().empty());
    }
    EXPECT_TRUE(data.LoadDefinition(nullptr));
}

TEST_F(XMLDataTest, CellOnlyInColumnTwo)
{
    Define(kSixColumns);
    int count = 0;
    ASSERT_TRUE(Rows("<r>" + Cell(2, "1.25") + "</r><r></r>", count)) << data.LastError();
    EXPECT_EQ(count, 2);
    ds.First();
    EXPECT_TRUE(ds.Fields(0)->IsNull());
    EXPECT_TRUE(ds.Fields(1)->IsNull());
    EXPECT_EQ(ds.Fields(2)->AsFloat(), 1.25);
    ds.Next();
    for (int i = 0; i < ds.FieldCount(); ++i)
        EXPECT_TRUE(ds.Fields(i)->IsNull()) << "a row without cells is an empty row";
}

TEST_F(XMLDataTest, CellsInAnyOrderAndAnyName)
{
    Define(kSixColumns);
    int count = 0;
    ASSERT_TRUE(Rows("<row><x fldord=\"1\">7</x><y fldord=\"0\">a</y></row>", count));
    ds.First();
    EXPECT_EQ(ds.Fields(0)->AsString(), "a");
    EXPECT_EQ(ds.Fields(1)->AsInteger(), 7);
}

TEST_F(XMLDataTest, TextCells)
{
    Define(Column("c0", "0", "string"));
    struct Case
    {
        std::string cell;
        std::string stored;
    };
    const std::vector<Case> cases = {
        {"\n<![CDATA[  two\nlines  ]]>\n", "  two\nlines  "},
        {"  plain text \t", "plain text"},
        {"<![CDATA[a]]]]><![CDATA[>b]]>", "a]]>b"},
        {"<![CDATA[]]>", ""},
        {"<![CDATA[šžč ŠŽČ]]>", "šžč ŠŽČ"},
        {"a &amp; b", "a &amp; b"},
        {"<![CDATA[x]]> tail", "<![CDATA[x]]> tail"},
        {"<![CDATA[a]]]>", "a]"},
        {"<![CDATA[a]]>b]]>", "a]]>b"},
    };
    std::string rows;
    for (const auto &c : cases)
        rows += "<r>" + Cell(0, c.cell) + "</r>";
    int count = 0;
    ASSERT_TRUE(Rows(rows, count)) << data.LastError();
    ASSERT_EQ(count, static_cast<int>(cases.size()));
    for (int i = 0; i < count; ++i) {
        const auto &c = cases[static_cast<std::size_t>(i)];
        EXPECT_EQ(ds.Fields(0)->TextAt(i), c.stored) << c.cell;
        EXPECT_EQ(ds.Fields(0)->TextAt(i), FromCDATA(c.cell)) << "same as the codec: " << c.cell;
    }
}

TEST_F(XMLDataTest, TextCellsAreCutToTheColumnSize)
{
    Define(Column("c0", "3", "string"));
    int count = 0;
    ASSERT_TRUE(Rows("<r>" + Cell(0, "<![CDATA[čšžabc]]>") + "</r>", count));
    EXPECT_EQ(ds.Fields(0)->TextAt(0), "čšž");
}

TEST_F(XMLDataTest, DatesTimesAndDateTimes)
{
    Define(kSixColumns);
    int count = 0;
    ASSERT_TRUE(Rows("<r>" + Cell(3, "20121231") + Cell(4, "20121231235959") +
                         Cell(5, "00000000083000") + "</r>",
                     count))
        << data.LastError();
    ds.First();
    EXPECT_EQ(ds.Fields(3)->AsDateTime(), EncodeDate(2012, 12, 31));
    EXPECT_EQ(ds.Fields(4)->AsString(), "31.12.2012 23:59:59");
    EXPECT_NEAR(ds.Fields(4)->AsDateTime(), EncodeDate(2012, 12, 31) + EncodeTime(23, 59, 59),
                1e-9);
    EXPECT_EQ(ds.Fields(5)->AsString(), "08:30:00");
    EXPECT_NEAR(ds.Fields(5)->AsDateTime(), EncodeTime(8, 30, 0), 1e-10);
}

// Cells are read without the general readers where they can be; the values
// must be exactly what CompactToDateTime and TextToFloat give.
TEST_F(XMLDataTest, CellValuesMatchTheGeneralReaders)
{
    Define(kSixColumns);
    const std::vector<std::string> dates = {
        "00010101",       "99991231",       "20000229",       "19000228",       "18991230",
        "18991229",       "17000301",       "20240101",       "00000000000000", "00000000235959",
        "00010101000001", "99991231235959", "18991229120000", "16000229060000", "2012123123595999"};
    const std::vector<std::string> numbers = {"0",
                                              "7",
                                              "12.5",
                                              "0.1",
                                              "99999.99",
                                              "123456789012345",
                                              "1234567890123456",
                                              ".5",
                                              "5.",
                                              "0.30000000000000004",
                                              "-12.5",
                                              " 3",
                                              "1e3",
                                              "007.250",
                                              "3.141592653589793"};
    std::string rows;
    for (std::size_t i = 0; i < dates.size(); ++i) {
        const std::string &date = dates[i];
        rows += "<r>" + Cell(date.size() == 8 ? 3 : 4, date) + Cell(2, numbers[i]) + "</r>";
    }
    int count = 0;
    ASSERT_TRUE(Rows(rows, count)) << data.LastError();
    ASSERT_EQ(count, static_cast<int>(dates.size()));
    for (int i = 0; i < count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const int column = dates[k].size() == 8 ? 3 : 4;
        EXPECT_EQ(ds.Fields(column)->FloatAt(i), CompactToDateTime(dates[k])) << dates[k];
        EXPECT_EQ(ds.Fields(2)->FloatAt(i), TextToFloat(numbers[k])) << numbers[k];
    }
}

TEST_F(XMLDataTest, NumericCellsThatAreNoNumberGiveZero)
{
    Define(kSixColumns);
    struct Case
    {
        std::string text;
        double value;
    };
    const std::vector<Case> cases = {
        {"12.5", 12.5}, {"12,5", 0.0}, {"", 0.0}, {"abc", 0.0}, {"-1e3", -1000.0}};
    std::string rows;
    for (const auto &c : cases)
        rows += "<r>" + Cell(2, c.text) + "</r>";
    int count = 0;
    ASSERT_TRUE(Rows(rows, count)) << data.LastError();
    for (int i = 0; i < count; ++i) {
        EXPECT_FALSE(ds.Fields(2)->IsNullAt(i)) << "0, not empty";
        EXPECT_EQ(ds.Fields(2)->FloatAt(i), cases[static_cast<std::size_t>(i)].value)
            << cases[static_cast<std::size_t>(i)].text;
    }
}

TEST_F(XMLDataTest, EmptyRowSetAppendsNothing)
{
    Define(kSixColumns);
    const std::vector<std::string> answers = {"<re><xmlsetdata/></re>",
                                              "<re><xmlsetdata></xmlsetdata></re>",
                                              "<re><rows><r/></rows></re>"};
    for (const auto &rows : answers) {
        auto doc = Parse(rows);
        int count = -1;
        EXPECT_TRUE(data.LoadRows(doc->ElementByOrd(1), count)) << rows;
        EXPECT_EQ(count, 0);
        EXPECT_EQ(ds.RecordCount(), 0);
    }
}

TEST_F(XMLDataTest, BadCellsStopTheLoadAndKeepTheRowsBefore)
{
    Define(kSixColumns);
    const std::vector<std::string> badCells = {
        "<c>1</c>",
        "<c fldord=\"\">1</c>",
        "<c fldord=\"x\">1</c>",
        "<c fldord=\" 1\">1</c>",
        Cell(6, "1"),
        Cell(-1, "1"),
        Cell(1, ""),
        Cell(1, "1.5"),
        Cell(1, "99999999999"),
        Cell(1, "<![CDATA[1]]>"),
        Cell(3, ""),
        Cell(3, "2012123"),
        Cell(3, "20121332"),
        Cell(4, "201212311430"),
        Cell(4, "20121231250000"),
        Cell(5, "abc"),
        Cell(5, ""),
    };
    for (const auto &bad : badCells) {
        ds.Close();
        ASSERT_TRUE(ds.Open());
        int count = -1;
        EXPECT_FALSE(Rows("<r>" + Cell(0, "kept") + Cell(1, "1") + "</r><r>" + Cell(0, "half") +
                              bad + "</r><r>" + Cell(1, "3") + "</r>",
                          count))
            << bad;
        EXPECT_FALSE(data.LastError().empty());
        EXPECT_EQ(count, 1) << bad;
        ASSERT_EQ(ds.RecordCount(), 1) << "the failing row is dropped: " << bad;
        EXPECT_EQ(ds.Fields(0)->TextAt(0), "kept");
        EXPECT_EQ(ds.Fields(1)->IntegerAt(0), 1);
        EXPECT_FALSE(ds.ControlsDisabled()) << "notifications are resumed after a failure";
    }
}

TEST_F(XMLDataTest, LoadRowsIntoAClosedDataSetFails)
{
    Define(kSixColumns);
    ds.Close();
    int count = -1;
    EXPECT_FALSE(Rows("<r>" + Cell(1, "1") + "</r>", count));
    EXPECT_EQ(count, 0);
}

TEST_F(XMLDataTest, NotificationsAreSuspendedDuringTheLoad)
{
    Define(kSixColumns);
    std::vector<std::pair<int, int>> appended;
    bool suspendedWhenHeard = false;
    ds.AddListener([&](const TEKDataSetNotice &n) {
        if (n.Change == ekdcRowsAppended)
            appended.emplace_back(n.FirstRow, n.Count);
        suspendedWhenHeard = suspendedWhenHeard || ds.ControlsDisabled();
    });
    int count = 0;
    ASSERT_TRUE(
        Rows("<r>" + Cell(1, "1") + "</r><r>" + Cell(1, "2") + "</r><r>" + Cell(1, "3") + "</r>",
             count));
    EXPECT_FALSE(ds.ControlsDisabled());
    ds.First(); // completes the last row
    const std::vector<std::pair<int, int>> expected = {{0, 2}, {2, 1}};
    EXPECT_EQ(appended, expected);
    EXPECT_FALSE(suspendedWhenHeard);

    // Suspended by the caller: still suspended afterwards, nothing heard.
    appended.clear();
    ds.DisableControls();
    ASSERT_TRUE(Rows("<r>" + Cell(1, "4") + "</r>", count));
    EXPECT_TRUE(ds.ControlsDisabled());
    EXPECT_TRUE(appended.empty());
    ds.EnableControls();
}

TEST_F(XMLDataTest, FixtureAnswerWithChunks)
{
    std::ifstream in(std::string(WEK_TEST_DATA) + "/model/xmldata_answer.xml", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(bytes.str()), 0);
    ASSERT_TRUE(data.LoadDefinition(doc.FindElement("xmlsetdef"))) << data.LastError();
    ASSERT_TRUE(ds.Open());
    int count = 0;
    ASSERT_TRUE(data.LoadRows(doc.FindElement("xmlsetdata"), count)) << data.LastError();
    EXPECT_EQ(count, 3);
    ds.First();
    ASSERT_TRUE(ds.Locate("c101", 2LL));
    EXPECT_EQ(ds.Fields(1)->AsString(), "Žluťoučký kůň\r\núpěl");
    EXPECT_EQ(ds.Fields(2)->AsFloat(), 1234.5);
    EXPECT_EQ(ds.Fields(3)->AsString(), "24.12.2012");
    EXPECT_EQ(ds.Fields(4)->AsString(), "24.12.2012 15:30:00");
    EXPECT_TRUE(ds.Fields(5)->IsNull());
}

} // namespace
