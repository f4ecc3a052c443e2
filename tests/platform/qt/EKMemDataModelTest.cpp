#include "EKMemDataModel.h"

#include "EKCodecs.h"
#include "EKMemDataSet.h"
#include "EKWin1250.h"
#include "EKXML.h"
#include "EKXMLData.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

QStringList gWarnings;

void CollectWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        gWarnings << text;
}

class MemDataModelTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "EKMemDataModelTest";
        static char *argv[] = {name, nullptr};
        if (!QApplication::instance())
            new QApplication(argc, argv);
    }

    void SetUp() override
    {
        gWarnings.clear();
        previousHandler = qInstallMessageHandler(CollectWarnings);
    }
    void TearDown() override { qInstallMessageHandler(previousHandler); }

    // Reads an answer with "xmlsetdef" (when defining) and "xmlsetdata" the way
    // the data pack does: define and open, or remember the row; load the rows;
    // then go to the first row, or back to the remembered row and one further.
    void LoadAnswer(const std::string &utf8, bool append)
    {
        TEKXML doc;
        ASSERT_EQ(doc.LoadFromStream(Utf8ToWin1250(utf8)), 0);
        TEKXMLData data(ds);
        TEKBookmark mark;
        if (!append) {
            ASSERT_TRUE(data.LoadDefinition(doc.FindElement("xmlsetdef"))) << data.LastError();
            ASSERT_TRUE(ds.Open());
        } else {
            mark = ds.GetBookmark();
        }
        int count = 0;
        ASSERT_TRUE(data.LoadRows(doc.FindElement("xmlsetdata"), count)) << data.LastError();
        if (!append) {
            ds.First();
        } else {
            ds.GotoBookmark(mark);
            ds.Next();
        }
    }

    static std::string Definition()
    {
        return "<xmlsetdef>"
               "<f><name>c1</name><size>20</size><type>string</type></f>"
               "<f><name>c2</name><size>0</size><type>integer</type></f>"
               "<f><name>c3</name><size>0</size><type>numeric</type></f>"
               "<f><name>c4</name><size>0</size><type>date</type></f>"
               "<f><name>c5</name><size>0</size><type>datetime</type></f>"
               "<f><name>c6</name><size>0</size><type>time</type></f>"
               "</xmlsetdef>";
    }

    // Rows first .. first + count - 1: text, key, number, date, date-time, time.
    static std::string Rows(int first, int count)
    {
        std::string rows = "<xmlsetdata>";
        for (int i = first; i < first + count; ++i) {
            const std::string n = std::to_string(i);
            rows +=
                "<r><c fldord=\"0\"><![CDATA[Řádek " + n + "]]></c><c fldord=\"1\">" + n + "</c>";
            if (i % 4 != 3)
                rows += "<c fldord=\"2\">" + n +
                        ".25</c><c fldord=\"3\">20121224</c>"
                        "<c fldord=\"4\">20121224153045</c><c fldord=\"5\">00000000083000</c>";
            rows += "</r>";
        }
        return rows + "</xmlsetdata>";
    }

    QString Text(const TEKMemDataModel &model, int row, int column)
    {
        return model.data(model.index(row, column)).toString();
    }

    QtMessageHandler previousHandler = nullptr;
    TEKMemDataSet ds;
};

TEST_F(MemDataModelTest, PassesTheModelTesterWithRowsAppendedInTwoChunks)
{
    TEKMemDataModel model(&ds);
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 5) + "</re_getdata>", false);
    EXPECT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.columnCount(), 6);
    ds.Last(); // the user has gone to the end
    LoadAnswer("<re_getdata>" + Rows(5, 3) + "</re_getdata>", true);
    EXPECT_EQ(model.rowCount(), 8);
    EXPECT_EQ(ds.RecNo(), 5) << "the first new row is current";

    std::vector<std::pair<int, int>> ranges;
    for (const auto &args : inserted)
        ranges.emplace_back(args.at(1).toInt(), args.at(2).toInt());
    const std::vector<std::pair<int, int>> expected = {{0, 3}, {4, 4}, {5, 6}, {7, 7}};
    EXPECT_EQ(ranges, expected) << "the rows are announced as they are completed";
    EXPECT_EQ(Text(model, 7, 0), "Řádek 7");
    EXPECT_TRUE(gWarnings.isEmpty()) << gWarnings.join('\n').toStdString();
}

TEST_F(MemDataModelTest, CellsShowTheirDisplayFormats)
{
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 4) + "</re_getdata>", false);
    TEKMemDataModel model(&ds);
    ds.Fields(3)->SetDisplayFormat("dd.mm.yyyy");
    ds.Fields(4)->SetDisplayFormat("dd.mm.yyyy hh:nn");
    ds.Fields(5)->SetDisplayFormat("hh:nn");
    struct Case
    {
        int row, column;
        QString text;
    };
    const std::vector<Case> cases = {
        {1, 0, "Řádek 1"},          {1, 1, "1"},     {1, 2, "1.25"}, {1, 3, "24.12.2012"},
        {1, 4, "24.12.2012 15:30"}, {1, 5, "08:30"}, {3, 2, ""},     {3, 4, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Text(model, c.row, c.column), c.text) << c.row << "," << c.column;

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    ds.Fields(4)->SetDisplayFormat("dd.mm.yyyy hh:nn:ss");
    EXPECT_EQ(changed.count(), 1) << "a new format repaints the rows";
    EXPECT_EQ(Text(model, 1, 4), "24.12.2012 15:30:45");

    EXPECT_EQ(model.data(model.index(1, 1), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_EQ(model.data(model.index(1, 0), Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignLeft | Qt::AlignVCenter);
    EXPECT_FALSE(model.data(model.index(9, 0)).isValid());
    EXPECT_FALSE(model.data(model.index(0, 9)).isValid());
}

// Numbers and dates come out as ASCII; a pattern with letters beyond it must
// still show them, and every cell is a QString.
TEST_F(MemDataModelTest, CellTextsAreStringsInEveryPattern)
{
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 4) + "</re_getdata>", false);
    TEKMemDataModel model(&ds);
    ds.Fields(3)->SetDisplayFormat("dd.mm.yyyy (čtvrtek)");
    ds.Fields(5)->SetDisplayFormat("hh:nn:ss.zzz");
    EXPECT_EQ(Text(model, 1, 3), "24.12.2012 (čtvrtek)");
    EXPECT_EQ(Text(model, 1, 5), "08:30:00.000");
    for (int column = 0; column < model.columnCount(); ++column) {
        const QVariant cell = model.data(model.index(0, column));
        EXPECT_EQ(cell.typeId(), QMetaType::QString) << column;
        EXPECT_EQ(cell.toString().toStdString(), ds.Fields(column)->DisplayText(0)) << column;
    }
}

TEST_F(MemDataModelTest, DisplayTextHandlerOfAColumn)
{
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 3) + "</re_getdata>", false);
    TEKMemDataModel model(&ds);
    ds.Fields(1)->SetOnGetText([](const TEKMemField &field, int row, std::string &text) {
        text = field.IsNullAt(row) ? "" : "#" + text;
    });
    EXPECT_EQ(Text(model, 2, 1), "#2");
}

TEST_F(MemDataModelTest, CaptionsAreSettableAndKeptByFieldName)
{
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 1) + "</re_getdata>", false);
    TEKMemDataModel model(&ds);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "c2");
    QSignalSpy header(&model, &QAbstractItemModel::headerDataChanged);
    EXPECT_TRUE(model.setHeaderData(1, Qt::Horizontal, "Key"));
    EXPECT_FALSE(model.setHeaderData(6, Qt::Horizontal, "none"));
    EXPECT_EQ(header.count(), 1);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Key");
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 1) + "</re_getdata>", false);
    EXPECT_EQ(model.headerData(1, Qt::Horizontal).toString(), "Key");
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toInt(), 1);
}

TEST_F(MemDataModelTest, AppendedChunkKeepsTheViewsPlace)
{
    LoadAnswer("<re_getdata>" + Definition() + Rows(0, 60) + "</re_getdata>", false);
    TEKMemDataModel model(&ds);
    QTableView view;
    view.setModel(&model);
    view.resize(640, 300);
    view.show();
    view.horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    view.setCurrentIndex(model.index(40, 1));
    view.scrollTo(model.index(40, 1), QAbstractItemView::PositionAtCenter);
    QApplication::processEvents();
    const int scroll = view.verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);

    LoadAnswer("<re_getdata>" + Rows(60, 40) + "</re_getdata>", true);
    QApplication::processEvents();
    EXPECT_EQ(model.rowCount(), 100);
    EXPECT_EQ(view.currentIndex().row(), 40);
    EXPECT_EQ(view.verticalScrollBar()->value(), scroll);
    EXPECT_GT(view.verticalScrollBar()->maximum(), scroll);
    EXPECT_TRUE(view.grab().save(QString(WEK_BIN_DIR) + "/EKMemDataModel.png"));
}

TEST_F(MemDataModelTest, ReloadResetsAndDestroyedDataSetEmptiesTheModel)
{
    auto owned = std::make_unique<TEKMemDataSet>();
    TEKMemDataModel model(owned.get());
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    ASSERT_TRUE(owned->AddFieldDef("c1", ekftInteger, 0, false));
    ASSERT_TRUE(owned->Open());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(owned->Append());
        owned->Fields(0)->SetAsInteger(i);
    }
    owned->First();
    EXPECT_EQ(model.rowCount(), 3);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    owned->Close();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 1);
    owned.reset();
    EXPECT_EQ(model.DataSet(), nullptr);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_FALSE(model.data(model.index(0, 0)).isValid());
    EXPECT_TRUE(gWarnings.isEmpty()) << gWarnings.join('\n').toStdString();
}

} // namespace
