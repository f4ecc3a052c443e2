#include "EKMemDataSet.h"

#include "EKCodecs.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

// A data set with one column of each type, open and empty.
class MemDataSetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(ds.AddFieldDef("c1", ekftString, 5, false));
        ASSERT_TRUE(ds.AddFieldDef("c2", ekftInteger, 0, false));
        ASSERT_TRUE(ds.AddFieldDef("c3", ekftFloat, 0, false));
        ASSERT_TRUE(ds.AddFieldDef("c4", ekftDate, 0, false));
        ASSERT_TRUE(ds.AddFieldDef("c5", ekftTime, 0, false));
        ASSERT_TRUE(ds.AddFieldDef("c6", ekftDateTime, 0, false));
        ASSERT_TRUE(ds.Open());
    }

    // Appends rows whose integer column holds the given keys.
    void AppendKeys(const std::vector<int> &keys)
    {
        for (int key : keys) {
            ASSERT_TRUE(ds.Append());
            ASSERT_TRUE(ds.Fields(1)->SetAsInteger(key));
            ASSERT_TRUE(ds.Fields(0)->SetAsString("k" + std::to_string(key)));
        }
    }

    TEKMemDataSet ds;
};

TEST_F(MemDataSetTest, FieldsFollowTheDefinitionsInOrder)
{
    ASSERT_EQ(ds.FieldCount(), 6);
    const std::vector<TEKFieldType> types = {ekftString, ekftInteger, ekftFloat,
                                             ekftDate,   ekftTime,    ekftDateTime};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(ds.Fields(i)->FieldType(), types[static_cast<std::size_t>(i)]);
        EXPECT_EQ(ds.Fields(i)->Index(), i);
        EXPECT_EQ(ds.Fields(i)->Name(), "c" + std::to_string(i + 1));
    }
    EXPECT_EQ(ds.Fields(6), nullptr);
    EXPECT_EQ(ds.Fields(-1), nullptr);
    EXPECT_EQ(ds.FindField("c4"), ds.Fields(3));
    EXPECT_EQ(ds.FindField("C4"), nullptr);
}

TEST(MemDataSetDefs, DefinitionsThatCannotBecomeFields)
{
    TEKMemDataSet ds;
    EXPECT_TRUE(ds.AddFieldDef("a", ekftString, 10, false));
    EXPECT_FALSE(ds.AddFieldDef("a", ekftInteger, 0, false)) << "duplicate name";
    EXPECT_TRUE(ds.AddFieldDef("b", ekftUnknown, 0, false));
    EXPECT_TRUE(ds.CreateField(0));
    EXPECT_FALSE(ds.CreateField(0)) << "field exists";
    EXPECT_FALSE(ds.CreateField(1)) << "no type";
    EXPECT_FALSE(ds.CreateField(2));
    ds.ClearFields();
    EXPECT_FALSE(ds.Open()) << "a definition without a type";
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.FieldCount(), 0);
    ds.ClearFieldDefs();
    EXPECT_TRUE(ds.Open());
    EXPECT_FALSE(ds.AddFieldDef("c", ekftString, 1, false)) << "open";
}

TEST_F(MemDataSetTest, NewCellsAreNullAndSetValuesReadBack)
{
    ASSERT_TRUE(ds.Append());
    for (int i = 0; i < ds.FieldCount(); ++i) {
        EXPECT_TRUE(ds.Fields(i)->IsNull());
        EXPECT_EQ(ds.Fields(i)->AsString(), "");
    }
    const TEKDateTime when = EncodeDate(2012, 12, 31) + EncodeTime(23, 59, 59);
    EXPECT_TRUE(ds.Fields(0)->SetAsString("abc"));
    EXPECT_TRUE(ds.Fields(1)->SetAsInteger(-42));
    EXPECT_TRUE(ds.Fields(2)->SetAsFloat(12.5));
    EXPECT_TRUE(ds.Fields(3)->SetAsDateTime(when));
    EXPECT_TRUE(ds.Fields(4)->SetAsDateTime(EncodeTime(8, 30, 0)));
    EXPECT_TRUE(ds.Fields(5)->SetAsDateTime(when));
    EXPECT_EQ(ds.Fields(0)->AsString(), "abc");
    EXPECT_EQ(ds.Fields(1)->AsInteger(), -42);
    EXPECT_EQ(ds.Fields(2)->AsFloat(), 12.5);
    EXPECT_EQ(ds.Fields(3)->AsDateTime(), EncodeDate(2012, 12, 31)) << "a date keeps no time";
    EXPECT_EQ(ds.Fields(5)->AsDateTime(), when);
    const std::vector<std::string> texts = {"abc",        "-42",      "12.5",
                                            "31.12.2012", "08:30:00", "31.12.2012 23:59:59"};
    for (int i = 0; i < ds.FieldCount(); ++i) {
        EXPECT_FALSE(ds.Fields(i)->IsNull());
        EXPECT_EQ(ds.Fields(i)->AsString(), texts[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_TRUE(ds.Fields(1)->Clear());
    EXPECT_TRUE(ds.Fields(1)->IsNull());
}

TEST_F(MemDataSetTest, FloatsReadWithoutExponent)
{
    struct Case
    {
        double value;
        std::string text;
    };
    const std::vector<Case> cases = {
        {1000000.0, "1000000"}, {0.1, "0.1"}, {-2.5, "-2.5"}, {1e-7, "0.0000001"}, {0.0, "0"}};
    for (const auto &c : cases) {
        ASSERT_TRUE(ds.Append());
        ASSERT_TRUE(ds.Fields(2)->SetAsFloat(c.value));
        EXPECT_EQ(ds.Fields(2)->AsString(), c.text);
    }
    ASSERT_TRUE(ds.Fields(2)->SetAsFloat(1e300));
    EXPECT_EQ(ds.Fields(2)->AsString().size(), 301u) << "very large numbers are written out too";
}

TEST_F(MemDataSetTest, TimeFieldKeepsOnlyTheTimeOfDay)
{
    ASSERT_TRUE(ds.Append());
    ASSERT_TRUE(ds.Fields(4)->SetAsDateTime(EncodeDate(2012, 12, 31) + EncodeTime(8, 30, 0)));
    EXPECT_NEAR(ds.Fields(4)->AsDateTime(), EncodeTime(8, 30, 0), 1e-10);
    EXPECT_EQ(ds.Fields(4)->AsString(), "08:30:00");
}

TEST_F(MemDataSetTest, ValuesThatDoNotFitChangeNothing)
{
    ASSERT_TRUE(ds.Append());
    ASSERT_TRUE(ds.Fields(1)->SetAsInteger(7));
    ASSERT_TRUE(ds.Fields(2)->SetAsFloat(1.5));
    struct Case
    {
        int field;
        std::string text;
    };
    const std::vector<Case> badTexts = {{1, ""},        {1, "12a"}, {1, "1.5"}, {1, "99999999999"},
                                        {1, " 12"},     {2, "1,5"}, {2, ""},    {2, "x"},
                                        {3, "20121231"}};
    for (const auto &c : badTexts)
        EXPECT_FALSE(ds.Fields(c.field)->SetAsString(c.text)) << c.field << " '" << c.text << "'";
    EXPECT_FALSE(ds.Fields(1)->SetAsFloat(3e10));
    EXPECT_FALSE(ds.Fields(3)->SetAsFloat(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(ds.Fields(1)->SetAsDateTime(1.0));
    EXPECT_EQ(ds.Fields(1)->AsInteger(), 7);
    EXPECT_EQ(ds.Fields(2)->AsFloat(), 1.5);
    EXPECT_TRUE(ds.Fields(3)->IsNull());
}

TEST(MemDataSetNoRow, SettingWithoutACurrentRowFails)
{
    TEKMemDataSet ds;
    ASSERT_TRUE(ds.AddFieldDef("a", ekftInteger, 0, false));
    EXPECT_FALSE(ds.Append()) << "closed";
    ASSERT_TRUE(ds.Open());
    EXPECT_FALSE(ds.Fields(0)->SetAsInteger(1));
    EXPECT_TRUE(ds.Fields(0)->IsNull());
    EXPECT_EQ(ds.RecNo(), -1);
}

TEST_F(MemDataSetTest, TextIsCutToTheSizeInCharacters)
{
    struct Case
    {
        std::string in, stored;
    };
    // Size 5; "š" and "ž" are two bytes each in UTF-8.
    const std::vector<Case> cases = {{"abcdefg", "abcde"},
                                     {"šžšžšž", "šžšžš"},
                                     {"abc", "abc"},
                                     {"", ""},
                                     {"ab\ncd\ne", "ab\ncd"}};
    for (const auto &c : cases) {
        ASSERT_TRUE(ds.Append());
        ASSERT_TRUE(ds.Fields(0)->SetAsString(c.in));
        EXPECT_EQ(ds.Fields(0)->AsString(), c.stored);
        EXPECT_FALSE(ds.Fields(0)->IsNull()) << "an empty text is a value";
    }
}

TEST_F(MemDataSetTest, RewritingTextsKeepsEveryCellIntact)
{
    AppendKeys({1, 2, 3});
    ds.First();
    ASSERT_TRUE(ds.Fields(0)->SetAsString("first"));
    ds.Last();
    ASSERT_TRUE(ds.Fields(0)->SetAsString("x"));
    ASSERT_TRUE(ds.Fields(0)->SetAsString("longer"));
    EXPECT_EQ(ds.Fields(0)->TextAt(0), "first");
    EXPECT_EQ(ds.Fields(0)->TextAt(1), "k2");
    EXPECT_EQ(ds.Fields(0)->TextAt(2), "longe");
}

TEST_F(MemDataSetTest, NavigationAndEndOfData)
{
    ds.First();
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
    AppendKeys({10, 20, 30});
    ds.First();
    EXPECT_EQ(ds.RecNo(), 0);
    EXPECT_FALSE(ds.Eof());
    EXPECT_TRUE(ds.Bof());
    ds.Next();
    ds.Next();
    EXPECT_EQ(ds.Fields(1)->AsInteger(), 30);
    EXPECT_FALSE(ds.Eof()) << "on the last row, no move past it yet";
    ds.Next();
    EXPECT_EQ(ds.RecNo(), 2) << "stays on the last row";
    EXPECT_TRUE(ds.Eof());
    ds.Prior();
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(-5), -1);
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.MoveBy(5), 2);
    EXPECT_TRUE(ds.Eof());
}

TEST_F(MemDataSetTest, AfterScrollSeesEveryMovePastTheEnd)
{
    AppendKeys({1, 2});
    std::vector<std::pair<int, bool>> seen;
    ds.AfterScroll = [&](TEKMemDataSet &d) { seen.emplace_back(d.RecNo(), d.Eof()); };
    ds.First();
    ds.Next();
    ds.Next();
    ds.Next();
    const std::vector<std::pair<int, bool>> expected = {
        {0, false}, {1, false}, {1, true}, {1, true}};
    EXPECT_EQ(seen, expected);
    seen.clear();
    AppendKeys({3});
    EXPECT_TRUE(seen.empty()) << "appending is no scroll";
}

TEST_F(MemDataSetTest, BookmarkReturnsToTheRememberedRow)
{
    AppendKeys({10, 20, 30});
    ds.First();
    ds.Next();
    const TEKBookmark mark = ds.GetBookmark();
    ds.Last();
    AppendKeys({40});
    ASSERT_TRUE(ds.GotoBookmark(mark));
    EXPECT_EQ(ds.Fields(1)->AsInteger(), 20);
    ds.Next();
    EXPECT_EQ(ds.Fields(1)->AsInteger(), 30);

    ds.Close();
    ASSERT_TRUE(ds.Open());
    AppendKeys({1, 2, 3});
    EXPECT_FALSE(ds.BookmarkValid(mark)) << "a bookmark dies with the rows it was taken on";
    EXPECT_FALSE(ds.GotoBookmark(mark));
    EXPECT_EQ(ds.RecNo(), 2);
}

TEST_F(MemDataSetTest, LocateFindsTheFirstMatchingRow)
{
    AppendKeys({5, 7, 7, 9});
    ds.Fields(2)->SetAsFloat(7.0); // the float column of the last row
    struct Case
    {
        std::string field;
        long long value;
        bool found;
        int row;
    };
    const std::vector<Case> cases = {{"c2", 7, true, 1}, {"c2", 9, true, 3},  {"c2", 8, false, 3},
                                     {"c3", 7, true, 3}, {"c9", 7, false, 3}, {"c2", 5, true, 0}};
    ds.Last();
    for (const auto &c : cases) {
        const int before = ds.RecNo();
        EXPECT_EQ(ds.Locate(c.field, c.value), c.found) << c.field << " " << c.value;
        EXPECT_EQ(ds.RecNo(), c.found ? c.row : before);
    }
    EXPECT_TRUE(ds.Locate("c1", std::string_view("k9")));
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_FALSE(ds.Locate("c1", std::string_view("K9")));
    EXPECT_FALSE(ds.Locate("c4", 0LL)) << "null cells never match";
}

TEST_F(MemDataSetTest, CancelDropsOnlyThePendingRow)
{
    AppendKeys({1, 2});
    ASSERT_TRUE(ds.HasPendingRow());
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 1);
    EXPECT_EQ(ds.RecNo(), 0);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 1) << "a completed row stays";
    AppendKeys({3});
    EXPECT_EQ(ds.Fields(0)->TextAt(1), "k3");
    EXPECT_EQ(ds.Fields(1)->AsInteger(), 3);
}

// Records every notice.
struct Recorder
{
    explicit Recorder(TEKMemDataSet &ds)
        : ds(ds), id(ds.AddListener([this](const TEKDataSetNotice &n) { notices.push_back(n); }))
    {
    }
    ~Recorder() { ds.RemoveListener(id); }
    std::vector<std::string> Texts() const
    {
        static const char *names[] = {"reset", "appended", "changed", "destroyed"};
        std::vector<std::string> out;
        for (const auto &n : notices)
            out.push_back(std::string(names[n.Change]) + " " + std::to_string(n.FirstRow) + " " +
                          std::to_string(n.Count));
        return out;
    }
    TEKMemDataSet &ds;
    int id;
    std::vector<TEKDataSetNotice> notices;
};

TEST_F(MemDataSetTest, ListenersHearOfCompletedRowsOnly)
{
    Recorder rec(ds);
    AppendKeys({1, 2});
    ds.First();
    ds.Fields(1)->SetAsInteger(5);
    const std::vector<std::string> expected = {"appended 0 1", "appended 1 1", "changed 0 1"};
    EXPECT_EQ(rec.Texts(), expected);
}

TEST_F(MemDataSetTest, SuspendedNoticesAreMergedOnResume)
{
    AppendKeys({1, 2});
    ds.First();
    Recorder rec(ds);
    ds.DisableControls();
    ds.DisableControls();
    EXPECT_TRUE(ds.ControlsDisabled());
    ds.Fields(1)->SetAsInteger(9); // row 0
    AppendKeys({3, 4, 5});
    ds.EnableControls();
    EXPECT_TRUE(rec.notices.empty()) << "still suspended once";
    ds.EnableControls();
    EXPECT_FALSE(ds.ControlsDisabled());
    ds.EnableControls(); // one too many does no harm
    ds.First();
    const std::vector<std::string> expected = {"changed 0 1", "appended 2 2", "appended 4 1"};
    EXPECT_EQ(rec.Texts(), expected);
}

TEST_F(MemDataSetTest, CloseWhileSuspendedGivesOneReset)
{
    AppendKeys({1});
    ds.First();
    Recorder rec(ds);
    ds.DisableControls();
    ds.Close();
    ASSERT_TRUE(ds.Open());
    AppendKeys({1, 2});
    ds.EnableControls();
    const std::vector<std::string> expected = {"reset 0 0"};
    EXPECT_EQ(rec.Texts(), expected);
}

TEST(MemDataSetListeners, ListenerMayRemoveItselfAndHearsDestruction)
{
    std::vector<std::string> heard;
    {
        TEKMemDataSet ds;
        ASSERT_TRUE(ds.Open());
        int id = 0;
        id = ds.AddListener([&](const TEKDataSetNotice &) {
            heard.push_back("once");
            ds.RemoveListener(id);
        });
        ds.AddListener([&](const TEKDataSetNotice &n) {
            heard.push_back(n.Change == ekdcDestroyed ? "destroyed" : "other");
        });
        ds.Close();
        ds.Close(); // already closed: no notice
        ASSERT_TRUE(ds.Open());
    }
    const std::vector<std::string> expected = {"once", "other", "other", "destroyed"};
    EXPECT_EQ(heard, expected);
}

TEST_F(MemDataSetTest, DisplayTextUsesFormatThenHandler)
{
    ASSERT_TRUE(ds.Append());
    ds.Fields(5)->SetAsDateTime(EncodeDate(2012, 12, 24) + EncodeTime(15, 30, 45));
    ds.Fields(0)->SetAsString("12");
    EXPECT_EQ(ds.Fields(5)->DisplayText(0), "24.12.2012 15:30:45");
    ds.Fields(5)->SetDisplayFormat("dd.mm.yyyy hh:nn");
    EXPECT_EQ(ds.Fields(5)->DisplayText(0), "24.12.2012 15:30");
    ds.Fields(0)->SetOnGetText([](const TEKMemField &f, int row, std::string &text) {
        text = f.IsNullAt(row) ? "-" : "<" + text + ">";
    });
    EXPECT_EQ(ds.Fields(0)->DisplayText(0), "<12>");
    EXPECT_EQ(ds.Fields(0)->DisplayText(7), "-");
}

TEST_F(MemDataSetTest, DateTextsAgreeWithFormatDateValue)
{
    const std::vector<std::string> patterns = {"dd.mm.yyyy hh:nn:ss", "dd.mm.yyyy hh:nn",
                                               "yyyymmddhhnnss.zzz", "hh:nn", "d-m-y mmm"};
    const std::vector<TEKDateTime> values = {0.0,
                                             EncodeDate(2012, 12, 31) + EncodeTime(23, 59, 59, 999),
                                             EncodeDate(2012, 12, 31) + 0.99999999,
                                             -1.25,
                                             EncodeDate(1, 1, 1),
                                             EncodeDate(9999, 12, 31) + EncodeTime(12, 0, 0),
                                             EncodeDate(2024, 2, 29) + EncodeTime(0, 0, 0, 1)};
    for (const auto &pattern : patterns) {
        ds.Fields(5)->SetDisplayFormat(pattern);
        for (const TEKDateTime value : values) {
            ASSERT_TRUE(ds.Append());
            ASSERT_TRUE(ds.Fields(5)->SetAsDateTime(value));
            const int row = ds.RecNo();
            EXPECT_EQ(ds.Fields(5)->DisplayText(row), FormatDateValue(pattern, value))
                << pattern << " " << value;
            EXPECT_EQ(ds.Fields(5)->AsString(), FormatDateValue("dd.mm.yyyy hh:nn:ss", value));
        }
    }
}

// The grid's view of a cell is DisplayText without a copy: for every type,
// the plain and the common patterns, a pattern longer than the buffer, and
// values at the ends of the calendar and where a time rounds into the next day.
TEST_F(MemDataSetTest, DisplayViewAgreesWithDisplayText)
{
    const std::vector<std::string> patterns = {"",
                                               "dd.mm.yyyy",
                                               "hh:nn:ss",
                                               "dd.mm.yyyy hh:nn",
                                               "dd.mm.yyyy hh:nn:ss",
                                               "dd. mm. yyyy \u010das hh:nn",
                                               std::string(300, '-') + "yyyy" +
                                                   std::string(300, '+')};
    const std::vector<double> values = {0.0,
                                        -1.25,
                                        0.99999999,
                                        -0.99999999,
                                        EncodeDate(2012, 12, 31) + 0.99999999,
                                        EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 59, 999),
                                        EncodeDate(1, 1, 1),
                                        -693000.5,
                                        -692999.5,
                                        2957999.75,
                                        2958000.25,
                                        EncodeDate(9999, 12, 31) + 0.99999999,
                                        1e300,
                                        -1e-300,
                                        123456.78};
    for (const auto &pattern : patterns) {
        for (int column = 3; column <= 5; ++column)
            ds.Fields(column)->SetDisplayFormat(pattern);
        for (const double value : values) {
            ASSERT_TRUE(ds.Append());
            ds.Fields(0)->SetAsString("\u017eluv");
            ds.Fields(1)->SetAsInteger(static_cast<int>(value > 2e9 ? -2147483647 - 1 : value));
            for (int column = 2; column <= 5; ++column)
                ds.Fields(column)->SetAsFloat(value);
        }
        ASSERT_TRUE(ds.Append()); // a row of nulls
        ds.Post();
        TEKCellText buffer;
        for (int row = 0; row < ds.RecordCount(); ++row)
            for (int column = 0; column < ds.FieldCount(); ++column) {
                const TEKMemField &field = *ds.Fields(column);
                bool ascii = false;
                const std::string view(field.DisplayView(row, buffer, ascii));
                std::string expected = field.DisplayText(row);
                if (column >= 3 && !field.IsNullAt(row)) {
                    // Dates against the general formatter, not the field's own.
                    static const char *const kPlain[] = {"dd.mm.yyyy", "hh:nn:ss",
                                                         "dd.mm.yyyy hh:nn:ss"};
                    expected = FormatDateValue(pattern.empty() ? kPlain[column - 3] : pattern,
                                               field.FloatAt(row));
                }
                EXPECT_EQ(view, expected) << pattern << " row " << row << " c" << column;
                if (ascii) {
                    for (const char c : view)
                        EXPECT_LT(static_cast<unsigned char>(c), 0x80) << view;
                }
            }
        ds.Close();
        ASSERT_TRUE(ds.Open());
    }
}

TEST(MemDataSetColumns, NullBitmapAcrossWordBoundaries)
{
    TEKMemDataSet ds;
    ASSERT_TRUE(ds.AddFieldDef("n", ekftInteger, 0, false));
    ASSERT_TRUE(ds.Open());
    const int rows = 200;
    for (int i = 0; i < rows; ++i) {
        ASSERT_TRUE(ds.Append());
        if (i % 3 == 0)
            ds.Fields(0)->SetAsInteger(i);
    }
    ds.Cancel();
    for (int i = 0; i < rows - 1; ++i) {
        EXPECT_EQ(ds.Fields(0)->IsNullAt(i), i % 3 != 0) << i;
        EXPECT_EQ(ds.Fields(0)->IntegerAt(i), i % 3 == 0 ? i : 0);
    }
    ASSERT_TRUE(ds.Append());
    EXPECT_TRUE(ds.Fields(0)->IsNull()) << "a row appended after a cancel starts empty";
}

} // namespace
