#include "EKXML.h"

#include "EKWin1250.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <istream>
#include <iterator>
#include <limits>
#include <new>
#include <unordered_set>
#include <vector>

namespace {

const std::string &EmptyName()
{
    static const std::string empty;
    return empty;
}

// Every text and name of the tree is stored with a 32-bit length.
constexpr std::size_t kMaxText = std::numeric_limits<std::uint32_t>::max();

struct Utf8Of
{
    char bytes[3];
    unsigned char length;
};

// UTF-8 of every windows-1250 byte, built once from the shared codec.
const std::array<Utf8Of, 256> &Utf8Table()
{
    static const std::array<Utf8Of, 256> table = [] {
        std::array<Utf8Of, 256> t{};
        for (int b = 0; b < 256; ++b) {
            std::string_view u = Win1250CharUtf8(static_cast<unsigned char>(b));
            t[b].length = static_cast<unsigned char>(u.size());
            std::memcpy(t[b].bytes, u.data(), u.size());
        }
        return t;
    }();
    return table;
}

bool HasHighBytes(const char *p, const char *end)
{
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80)
            return true;
    return false;
}

struct NameHash
{
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

struct NameEqual
{
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

} // namespace

// Storage of one document: a bump allocator over pages for elements, lists,
// attributes and texts, and the table of shared names. Nothing in the pages has
// a destructor to run, so releasing the pages releases the tree in O(pages).
struct TEKXMLStore
{
    std::vector<std::unique_ptr<char[]>> Pages;
    char *Next = nullptr;
    char *Limit = nullptr;
    std::size_t PageSize = 512;

    std::unordered_set<std::string, NameHash, NameEqual> Names;
    // Recently used names: a data-set answer repeats a handful of names.
    std::array<const std::string *, 64> NameCache{};

    void *Allocate(std::size_t size, std::size_t align)
    {
        std::size_t pad = (align - reinterpret_cast<std::uintptr_t>(Next) % align) % align;
        if (Next && static_cast<std::size_t>(Limit - Next) >= size + pad) {
            char *p = Next + pad;
            Next = p + size;
            return p;
        }
        return AllocateSlow(size, align);
    }

    void *AllocateSlow(std::size_t size, std::size_t align)
    {
        constexpr std::size_t kBigBlock = 64 * 1024;
        constexpr std::size_t kMaxPage = 256 * 1024;
        std::size_t need = size + align;
        if (need > kBigBlock) {
            // A big block gets a page of its own; the current page stays open.
            Pages.emplace_back(new char[need]);
            char *p = Pages.back().get();
            p += (align - reinterpret_cast<std::uintptr_t>(p) % align) % align;
            return p;
        }
        if (PageSize < kMaxPage)
            PageSize *= 2;
        while (PageSize < need)
            PageSize *= 2;
        Pages.emplace_back(new char[PageSize]);
        Next = Pages.back().get();
        Limit = Next + PageSize;
        return Allocate(size, align);
    }

    template <class T> T *New() { return new (Allocate(sizeof(T), alignof(T))) T(); }

    TEKXMLElement *NewElement(const std::string *name)
    {
        auto *e = new (Allocate(sizeof(TEKXMLElement), alignof(TEKXMLElement))) TEKXMLElement();
        e->FName = name;
        return e;
    }

    TEKXMLElementCollection *NewList(TEKXMLElement *owner, TEKXML *doc)
    {
        auto *l = New<TEKXMLElementCollection>();
        l->FOwner = owner;
        l->FDocument = doc;
        return l;
    }

    const std::string *Intern(std::string_view name)
    {
        if (name.empty())
            return &EmptyName();
        std::size_t slot = (name.size() * 31 + static_cast<unsigned char>(name.front()) * 7 +
                            static_cast<unsigned char>(name.back())) %
                           NameCache.size();
        const std::string *hit = NameCache[slot];
        if (hit && *hit == name)
            return hit;
        auto it = Names.find(name);
        if (it == Names.end())
            it = Names.emplace(name).first;
        NameCache[slot] = &*it;
        return &*it;
    }

    // A copy of UTF-8 text in the pages.
    const char *CopyText(std::string_view text)
    {
        if (text.empty())
            return nullptr;
        if (text.size() > kMaxText)
            throw std::length_error("XML text too long");
        char *p = static_cast<char *>(Allocate(text.size(), 1));
        std::memcpy(p, text.data(), text.size());
        return p;
    }

    // The UTF-8 form of windows-1250 bytes, in the pages.
    const char *DecodeText(std::string_view raw, std::uint32_t &length)
    {
        const char *p = raw.data();
        const char *end = p + raw.size();
        if (!HasHighBytes(p, end)) {
            if (raw.size() > kMaxText)
                throw std::length_error("XML text too long");
            length = static_cast<std::uint32_t>(raw.size());
            return CopyText(raw);
        }
        const auto &table = Utf8Table();
        std::size_t size = 0;
        for (const char *q = p; q < end; ++q)
            size += table[static_cast<unsigned char>(*q)].length;
        if (size > kMaxText)
            throw std::length_error("XML text too long");
        char *out = static_cast<char *>(Allocate(size, 1));
        char *w = out;
        for (const char *q = p; q < end; ++q) {
            const Utf8Of &u = table[static_cast<unsigned char>(*q)];
            if (u.length == 1) {
                *w++ = u.bytes[0];
            } else {
                std::memcpy(w, u.bytes, u.length);
                w += u.length;
            }
        }
        length = static_cast<std::uint32_t>(size);
        return out;
    }

    void Append(TEKXMLElementCollection *list, TEKXMLElement *element)
    {
        if (list->FCount == list->FCapacity) {
            std::uint32_t capacity = list->FCapacity < 4 ? 4 : list->FCapacity * 2;
            auto **items = static_cast<TEKXMLElement **>(
                Allocate(sizeof(TEKXMLElement *) * capacity, alignof(TEKXMLElement *)));
            if (list->FCount)
                std::memcpy(items, list->FItems, sizeof(TEKXMLElement *) * list->FCount);
            list->FItems = items;
            list->FCapacity = capacity;
        }
        element->FCollection = list;
        element->FIndex = static_cast<std::int32_t>(list->FCount);
        list->FItems[list->FCount++] = element;
    }
};

// ---------------------------------------------------------------------------
// Lists

const TEKXMLAttribute &TEKXMLAttributeList::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("XML attribute index out of bounds (" + std::to_string(index) + ")");
    return FItems[index];
}

TEKXMLElement *TEKXMLElementCollection::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError("XML element index out of bounds (" + std::to_string(index) + ")");
    return FItems[index];
}

TEKXMLElement *TEKXMLElementCollection::FindElement(std::string_view name) const
{
    for (TEKXMLElement *e : *this)
        if (e->Name() == name)
            return e;
    return nullptr;
}

TEKXMLElement *FindElement(const TEKXMLElementCollection *list, std::string_view name)
{
    return list ? list->FindElement(name) : nullptr;
}

TEKXMLElement *ElementByOrd(const TEKXMLElementCollection *list, int ord)
{
    if (!list)
        throw EListError("XML element index out of bounds (" + std::to_string(ord - 1) + ")");
    return list->ElementByOrd(ord);
}

// ---------------------------------------------------------------------------
// Element

TEKXMLElement::TEKXMLElement() : FName(&EmptyName()) {}

TEKXML *TEKXMLElement::Document() const
{
    if (FCollection)
        return FCollection->FDocument;
    // Only the document itself is held by no list.
    return static_cast<TEKXML *>(const_cast<TEKXMLElement *>(this));
}

void TEKXMLElement::SetName(std::string_view name)
{
    FName = Document()->FStore->Intern(name);
}

void TEKXMLElement::AddAttribute(std::string_view name, std::string_view value)
{
    TEKXMLStore &store = *Document()->FStore;
    if (!FAttributes)
        FAttributes = store.New<TEKXMLAttributeList>();
    TEKXMLAttributeList &list = *FAttributes;
    if (list.FCount == list.FCapacity) {
        std::uint32_t capacity = list.FCapacity ? list.FCapacity * 2 : 1;
        auto *items = static_cast<TEKXMLAttribute *>(
            store.Allocate(sizeof(TEKXMLAttribute) * capacity, alignof(TEKXMLAttribute)));
        std::uninitialized_copy_n(list.FItems, list.FCount, items);
        list.FItems = items;
        list.FCapacity = capacity;
    }
    if (value.size() > kMaxText)
        throw std::length_error("XML attribute value too long");
    TEKXMLAttribute &a = *new (&list.FItems[list.FCount]) TEKXMLAttribute();
    a.FName = store.Intern(name);
    a.FValue = store.CopyText(value);
    a.FValueLength = static_cast<std::uint32_t>(value.size());
    ++list.FCount;
}

const TEKXMLAttribute *TEKXMLElement::FindAttribute(std::string_view name) const
{
    if (!FAttributes)
        return nullptr;
    for (const TEKXMLAttribute &a : *FAttributes)
        if (a.Name() == name)
            return &a;
    return nullptr;
}

std::string TEKXMLElement::GetAttribute(std::string_view name) const
{
    const TEKXMLAttribute *a = FindAttribute(name);
    return a ? std::string(a->Value()) : std::string();
}

std::string TEKXMLElement::GetText() const
{
    return std::string(Text());
}

void TEKXMLElement::SetText(std::string_view text)
{
    if (text.size() > kMaxText)
        throw std::length_error("XML text too long");
    if (text.size() <= FTextLength) {
        // The old bytes belong to this element alone: reuse them.
        if (!text.empty())
            std::memmove(const_cast<char *>(FText), text.data(), text.size());
        FTextLength = static_cast<std::uint32_t>(text.size());
        return;
    }
    FText = Document()->FStore->CopyText(text);
    FTextLength = static_cast<std::uint32_t>(text.size());
}

TEKXMLElement *TEKXMLElement::FindElement(std::string_view name) const
{
    return ::FindElement(FElements, name);
}

TEKXMLElement *TEKXMLElement::ElementByOrd(int ord) const
{
    return ::ElementByOrd(FElements, ord);
}

int TEKXMLElement::ElementCount() const
{
    return FElements ? FElements->Count() : 0;
}

namespace {

void AppendStartTag(std::string &out, const TEKXMLElement &e)
{
    out += '<';
    out += e.Name();
    if (const TEKXMLAttributeList *attrs = e.Attributes()) {
        for (const TEKXMLAttribute &a : *attrs) {
            out += ' ';
            out += a.Name();
            out += "=\"";
            out += a.Value();
            out += '"';
        }
    }
}

void AppendEndTag(std::string &out, const TEKXMLElement &e)
{
    out += "</";
    out += e.Name();
    out += '>';
}

// Writes the element without recursion: trees of any depth are written with a
// stack on the heap.
void AppendXML(std::string &out, const TEKXMLElement &root)
{
    struct Frame
    {
        const TEKXMLElement *Element;
        int Next;
    };
    std::vector<Frame> stack;
    auto start = [&](const TEKXMLElement &e) {
        AppendStartTag(out, e);
        if (!e.IsLeaf()) {
            out += '>';
            stack.push_back({&e, 0});
        } else if (e.Text().empty()) {
            out += "/>";
        } else {
            out += '>';
            out += e.Text();
            AppendEndTag(out, e);
        }
    };
    start(root);
    while (!stack.empty()) {
        Frame &top = stack.back();
        const TEKXMLElementCollection &list = *top.Element->Elements();
        if (top.Next < list.Count()) {
            const TEKXMLElement &child = *list.begin()[top.Next++];
            start(child); // may reallocate the stack: top is not used after this
        } else {
            AppendEndTag(out, *top.Element);
            stack.pop_back();
        }
    }
}

} // namespace

std::string TEKXMLElement::GetXMLText() const
{
    std::string out;
    AppendXML(out, *this);
    return out;
}

std::string TEKXMLElement::GetElementsXMLText() const
{
    std::string out;
    if (FElements)
        for (const TEKXMLElement *child : *FElements)
            AppendXML(out, *child);
    return out;
}

// ---------------------------------------------------------------------------
// Document

TEKXML::TEKXML() : FStore(std::make_unique<TEKXMLStore>()), FCurrentElement(this) {}

TEKXML::~TEKXML() = default;

TEKXMLElementCollection *TEKXML::OpenLevel()
{
    if (!FCurrentElement)
        return nullptr;
    TEKXMLElementCollection *list = FStore->NewList(FCurrentElement, this);
    FCurrentElement->FElements = list;
    FCurrentList = list;
    FCurrentElement = nullptr;
    return list;
}

TEKXMLElementCollection *TEKXML::CloseLevel()
{
    if (!FCurrentList)
        return nullptr;
    FCurrentElement = FCurrentList->FOwner;
    FCurrentList = FCurrentElement->FCollection;
    return FCurrentList;
}

TEKXMLElement *TEKXML::AddElement(std::string_view name)
{
    if (!FCurrentList)
        return nullptr;
    TEKXMLElement *e = FStore->NewElement(FStore->Intern(name));
    FStore->Append(FCurrentList, e);
    FCurrentElement = e;
    return e;
}

TEKXMLElement *TEKXML::AddTextElement(std::string_view name, std::string_view text)
{
    TEKXMLElement *e = AddElement(name);
    if (e)
        e->SetText(text);
    return e;
}

std::string TEKXML::GetDocumentText() const
{
    std::string out = "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n";
    AppendXML(out, *this);
    return out;
}

std::string TEKXML::GetDocumentBytes() const
{
    return Utf8ToWin1250(GetDocumentText());
}

int TEKXML::LoadFromStream(std::istream &stream)
{
    try {
        stream.clear();
        stream.seekg(0, std::ios::beg);
        stream.clear();
        std::string bytes((std::istreambuf_iterator<char>(stream)),
                          std::istreambuf_iterator<char>());
        return LoadFromStream(std::string_view(bytes));
    } catch (...) {
        return -1;
    }
}

// ---------------------------------------------------------------------------
// Reader

// The reader's character state machine. States consume runs of characters at
// once (memchr over content and values) but take exactly the transitions of
// the per-character machine: every character class it tests is ASCII, so the
// windows-1250 bytes are scanned directly and only names, values and texts are
// decoded, once, into the document's pages.
class TEKXMLReader
{
public:
    TEKXMLReader(TEKXML &doc, std::string_view input)
        : FDoc(doc), FStore(*doc.FStore), FBegin(input.data()), FEnd(input.data() + input.size()),
          FCurrent(&doc)
    {
    }

    int Run()
    {
        int result = -1;
        try {
            result = Parse() ? 0 : -1;
        } catch (...) {
            result = -1;
        }
        try {
            Finish();
        } catch (...) {
            result = -1;
        }
        return result;
    }

private:
    enum State
    {
        Prolog,
        Declaration,
        TagName,
        InTag,
        AttrName,
        AttrValue,
        Content,
        AfterElement,
        EndTagName,
        Epilog,
        Comment
    };

    struct Level
    {
        TEKXMLElementCollection *List;
        std::size_t Start;
    };

    static bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
    static bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
    // Ends a tag name: "/", ">" or whitespace.
    static bool EndsTagName(char c) { return c == '/' || c == '>' || IsSpace(c); }

    const char *SkipSpace(const char *p) const
    {
        while (p < FEnd && IsSpace(*p))
            ++p;
        return p;
    }

    // The name in UTF-8, shared within the document.
    const std::string *InternRaw(const char *b, const char *e)
    {
        if (!HasHighBytes(b, e))
            return FStore.Intern(std::string_view(b, e - b));
        FScratchName.clear();
        AppendWin1250AsUtf8(FScratchName, std::string_view(b, e - b));
        return FStore.Intern(FScratchName);
    }

    bool NameEquals(const std::string &name, const char *b, const char *e)
    {
        if (!HasHighBytes(b, e))
            return name == std::string_view(b, e - b);
        FScratchName.clear();
        AppendWin1250AsUtf8(FScratchName, std::string_view(b, e - b));
        return name == FScratchName;
    }

    void OpenElement(const char *b, const char *e)
    {
        if (FLevels.empty()) {
            // The root element is the document itself.
            FDoc.FName = InternRaw(b, e);
            return;
        }
        TEKXMLElement *element = FStore.NewElement(InternRaw(b, e));
        Level &level = FLevels.back();
        element->FCollection = level.List;
        element->FIndex = static_cast<std::int32_t>(FPending.size() - level.Start);
        FPending.push_back(element);
        FCurrent = element;
    }

    void Descend()
    {
        TEKXMLElementCollection *list = FStore.NewList(FCurrent, &FDoc);
        FCurrent->FElements = list;
        FLevels.push_back({list, FPending.size()});
        FCurrent = nullptr;
    }

    // Children are gathered on one stack while their level is open and moved
    // into an array of the exact size when it closes.
    void CloseTopLevel()
    {
        Level level = FLevels.back();
        FLevels.pop_back();
        std::size_t count = FPending.size() - level.Start;
        if (count) {
            auto **items = static_cast<TEKXMLElement **>(
                FStore.Allocate(sizeof(TEKXMLElement *) * count, alignof(TEKXMLElement *)));
            std::memcpy(items, FPending.data() + level.Start, sizeof(TEKXMLElement *) * count);
            level.List->FItems = items;
            level.List->FCount = static_cast<std::uint32_t>(count);
            level.List->FCapacity = static_cast<std::uint32_t>(count);
        }
        FPending.resize(level.Start);
    }

    void Ascend()
    {
        TEKXMLElementCollection *list = FLevels.back().List;
        CloseTopLevel();
        FCurrent = list->FOwner;
    }

    void AddAttribute(const char *valueBegin, const char *valueEnd)
    {
        TEKXMLAttributeList *&attrs = FCurrent->FAttributes;
        if (!attrs)
            attrs = FStore.New<TEKXMLAttributeList>();
        if (attrs->FCount == attrs->FCapacity) {
            std::uint32_t capacity = attrs->FCapacity ? attrs->FCapacity * 2 : 1;
            auto *items = static_cast<TEKXMLAttribute *>(
                FStore.Allocate(sizeof(TEKXMLAttribute) * capacity, alignof(TEKXMLAttribute)));
            std::uninitialized_copy_n(attrs->FItems, attrs->FCount, items);
            attrs->FItems = items;
            attrs->FCapacity = capacity;
        }
        TEKXMLAttribute &a = *new (&attrs->FItems[attrs->FCount]) TEKXMLAttribute();
        a.FName = InternRaw(FAttrNameBegin, FAttrNameEnd);
        a.FValue =
            FStore.DecodeText(std::string_view(valueBegin, valueEnd - valueBegin), a.FValueLength);
        ++attrs->FCount;
    }

    void ResetContent(const char *p)
    {
        FContentBegin = p;
        FContentSplit = false;
        FContentScratch.clear();
        FNonBlank = false;
        FInCDATA = false;
    }

    void NoteContent(const char *b, const char *e)
    {
        if (FNonBlank)
            return;
        for (; b < e; ++b)
            if (static_cast<unsigned char>(*b) > ' ') {
                FNonBlank = true;
                return;
            }
    }

    // The content text runs from FContentBegin to end, without the comments
    // met on the way (those pieces were moved into the scratch buffer).
    void SetText(const char *end)
    {
        std::string_view raw(FContentBegin, end - FContentBegin);
        if (FContentSplit) {
            FContentScratch.append(raw);
            raw = FContentScratch;
        }
        FCurrent->FText = FStore.DecodeText(raw, FCurrent->FTextLength);
    }

    void Finish()
    {
        FDoc.FCurrentElement = FCurrent;
        FDoc.FCurrentList = FLevels.empty() ? nullptr : FLevels.back().List;
        // A failed read leaves a consistent partial tree.
        while (!FLevels.empty())
            CloseTopLevel();
    }

    bool Parse();

    TEKXML &FDoc;
    TEKXMLStore &FStore;
    const char *FBegin;
    const char *FEnd;

    TEKXMLElement *FCurrent;
    std::vector<Level> FLevels;
    std::vector<TEKXMLElement *> FPending;

    const char *FAttrNameBegin = nullptr;
    const char *FAttrNameEnd = nullptr;
    const char *FContentBegin = nullptr;
    bool FContentSplit = false;
    bool FNonBlank = false;
    bool FInCDATA = false;
    std::string FContentScratch;
    std::string FScratchName;
};

bool TEKXMLReader::Parse()
{
    const char *p = FBegin;
    const char *const end = FEnd;
    if (p == end)
        return false;

    State state = Prolog;
    State returnState = Content;
    bool first = true;
    const char *nameBegin = nullptr;

    while (p < end) {
        switch (state) {
        case Prolog: {
            if (first) {
                first = false;
                if (static_cast<unsigned char>(*p) == 0xEF) {
                    if (end - p < 4 || static_cast<unsigned char>(p[1]) != 0xBB ||
                        static_cast<unsigned char>(p[2]) != 0xBF)
                        return false;
                    p += 3;
                }
                if (*p == '<') {
                    if (p + 1 >= end)
                        return false;
                    if (p[1] == '?') {
                        p += 2;
                        state = Declaration;
                    } else {
                        // The next character is handled in TagName.
                        ++p;
                        nameBegin = p;
                        state = TagName;
                    }
                } else {
                    ++p;
                }
                break;
            }
            const char *lt = static_cast<const char *>(std::memchr(p, '<', end - p));
            if (!lt) {
                p = end;
                break;
            }
            p = lt + 1;
            nameBegin = p;
            state = TagName;
            break;
        }
        case Declaration: {
            const char *q = static_cast<const char *>(std::memchr(p, '?', end - p));
            if (!q) {
                p = end;
                break;
            }
            if (q + 1 >= end || q[1] != '>')
                return false;
            p = q + 2;
            state = Prolog;
            break;
        }
        case TagName: {
            const char *q = p;
            while (q < end && !EndsTagName(*q))
                ++q;
            if (q == end) {
                p = end;
                break;
            }
            if (*q == '/') {
                if (q + 1 >= end || q[1] != '>')
                    return false;
                OpenElement(nameBegin, q);
                p = q + 2;
                state = AfterElement;
            } else if (*q == '>') {
                OpenElement(nameBegin, q);
                p = q + 1;
                ResetContent(p);
                state = Content;
            } else {
                OpenElement(nameBegin, q);
                p = q + 1;
                state = InTag;
            }
            break;
        }
        case InTag: {
            p = SkipSpace(p);
            if (p == end)
                break;
            char c = *p;
            if (c == '/') {
                if (p + 1 >= end || p[1] != '>')
                    return false;
                p += 2;
                state = AfterElement;
            } else if (c == '>') {
                ++p;
                ResetContent(p);
                state = Content;
            } else if (IsLetter(c)) {
                FAttrNameBegin = p;
                ++p;
                state = AttrName;
            } else {
                return false;
            }
            break;
        }
        case AttrName: {
            const char *q = p;
            while (q < end && *q != '=' && !IsSpace(*q))
                ++q;
            if (q == end) {
                p = end;
                break;
            }
            FAttrNameEnd = q;
            if (*q != '=') {
                q = SkipSpace(q);
                if (q == end || *q != '=')
                    return false;
            }
            q = SkipSpace(q + 1);
            if (q == end || *q != '"')
                return false;
            p = q + 1;
            state = AttrValue;
            break;
        }
        case AttrValue: {
            const char *q = static_cast<const char *>(std::memchr(p, '"', end - p));
            if (!q) {
                p = end;
                break;
            }
            AddAttribute(p, q);
            p = q + 1;
            state = InTag;
            break;
        }
        case Content: {
            if (FInCDATA) {
                // Everything up to the first "]]>" of the section is text.
                std::string_view rest(p, end - p);
                std::size_t close = rest.find("]]>");
                if (close == std::string_view::npos) {
                    p = end;
                    break;
                }
                p += close + 3;
                FInCDATA = false;
                break;
            }
            const char *lt = static_cast<const char *>(std::memchr(p, '<', end - p));
            if (!lt) {
                p = end;
                break;
            }
            NoteContent(p, lt);
            if (lt + 1 >= end)
                return false;
            char d = lt[1];
            if (d == '!') {
                if (lt + 2 >= end)
                    return false;
                if (lt[2] == '-') {
                    if (lt + 3 >= end || lt[3] != '-')
                        return false;
                    // The comment is not part of the text.
                    FContentScratch.append(FContentBegin, lt);
                    FContentSplit = true;
                    returnState = Content;
                    p = lt + 4;
                    state = Comment;
                } else if (lt[2] == '[') {
                    static constexpr std::string_view marker = "CDATA[";
                    const char *m = lt + 3;
                    for (char want : marker) {
                        if (m >= end || *m != want)
                            return false;
                        ++m;
                    }
                    // The markers stay in the text.
                    FNonBlank = true;
                    FInCDATA = true;
                    p = m;
                } else {
                    return false;
                }
            } else if (d == '/') {
                if (FNonBlank)
                    SetText(lt);
                p = lt + 2;
                nameBegin = p;
                state = EndTagName;
            } else {
                if (FNonBlank)
                    return false;
                nameBegin = lt + 1;
                p = lt + 2;
                Descend();
                state = TagName;
            }
            break;
        }
        case AfterElement: {
            p = SkipSpace(p);
            if (p == end)
                break;
            if (*p != '<' || p + 1 >= end)
                return false;
            char d = p[1];
            if (d == '/') {
                if (FLevels.empty())
                    return false;
                Ascend();
                p += 2;
                nameBegin = p;
                state = EndTagName;
            } else if (d == '!') {
                if (p + 3 >= end || p[2] != '-' || p[3] != '-')
                    return false;
                returnState = AfterElement;
                p += 4;
                state = Comment;
            } else {
                // A sibling: its first character is taken as part of the name.
                nameBegin = p + 1;
                p += 2;
                state = TagName;
            }
            break;
        }
        case EndTagName: {
            const char *gt = static_cast<const char *>(std::memchr(p, '>', end - p));
            if (!gt) {
                p = end;
                break;
            }
            if (!FCurrent || !NameEquals(FCurrent->Name(), nameBegin, gt))
                return false;
            p = gt + 1;
            state = FLevels.empty() ? Epilog : AfterElement;
            break;
        }
        case Epilog:
            p = SkipSpace(p);
            if (p != end)
                return false;
            break;
        case Comment: {
            const char *dash = static_cast<const char *>(std::memchr(p, '-', end - p));
            if (!dash) {
                p = end;
                break;
            }
            if (dash + 1 >= end)
                return false;
            if (dash[1] != '-') {
                p = dash + 2;
                break;
            }
            if (dash + 2 >= end)
                return false;
            p = dash + 3;
            if (dash[2] == '>') {
                state = returnState;
                if (state == Content)
                    FContentBegin = p;
            }
            break;
        }
        }
    }
    // The end of the input between characters: only open levels count.
    return FLevels.empty();
}

int TEKXML::LoadFromStream(std::string_view bytes)
{
    // A fresh document for every read.
    try {
        FStore = std::make_unique<TEKXMLStore>();
    } catch (...) {
        return -1;
    }
    FName = &EmptyName();
    FText = nullptr;
    FTextLength = 0;
    FAttributes = nullptr;
    FElements = nullptr;
    FCurrentElement = this;
    FCurrentList = nullptr;
    if (bytes.size() > kMaxText)
        return -1;
    TEKXMLReader reader(*this, bytes);
    return reader.Run();
}
