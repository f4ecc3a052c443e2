#pragma once

#include "EKList.h"
#include "EKRoot.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

// The element tree through which every request and response passes, with its
// writer (one line after the declaration, nothing escaped) and its reader (a
// character state machine that keeps texts verbatim, CDATA markers and entity
// references included).
//
// All text in the tree is UTF-8. windows-1250 appears only at the edges:
// LoadFromStream takes the bytes of an answer, GetDocumentBytes gives the bytes
// of a request.
//
// Memory: every element, attribute, child list and text of a document lives in
// storage owned by the document (pages, not one allocation per node); names are
// shared within the document. Elements are created only by their document
// (AddElement, LoadFromStream) and live exactly as long as it. Nothing walks the
// tree recursively, so trees of any depth can be built, written and destroyed.
// Views returned by Text() and TEKXMLAttribute::Value() stay valid until the
// text is replaced or the document is destroyed.

class TEKXML;
class TEKXMLElement;
class TEKXMLElementCollection;
struct TEKXMLStore;

class TEKXMLAttribute
{
public:
    const std::string &Name() const { return *FName; }
    std::string_view Value() const { return {FValue, FValueLength}; }

private:
    friend class TEKXMLElement;
    friend struct TEKXMLStore;
    friend class TEKXMLReader;
    const std::string *FName = nullptr;
    const char *FValue = nullptr;
    std::uint32_t FValueLength = 0;
};

// Attributes of one element in insertion order; duplicate names are kept.
class TEKXMLAttributeList
{
public:
    int Count() const { return static_cast<int>(FCount); }
    // 0-based; EListError outside 0..Count-1.
    const TEKXMLAttribute &Items(int index) const;
    // 1-based; EListError outside 1..Count.
    const TEKXMLAttribute &GetItemByOrd(int ord) const { return Items(ord - 1); }
    const TEKXMLAttribute *begin() const { return FItems; }
    const TEKXMLAttribute *end() const { return FItems + FCount; }

private:
    friend class TEKXMLElement;
    friend class TEKXMLReader;
    TEKXMLAttribute *FItems = nullptr;
    std::uint32_t FCount = 0;
    std::uint32_t FCapacity = 0;
};

class TEKXMLElement : public TEKRootClass
{
public:
    const std::string &Name() const { return *FName; }
    void SetName(std::string_view name);

    // Absent (null) until the first AddAttribute.
    const TEKXMLAttributeList *Attributes() const { return FAttributes; }
    // Appends; an attribute of the same name is not looked for.
    void AddAttribute(std::string_view name, std::string_view value);
    // Value of the first attribute named exactly so; empty when there is none.
    std::string GetAttribute(std::string_view name) const;
    // The first attribute named exactly so, or null.
    const TEKXMLAttribute *FindAttribute(std::string_view name) const;

    // The text exactly as set or read (CDATA markers and entity references
    // kept). A non-leaf keeps its text but is written without it.
    virtual std::string GetText() const;
    virtual void SetText(std::string_view text);
    // The same text without a copy.
    std::string_view Text() const { return {FText, FTextLength}; }

    // True until a child level is opened for the element.
    bool IsLeaf() const { return FElements == nullptr; }
    // The child list; null for a leaf.
    TEKXMLElementCollection *Elements() const { return FElements; }
    // Shorthands for the free functions below, applied to Elements().
    TEKXMLElement *FindElement(std::string_view name) const;
    TEKXMLElement *ElementByOrd(int ord) const;
    // Number of children; 0 for a leaf.
    int ElementCount() const;

    // The list that holds the element; null for the document itself.
    TEKXMLElementCollection *Collection() const { return FCollection; }
    // 0-based position in Collection(); -1 for the document.
    int Index() const { return FIndex; }
    TEKXML *Document() const;

    // The element in text form: tags, attributes, text or children; no
    // indentation, no line breaks, nothing escaped.
    std::string GetXMLText() const;
    // The text forms of the children, concatenated; empty for a leaf.
    std::string GetElementsXMLText() const;

protected:
    TEKXMLElement();
    // Elements are never destroyed one by one: their storage belongs to the
    // document and is released with it.
    ~TEKXMLElement() override = default;

private:
    friend class TEKXML;
    friend struct TEKXMLStore;
    friend class TEKXMLReader;

    TEKXMLElementCollection *FCollection = nullptr;
    const std::string *FName;
    const char *FText = nullptr;
    std::uint32_t FTextLength = 0;
    std::int32_t FIndex = -1;
    TEKXMLAttributeList *FAttributes = nullptr;
    TEKXMLElementCollection *FElements = nullptr;
};

// The ordered child elements of one element (its Owner).
class TEKXMLElementCollection
{
public:
    TEKXMLElement *Owner() const { return FOwner; }
    int Count() const { return static_cast<int>(FCount); }
    // 0-based; EListError outside 0..Count-1.
    TEKXMLElement *Items(int index) const;
    // 1-based; EListError outside 1..Count.
    TEKXMLElement *ElementByOrd(int ord) const { return Items(ord - 1); }
    TEKXMLElement *GetItemByOrd(int ord) const { return Items(ord - 1); }
    // The first child named exactly so, or null.
    TEKXMLElement *FindElement(std::string_view name) const;
    TEKXMLElement *const *begin() const { return FItems; }
    TEKXMLElement *const *end() const { return FItems + FCount; }

private:
    friend class TEKXML;
    friend class TEKXMLElement;
    friend struct TEKXMLStore;
    friend class TEKXMLReader;

    TEKXMLElement *FOwner = nullptr;
    TEKXML *FDocument = nullptr;
    TEKXMLElement **FItems = nullptr;
    std::uint32_t FCount = 0;
    std::uint32_t FCapacity = 0;
};

// The first child of the list named exactly so; null when there is none or
// when the list is absent (the Elements of a leaf).
TEKXMLElement *FindElement(const TEKXMLElementCollection *list, std::string_view name);
// The child at the 1-based ordinal; EListError outside 1..Count and for an
// absent list.
TEKXMLElement *ElementByOrd(const TEKXMLElementCollection *list, int ord);

// The document: itself the root element, plus the building cursor.
class TEKXML final : public TEKXMLElement
{
public:
    TEKXML();
    ~TEKXML() override;

    // The element that the last building step produced (the document after
    // creation), or null right after OpenLevel.
    TEKXMLElement *CurrentElement() const { return FCurrentElement; }
    // The list AddElement appends to; null after creation.
    TEKXMLElementCollection *CurrentList() const { return FCurrentList; }

    // Gives CurrentElement a child list and makes it current. With no current
    // element it does nothing and returns null.
    TEKXMLElementCollection *OpenLevel();
    // Back to the owner of the current list; returns the list now current.
    TEKXMLElementCollection *CloseLevel();
    // Appends to CurrentList and makes the new element current; without an
    // open level it adds nothing and returns null.
    TEKXMLElement *AddElement(std::string_view name);
    TEKXMLElement *AddTextElement(std::string_view name, std::string_view text);

    // The declaration, one line feed, the root in text form; no final line feed.
    std::string GetDocumentText() const;
    // GetDocumentText in windows-1250, as sent on the wire.
    std::string GetDocumentBytes() const;

    // Reads the whole answer (windows-1250 bytes) into the document, which is
    // emptied first: 0 on success, -1 on failure. Input that ends between
    // characters succeeds when it was not empty and no element that received
    // children is still open (so an answer cut inside the root's own text or
    // end tag succeeds). On failure the document keeps what was built before
    // the failure. Never throws for any input; runs in one pass; inputs of
    // 4 GiB and more fail.
    int LoadFromStream(std::string_view bytes);
    int LoadFromStream(const char *data, std::size_t size)
    {
        return LoadFromStream(std::string_view(data, size));
    }
    // Reads the stream from its start to its end.
    int LoadFromStream(std::istream &stream);

private:
    friend class TEKXMLElement;
    friend class TEKXMLReader;

    std::unique_ptr<TEKXMLStore> FStore;
    TEKXMLElement *FCurrentElement;
    TEKXMLElementCollection *FCurrentList = nullptr;
};
