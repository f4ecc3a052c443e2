#pragma once

#include "EKRoot.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Raised for a position or ordinal outside the collection; nothing is changed.
class EListError : public std::out_of_range
{
public:
    using std::out_of_range::out_of_range;
};

class TEKCollection;

// Base of every collection item. An item knows its collection and its 0-based
// position; both are kept up to date by the collection.
class TEKCollectionItem
{
public:
    TEKCollectionItem() = default;
    virtual ~TEKCollectionItem() = default;
    TEKCollectionItem(const TEKCollectionItem &) = delete;
    TEKCollectionItem &operator=(const TEKCollectionItem &) = delete;

    TEKCollection *Collection() const { return FCollection; }
    int Index() const { return FIndex; }

private:
    friend class TEKCollection;
    TEKCollection *FCollection = nullptr;
    int FIndex = -1;
};

enum TEKCompareResult
{
    crLess = 0,
    crGreater = 1,
    crEqual = 2
};

// A comparison bound to its context (capture what it needs).
using TEKCompareItems = std::function<TEKCompareResult(TEKCollectionItem *, TEKCollectionItem *)>;

// Owning ordered list of items of one item class, fixed at construction by the
// factory. Positions are 0-based; every "ByOrd" operation takes a 1-based ordinal.
class TEKCollection : public TEKRootClass
{
public:
    using ItemFactory = std::function<std::unique_ptr<TEKCollectionItem>()>;

    explicit TEKCollection(ItemFactory factory);
    ~TEKCollection() override;

    TEKCollectionItem *Add();
    // Inserts a new item so that it gets the position; Count() appends.
    TEKCollectionItem *Insert(int index);
    void Delete(int index);
    void Clear();
    int Count() const { return static_cast<int>(FItems.size()); }
    TEKCollectionItem *Items(int index) const;
    // Moves the item at curIndex to newIndex; the items between shift by one.
    void Move(int curIndex, int newIndex);
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate()
    {
        if (FUpdateCount > 0)
            --FUpdateCount;
    }
    int UpdateCount() const { return FUpdateCount; }

    TEKCollectionItem *GetItemByOrd(int ord) const { return Items(ord - 1); }
    void DeleteByOrd(int ord) { Delete(ord - 1); }
    // Whether the item at the ordinal takes part in output.
    virtual bool RowForOutput(int ord);
    int CountForOutput();
    // In-place, unstable sort (Hoare partition over QuickSort).
    void SortItems(const TEKCompareItems &compare);
    virtual void QuickSort(int left, int right, const TEKCompareItems &compare);

private:
    void CheckIndex(int index) const;
    void Renumber(int from, int to);
    void Exchange(int i, int j);

    ItemFactory FFactory;
    std::vector<std::unique_ptr<TEKCollectionItem>> FItems;
    int FUpdateCount = 0;
};

// A collection whose items are of class T; the accessors return T directly.
template <class T> class TEKCollectionOf : public TEKCollection
{
public:
    TEKCollectionOf() : TEKCollection([] { return std::unique_ptr<TEKCollectionItem>(new T()); }) {}

    T *Add() { return static_cast<T *>(TEKCollection::Add()); }
    T *Insert(int index) { return static_cast<T *>(TEKCollection::Insert(index)); }
    T *Items(int index) const { return static_cast<T *>(TEKCollection::Items(index)); }
    T *GetItemByOrd(int ord) const { return static_cast<T *>(TEKCollection::GetItemByOrd(ord)); }
};

class TEKIntCollectionItem : public TEKCollectionItem
{
public:
    int Value = 0;
};

class TEKIntCollection : public TEKCollectionOf<TEKIntCollectionItem>
{
public:
    int GetIntByOrd(int ord) const { return GetItemByOrd(ord)->Value; }
    int AddInt(int value);
    // Inserts so that the value gets the ordinal; Count()+1 appends.
    int InsertInt(int ord, int value);
    // Deletes the first item with the value; nothing when there is none.
    void DeleteInt(int value);
    bool ExistsInt(int value) const { return GetOrdByInt(value) > 0; }
    // Ordinal of the first item with the value, 0 when there is none.
    int GetOrdByInt(int value) const;
    std::string GetAsString(const std::string &separator, bool keepTrailing) const;
    // Replaces the contents with the integers of the text; empty parts are
    // skipped. A part that is not a decimal 32-bit integer clears the
    // collection and throws EConvertError.
    void FillFromString(const std::string &text, const std::string &separator);
    // Clears the target and appends every value in order; copying onto
    // itself changes nothing.
    void CopyToList(TEKIntCollection &target) const;
    void SortInts();
    // Only-in-other and only-in-self come back ascending, common descending.
    void DiffIntColls(const TEKIntCollection &other, TEKIntCollection &onlyInOther,
                      TEKIntCollection &onlyInSelf, TEKIntCollection &common) const;
    static TEKCompareResult CompareInts(TEKCollectionItem *a, TEKCollectionItem *b);
};

// Owns Obj: deleting the item (or clearing or destroying the collection)
// destroys the object.
class TEKObjCollectionItem : public TEKCollectionItem
{
public:
    ~TEKObjCollectionItem() override;
    TEKRootClass *Obj = nullptr;
};

class TEKObjCollection : public TEKCollectionOf<TEKObjCollectionItem>
{
public:
    TEKRootClass *GetObjByOrd(int ord) const { return GetItemByOrd(ord)->Obj; }
    // The collection takes ownership of the object, also when the call
    // fails (the object is then destroyed).
    TEKRootClass *AddObj(TEKRootClass *obj);
    TEKRootClass *InsertObj(int ord, TEKRootClass *obj);
    static TEKRootClass *GetObjFromItem(TEKCollectionItem *item);
};
