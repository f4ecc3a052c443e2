#include "EKCodecs.h"
#include "EKList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<int> Values(const TEKIntCollection &c)
{
    std::vector<int> out;
    for (int ord = 1; ord <= c.Count(); ++ord)
        out.push_back(c.GetIntByOrd(ord));
    return out;
}

void Fill(TEKIntCollection &c, const std::vector<int> &values)
{
    c.Clear();
    for (int v : values)
        c.AddInt(v);
}

// Every item's position must agree with where it is.
void ExpectPositionsConsistent(const TEKCollection &c)
{
    for (int i = 0; i < c.Count(); ++i) {
        EXPECT_EQ(c.Items(i)->Index(), i);
        EXPECT_EQ(c.Items(i)->Collection(), &c);
    }
}

TEST(EKList, OrdinalsAreOneBased)
{
    TEKIntCollection c;
    Fill(c, {10, 20, 30});
    EXPECT_EQ(c.GetItemByOrd(1), c.Items(0));
    EXPECT_EQ(c.GetIntByOrd(3), 30);
    c.DeleteByOrd(1);
    EXPECT_EQ(Values(c), (std::vector<int>{20, 30}));
    ExpectPositionsConsistent(c);
}

TEST(EKList, OutOfRangeIsAListErrorAndChangesNothing)
{
    TEKIntCollection c;
    Fill(c, {1, 2});
    const std::vector<std::function<void()>> calls = {
        [&] { c.GetItemByOrd(0); }, [&] { c.GetItemByOrd(3); },
        [&] { c.GetIntByOrd(-1); }, [&] { c.DeleteByOrd(0); },
        [&] { c.DeleteByOrd(3); },  [&] { c.Items(2); },
        [&] { c.Items(-1); },       [&] { c.Delete(2); },
        [&] { c.Insert(3); },       [&] { c.Insert(-1); },
        [&] { c.InsertInt(0, 9); }, [&] { c.InsertInt(4, 9); },
        [&] { c.Move(0, 2); },      [&] { c.Move(-1, 0); },
        [&] { c.Move(5, 5); },      [&] { c.QuickSort(0, 5, TEKIntCollection::CompareInts); },
    };
    for (std::size_t k = 0; k < calls.size(); ++k) {
        EXPECT_THROW(calls[k](), EListError) << "call " << k;
        EXPECT_EQ(Values(c), (std::vector<int>{1, 2})) << "call " << k;
    }
    TEKIntCollection empty;
    EXPECT_THROW(empty.GetItemByOrd(1), EListError);
    EXPECT_THROW(empty.Move(0, 0), EListError);
}

TEST(EKList, InsertIntPutsTheValueAtTheOrdinal)
{
    struct Row
    {
        std::vector<int> before;
        int ord, value;
        std::vector<int> after;
    };
    const std::vector<Row> rows = {
        {{7}, 1, 5, {5, 7}}, {{7}, 2, 5, {7, 5}}, {{}, 1, 5, {5}}, {{1, 2, 3}, 2, 9, {1, 9, 2, 3}}};
    for (const auto &r : rows) {
        TEKIntCollection c;
        Fill(c, r.before);
        EXPECT_EQ(c.InsertInt(r.ord, r.value), r.value);
        EXPECT_EQ(Values(c), r.after);
        ExpectPositionsConsistent(c);
    }
}

TEST(EKList, DeleteAndFindByValue)
{
    TEKIntCollection c;
    Fill(c, {2, 4, 2});
    c.DeleteInt(2);
    EXPECT_EQ(Values(c), (std::vector<int>{4, 2}));
    c.DeleteInt(9);
    EXPECT_EQ(Values(c), (std::vector<int>{4, 2}));
    Fill(c, {4, 2, 2});
    EXPECT_EQ(c.GetOrdByInt(2), 2);
    EXPECT_EQ(c.GetOrdByInt(9), 0);
    EXPECT_TRUE(c.ExistsInt(4));
    EXPECT_FALSE(c.ExistsInt(9));
}

TEST(EKList, MoveShiftsTheItemsBetween)
{
    struct Row
    {
        int from, to;
        std::vector<int> after;
    };
    const std::vector<Row> rows = {
        {0, 3, {1, 2, 3, 0}}, {3, 0, {3, 0, 1, 2}}, {1, 2, {0, 2, 1, 3}}, {2, 2, {0, 1, 2, 3}}};
    for (const auto &r : rows) {
        TEKIntCollection c;
        Fill(c, {0, 1, 2, 3});
        c.Move(r.from, r.to);
        EXPECT_EQ(Values(c), r.after) << r.from << "->" << r.to;
        ExpectPositionsConsistent(c);
    }
}

TEST(EKList, GetAsString)
{
    struct Row
    {
        std::vector<int> values;
        std::string separator;
        bool keep;
        std::string text;
    };
    const std::vector<Row> rows = {
        {{3, 7}, ";", true, "3;7;"},
        {{3, 7}, ";", false, "3;7"},
        {{}, ";", true, ""},
        {{}, ";", false, ""},
        {{3, 7, 12}, ";", true, "3;7;12;"},
        {{-1, 0}, ", ", false, "-1, 0"},
        {{5}, "", false, "5"},
        {{1, 2}, "", true, "12"},
    };
    for (const auto &r : rows) {
        TEKIntCollection c;
        Fill(c, r.values);
        EXPECT_EQ(c.GetAsString(r.separator, r.keep), r.text);
    }
}

TEST(EKList, FillFromString)
{
    struct Row
    {
        std::string text, separator;
        std::vector<int> values;
    };
    const std::vector<Row> rows = {
        {"3;;7;", ";", {3, 7}},
        {"", ";", {}},
        {";;;", ";", {}},
        {"-5;+6;0", ";", {-5, 6, 0}},
        {"1, 2, 3", ", ", {1, 2, 3}},
        {"2147483647;-2147483648", ";", {2147483647, -2147483648}},
        {"42", "", {42}},
    };
    for (const auto &r : rows) {
        TEKIntCollection c;
        Fill(c, {99});
        c.FillFromString(r.text, r.separator);
        EXPECT_EQ(Values(c), r.values) << r.text;
    }
}

TEST(EKList, FillFromStringFailureLeavesTheCollectionEmpty)
{
    for (const char *text : {"3;x", "x", "3; 4", "1.5", "2147483648", "3;7;-", "1e3", "0x10"}) {
        TEKIntCollection c;
        Fill(c, {1, 2});
        EXPECT_THROW(c.FillFromString(text, ";"), EConvertError) << text;
        EXPECT_EQ(c.Count(), 0) << text;
    }
}

TEST(EKList, GetAsStringAndFillFromStringRoundTrip)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::vector<int> values(rng() % 10);
        for (int &v : values)
            v = static_cast<int>(rng());
        TEKIntCollection c;
        Fill(c, values);
        TEKIntCollection d;
        d.FillFromString(c.GetAsString(";", round % 2 == 0), ";");
        EXPECT_EQ(Values(d), values);
    }
}

TEST(EKList, SortIntsAgreesWithStdSort)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 400; ++round) {
        const int n = static_cast<int>(rng() % 60);
        // Small value ranges give many equal items, large ones few.
        const int range = round % 3 == 0 ? 3 : round % 3 == 1 ? 50 : 1000000;
        std::vector<int> values(n);
        for (int &v : values)
            v = static_cast<int>(rng() % range) - range / 2;
        TEKIntCollection c;
        Fill(c, values);
        std::vector<TEKCollectionItem *> itemsBefore;
        for (int i = 0; i < c.Count(); ++i)
            itemsBefore.push_back(c.Items(i));
        c.SortInts();
        std::vector<int> expected = values;
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(Values(c), expected);
        ExpectPositionsConsistent(c);
        // Sorting rearranges the same items, it does not recreate them.
        std::vector<TEKCollectionItem *> itemsAfter;
        for (int i = 0; i < c.Count(); ++i)
            itemsAfter.push_back(c.Items(i));
        std::sort(itemsBefore.begin(), itemsBefore.end());
        std::sort(itemsAfter.begin(), itemsAfter.end());
        ASSERT_EQ(itemsAfter, itemsBefore);
    }
    for (const std::vector<int> &values : std::vector<std::vector<int>>{
             {}, {1}, {2, 1}, {1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}, {4, 4, 4, 4}}) {
        TEKIntCollection c;
        Fill(c, values);
        c.SortInts();
        std::vector<int> expected = values;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Values(c), expected);
    }
}

TEST(EKList, SortWithAContextComparisonAndUpdateBracket)
{
    TEKIntCollection c;
    Fill(c, {1, 5, 3, 2, 4});
    int calls = 0;
    c.SortItems([&](TEKCollectionItem *a, TEKCollectionItem *b) {
        ++calls;
        EXPECT_EQ(c.UpdateCount(), 1);
        return TEKIntCollection::CompareInts(b, a); // descending
    });
    EXPECT_GT(calls, 0);
    EXPECT_EQ(Values(c), (std::vector<int>{5, 4, 3, 2, 1}));
    EXPECT_EQ(c.UpdateCount(), 0);
}

TEST(EKList, FailingComparisonEndsTheUpdateBracket)
{
    TEKIntCollection c;
    Fill(c, {3, 1, 2});
    EXPECT_THROW(c.SortItems([](TEKCollectionItem *, TEKCollectionItem *) -> TEKCompareResult {
        throw std::runtime_error("compare");
    }),
                 std::runtime_error);
    EXPECT_EQ(c.UpdateCount(), 0);
    std::vector<int> v = Values(c);
    std::sort(v.begin(), v.end());
    EXPECT_EQ(v, (std::vector<int>{1, 2, 3}));
}

// A comparison that contradicts itself must neither crash nor lose items.
TEST(EKList, InconsistentComparisonStaysInsideTheCollection)
{
    const std::vector<TEKCompareResult> answers = {crLess, crGreater, crEqual};
    for (TEKCompareResult fixed : answers) {
        TEKIntCollection c;
        Fill(c, {5, 1, 4, 2, 3, 9, 0});
        c.SortItems([&](TEKCollectionItem *, TEKCollectionItem *) { return fixed; });
        std::vector<int> v = Values(c);
        std::sort(v.begin(), v.end());
        EXPECT_EQ(v, (std::vector<int>{0, 1, 2, 3, 4, 5, 9}));
        ExpectPositionsConsistent(c);
    }
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        TEKIntCollection c;
        Fill(c, {5, 1, 4, 2, 3, 9, 0, 7, 7, 8});
        c.SortItems([&](TEKCollectionItem *, TEKCollectionItem *) { return answers[rng() % 3]; });
        ASSERT_EQ(c.Count(), 10);
        ExpectPositionsConsistent(c);
    }
}

TEST(EKList, DiffIntColls)
{
    struct Row
    {
        std::vector<int> self, other;
        std::vector<int> onlySelf, onlyOther, common;
    };
    const std::vector<Row> rows = {
        {{1, 2, 2, 5}, {2, 3}, {1, 2, 5}, {3}, {2}},
        {{1, 2, 3}, {1, 2, 3}, {}, {}, {3, 2, 1}},
        {{}, {}, {}, {}, {}},
        {{3, 1}, {}, {1, 3}, {}, {}},
        {{}, {2, 1}, {}, {1, 2}, {}},
        {{2, 2, 2}, {2, 2}, {2}, {}, {2, 2}},
        {{5, -1, 0}, {0, 7, -1}, {5}, {7}, {0, -1}},
    };
    for (const auto &r : rows) {
        TEKIntCollection self, other, onlyOther, onlySelf, common;
        Fill(self, r.self);
        Fill(other, r.other);
        Fill(common, {99}); // results are replaced, not appended to
        self.DiffIntColls(other, onlyOther, onlySelf, common);
        EXPECT_EQ(Values(onlySelf), r.onlySelf);
        EXPECT_EQ(Values(onlyOther), r.onlyOther);
        EXPECT_EQ(Values(common), r.common);
        EXPECT_EQ(Values(self), r.self); // inputs unchanged
        EXPECT_EQ(Values(other), r.other);
    }
}

TEST(EKList, DiffIntCollsIntoItsOwnInputs)
{
    TEKIntCollection self, other, common;
    Fill(self, {1, 2, 2, 5});
    Fill(other, {2, 3});
    self.DiffIntColls(other, other, self, common);
    EXPECT_EQ(Values(self), (std::vector<int>{1, 2, 5}));
    EXPECT_EQ(Values(other), (std::vector<int>{3}));
    EXPECT_EQ(Values(common), (std::vector<int>{2}));
}

TEST(EKList, CopyToList)
{
    TEKIntCollection a, b;
    Fill(a, {1, 2, 3});
    Fill(b, {9});
    a.CopyToList(b);
    EXPECT_EQ(Values(b), (std::vector<int>{1, 2, 3}));
    a.CopyToList(a);
    EXPECT_EQ(Values(a), (std::vector<int>{1, 2, 3}));
}

class Tracked : public TEKRootClass
{
public:
    explicit Tracked(std::vector<int> &log, int id) : FLog(log), FId(id) {}
    ~Tracked() override { FLog.push_back(FId); }

private:
    std::vector<int> &FLog;
    int FId;
};

TEST(EKList, ObjectCollectionOwnsItsObjects)
{
    std::vector<int> destroyed;
    {
        TEKObjCollection c;
        TEKRootClass *a = c.AddObj(new Tracked(destroyed, 1));
        c.AddObj(new Tracked(destroyed, 2));
        c.InsertObj(1, new Tracked(destroyed, 3));
        c.AddObj(nullptr);
        EXPECT_EQ(c.GetObjByOrd(2), a);
        EXPECT_EQ(TEKObjCollection::GetObjFromItem(c.GetItemByOrd(2)), a);
        EXPECT_EQ(c.GetObjByOrd(4), nullptr);
        c.DeleteByOrd(2);
        EXPECT_EQ(destroyed, (std::vector<int>{1}));
        c.Clear();
        std::sort(destroyed.begin(), destroyed.end());
        EXPECT_EQ(destroyed, (std::vector<int>{1, 2, 3}));
        c.AddObj(new Tracked(destroyed, 4));
    }
    EXPECT_EQ(destroyed.back(), 4);
    EXPECT_EQ(destroyed.size(), 4u);
}

TEST(EKList, ObjectHandedToAFailingInsertIsDestroyed)
{
    std::vector<int> destroyed;
    TEKObjCollection c;
    EXPECT_THROW(c.InsertObj(5, new Tracked(destroyed, 7)), EListError);
    EXPECT_EQ(destroyed, (std::vector<int>{7}));
    EXPECT_EQ(c.Count(), 0);
}

// An owned object that itself owns a collection unwinds without touching
// freed items.
class Holder : public TEKRootClass
{
public:
    TEKObjCollection Children;
};

TEST(EKList, NestedOwnershipUnwinds)
{
    std::vector<int> destroyed;
    auto root = std::make_unique<TEKObjCollection>();
    Holder *h = static_cast<Holder *>(root->AddObj(new Holder));
    for (int i = 0; i < 3; ++i)
        h->Children.AddObj(new Tracked(destroyed, i));
    Holder *deeper = static_cast<Holder *>(h->Children.AddObj(new Holder));
    deeper->Children.AddObj(new Tracked(destroyed, 10));
    root.reset();
    std::sort(destroyed.begin(), destroyed.end());
    EXPECT_EQ(destroyed, (std::vector<int>{0, 1, 2, 10}));
}

class EvenRows : public TEKIntCollection
{
public:
    bool RowForOutput(int ord) override { return GetIntByOrd(ord) % 2 == 0; }
};

TEST(EKList, CountForOutputAsksEveryOrdinal)
{
    TEKIntCollection plain;
    Fill(plain, {1, 2, 3});
    EXPECT_EQ(plain.CountForOutput(), 3);
    EvenRows even;
    Fill(even, {1, 2, 3, 4, 6});
    EXPECT_EQ(even.CountForOutput(), 3);
}

// A descendant's QuickSort override is reached by the recursion.
class CountingSort : public TEKIntCollection
{
public:
    int Calls = 0;
    void QuickSort(int left, int right, const TEKCompareItems &compare) override
    {
        ++Calls;
        TEKIntCollection::QuickSort(left, right, compare);
    }
};

TEST(EKList, QuickSortIsVirtual)
{
    CountingSort c;
    Fill(c, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 11, 10});
    c.SortInts();
    EXPECT_GT(c.Calls, 1);
    const std::vector<int> v = Values(c);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
}

} // namespace
