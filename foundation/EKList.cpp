#include "EKList.h"

#include "EKCodecs.h"

#include <algorithm>
#include <utility>

TEKCollection::TEKCollection(ItemFactory factory) : FFactory(std::move(factory)) {}

TEKCollection::~TEKCollection() = default;

void TEKCollection::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void TEKCollection::Renumber(int from, int to)
{
    for (int i = from; i <= to && i < Count(); ++i)
        FItems[i]->FIndex = i;
}

TEKCollectionItem *TEKCollection::Add()
{
    return Insert(Count());
}

TEKCollectionItem *TEKCollection::Insert(int index)
{
    if (index < 0 || index > Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    std::unique_ptr<TEKCollectionItem> item = FFactory();
    item->FCollection = this;
    TEKCollectionItem *raw = item.get();
    FItems.insert(FItems.begin() + index, std::move(item));
    Renumber(index, Count() - 1);
    return raw;
}

void TEKCollection::Delete(int index)
{
    CheckIndex(index);
    // Take the item out before destroying it, so that its destructor sees a
    // consistent collection.
    std::unique_ptr<TEKCollectionItem> item = std::move(FItems[index]);
    FItems.erase(FItems.begin() + index);
    Renumber(index, Count() - 1);
    item.reset();
}

void TEKCollection::Clear()
{
    std::vector<std::unique_ptr<TEKCollectionItem>> items;
    items.swap(FItems);
    // Destroy from the back, so deep chains of owned objects unwind in order.
    while (!items.empty())
        items.pop_back();
}

TEKCollectionItem *TEKCollection::Items(int index) const
{
    CheckIndex(index);
    return FItems[index].get();
}

void TEKCollection::Move(int curIndex, int newIndex)
{
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    if (curIndex == newIndex)
        return;
    std::unique_ptr<TEKCollectionItem> item = std::move(FItems[curIndex]);
    FItems.erase(FItems.begin() + curIndex);
    FItems.insert(FItems.begin() + newIndex, std::move(item));
    Renumber(std::min(curIndex, newIndex), std::max(curIndex, newIndex));
}

bool TEKCollection::RowForOutput(int /*ord*/)
{
    return true;
}

int TEKCollection::CountForOutput()
{
    int n = 0;
    for (int ord = 1; ord <= Count(); ++ord)
        if (RowForOutput(ord))
            ++n;
    return n;
}

void TEKCollection::SortItems(const TEKCompareItems &compare)
{
    if (Count() < 2)
        return;
    BeginUpdate();
    try {
        QuickSort(0, Count() - 1, compare);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TEKCollection::Exchange(int i, int j)
{
    std::swap(FItems[i], FItems[j]);
    FItems[i]->FIndex = i;
    FItems[j]->FIndex = j;
}

void TEKCollection::QuickSort(int left, int right, const TEKCompareItems &compare)
{
    if (left >= right)
        return;
    CheckIndex(left);
    CheckIndex(right);
    int l = left;
    int r = right;
    while (l < r) {
        int i = l;
        int j = r;
        TEKCollectionItem *pivot = FItems[(l + r) / 2].get();
        do {
            // The bounds never stop a consistent comparison earlier than the
            // pivot would; they keep an inconsistent one inside the range.
            while (i < r && compare(FItems[i].get(), pivot) == crLess)
                ++i;
            while (j > l && compare(FItems[j].get(), pivot) == crGreater)
                --j;
            if (i <= j) {
                // The same order as moving the item at I to J and the former
                // item at J back to I, without shifting everything between.
                if (i != j)
                    Exchange(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j)
            QuickSort(l, j, compare);
        l = i;
    }
}

int TEKIntCollection::AddInt(int value)
{
    Add()->Value = value;
    return value;
}

int TEKIntCollection::InsertInt(int ord, int value)
{
    Insert(ord - 1)->Value = value;
    return value;
}

void TEKIntCollection::DeleteInt(int value)
{
    int ord = GetOrdByInt(value);
    if (ord > 0)
        DeleteByOrd(ord);
}

int TEKIntCollection::GetOrdByInt(int value) const
{
    for (int i = 0; i < Count(); ++i)
        if (Items(i)->Value == value)
            return i + 1;
    return 0;
}

std::string TEKIntCollection::GetAsString(const std::string &separator, bool keepTrailing) const
{
    std::string out;
    for (int i = 0; i < Count(); ++i) {
        out += std::to_string(Items(i)->Value);
        out += separator;
    }
    if (!keepTrailing && out.size() >= separator.size())
        out.resize(out.size() - separator.size());
    return out;
}

void TEKIntCollection::FillFromString(const std::string &text, const std::string &separator)
{
    Clear();
    std::string rest = text;
    try {
        while (!rest.empty()) {
            std::string part;
            std::size_t p = separator.empty() ? std::string::npos : rest.find(separator);
            if (p != std::string::npos) {
                part = rest.substr(0, p);
                rest.erase(0, p + separator.size());
            } else {
                part = rest;
                rest.clear();
            }
            if (!part.empty())
                AddInt(StrToInt(part));
        }
    } catch (...) {
        Clear();
        throw;
    }
}

void TEKIntCollection::CopyToList(TEKIntCollection &target) const
{
    if (&target == this)
        return;
    target.Clear();
    for (int i = 0; i < Count(); ++i)
        target.AddInt(Items(i)->Value);
}

TEKCompareResult TEKIntCollection::CompareInts(TEKCollectionItem *a, TEKCollectionItem *b)
{
    int x = static_cast<TEKIntCollectionItem *>(a)->Value;
    int y = static_cast<TEKIntCollectionItem *>(b)->Value;
    if (x < y)
        return crLess;
    if (x > y)
        return crGreater;
    return crEqual;
}

void TEKIntCollection::SortInts()
{
    SortItems(&TEKIntCollection::CompareInts);
}

void TEKIntCollection::DiffIntColls(const TEKIntCollection &other, TEKIntCollection &onlyInOther,
                                    TEKIntCollection &onlyInSelf, TEKIntCollection &common) const
{
    // Copy both inputs first: a result collection may be one of them.
    TEKIntCollection self;
    TEKIntCollection theirs;
    CopyToList(self);
    other.CopyToList(theirs);
    self.CopyToList(onlyInSelf);
    theirs.CopyToList(onlyInOther);
    common.Clear();
    onlyInSelf.SortInts();
    onlyInOther.SortInts();

    int i = onlyInSelf.Count() + 1;
    int j = onlyInOther.Count() + 1;
    int a = 0;
    int b = 0;
    auto stepSelf = [&] {
        --i;
        if (i > 0)
            a = onlyInSelf.GetIntByOrd(i);
    };
    auto stepOther = [&] {
        --j;
        if (j > 0)
            b = onlyInOther.GetIntByOrd(j);
    };
    stepSelf();
    stepOther();
    while (i > 0 && j > 0) {
        if (a == b) {
            common.AddInt(a);
            onlyInSelf.DeleteByOrd(i);
            onlyInOther.DeleteByOrd(j);
            stepSelf();
            stepOther();
        } else if (a > b) {
            stepSelf();
        } else {
            stepOther();
        }
    }
}

TEKObjCollectionItem::~TEKObjCollectionItem()
{
    TEKRootClass *obj = Obj;
    Obj = nullptr;
    delete obj;
}

TEKRootClass *TEKObjCollection::AddObj(TEKRootClass *obj)
{
    return InsertObj(Count() + 1, obj);
}

TEKRootClass *TEKObjCollection::InsertObj(int ord, TEKRootClass *obj)
{
    // Ownership passes on the call: an object that finds no place is
    // destroyed, not left to a caller who has already let go of it.
    std::unique_ptr<TEKRootClass> owned(obj);
    TEKObjCollectionItem *item = Insert(ord - 1);
    item->Obj = owned.release();
    return obj;
}

TEKRootClass *TEKObjCollection::GetObjFromItem(TEKCollectionItem *item)
{
    return static_cast<TEKObjCollectionItem *>(item)->Obj;
}
