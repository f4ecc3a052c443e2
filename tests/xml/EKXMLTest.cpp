#include "EKXML.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"windows-1250\" ?>\n";

// ---------------------------------------------------------------------------
// Writing what the building cursor built

struct WriteCase
{
    const char *Label;
    std::function<void(TEKXML &)> Build;
    std::string Expected; // after the declaration line
};

TEST(EKXMLWriter, WritesExactlyTheBuiltTree)
{
    const std::vector<WriteCase> cases = {
        {"fresh document", [](TEKXML &d) { d.SetName("modules"); }, "<modules/>"},
        {"request without parameters", [](TEKXML &d) { d.SetName("noop"); }, "<noop/>"},
        {"root attribute",
         [](TEKXML &d) {
             d.SetName("refreshprofile");
             d.AddAttribute("receive", "1");
         },
         "<refreshprofile receive=\"1\"/>"},
        {"text parameters on one line",
         [](TEKXML &d) {
             d.SetName("codelistdef");
             d.OpenLevel();
             d.AddTextElement("moduleid", "3");
             d.AddTextElement("codeid", "17");
             d.AddTextElement("filter", "<![CDATA[ab]]>");
             d.CloseLevel();
         },
         "<codelistdef><moduleid>3</moduleid><codeid>17</codeid>"
         "<filter><![CDATA[ab]]></filter></codelistdef>"},
        {"empty text is an empty-element tag",
         [](TEKXML &d) {
             d.SetName("r");
             d.OpenLevel();
             d.AddTextElement("a", "");
         },
         "<r><a/></r>"},
        {"open and close without children",
         [](TEKXML &d) {
             d.SetName("r");
             d.OpenLevel();
             d.AddElement("a");
             d.OpenLevel();
             d.CloseLevel();
         },
         "<r><a></a></r>"},
        {"text of a non-leaf is not written",
         [](TEKXML &d) {
             d.SetName("r");
             d.OpenLevel();
             d.AddTextElement("a", "x");
             d.CloseLevel();
             d.SetText("ignored");
         },
         "<r><a>x</a></r>"},
        {"nested group then sibling",
         [](TEKXML &d) {
             d.SetName("action");
             d.OpenLevel();
             d.AddTextElement("id", "5");
             d.AddElement("values");
             d.OpenLevel();
             d.AddTextElement("v", "1")->AddAttribute("fid", "7");
             d.AddTextElement("v", "2");
             d.CloseLevel();
             d.AddTextElement("after", "z");
             d.CloseLevel();
         },
         "<action><id>5</id><values><v fid=\"7\">1</v><v>2</v></values><after>z</after></action>"},
        {"nothing is escaped",
         [](TEKXML &d) {
             d.SetName("r");
             d.AddAttribute("a", "x\"<&y");
             d.AddAttribute("a", "second");
             d.OpenLevel();
             d.AddTextElement("t", "1 < 2 & &amp; \"q\"");
         },
         "<r a=\"x\"<&y\" a=\"second\"><t>1 < 2 & &amp; \"q\"</t></r>"},
        {"UTF-8 text stays UTF-8",
         [](TEKXML &d) {
             d.SetName("r");
             d.SetText("\xC5\xA1\xC5\xBE\xC4\x8D");
         },
         "<r>\xC5\xA1\xC5\xBE\xC4\x8D</r>"},
    };
    for (const WriteCase &c : cases) {
        TEKXML doc;
        c.Build(doc);
        EXPECT_EQ(doc.GetDocumentText(), kDecl + c.Expected) << c.Label;
        EXPECT_EQ(doc.GetXMLText(), c.Expected) << c.Label;
    }
}

TEST(EKXMLWriter, ElementsTextIsTheChildrenOnly)
{
    TEKXML doc;
    doc.SetName("r");
    EXPECT_EQ(doc.GetElementsXMLText(), "");
    doc.OpenLevel();
    doc.AddTextElement("a", "1");
    doc.AddElement("b");
    EXPECT_EQ(doc.GetElementsXMLText(), "<a>1</a><b/>");
}

TEST(EKXMLWriter, RequestBytesAreWindows1250)
{
    TEKXML doc;
    doc.SetName("r");
    doc.SetText("\xC5\xA1\xC5\xBE\xC4\x8D"); // š ž č
    EXPECT_EQ(doc.GetDocumentBytes(), kDecl + "<r>\x9A\x9E\xE8</r>");
}

// ---------------------------------------------------------------------------
// The building cursor

TEST(EKXMLBuilding, CursorFollowsLevels)
{
    TEKXML doc;
    EXPECT_EQ(doc.CurrentElement(), &doc);
    EXPECT_EQ(doc.CurrentList(), nullptr);
    EXPECT_TRUE(doc.IsLeaf());
    EXPECT_EQ(doc.Elements(), nullptr);

    // Without an open level nothing is added.
    EXPECT_EQ(doc.AddElement("x"), nullptr);
    EXPECT_EQ(doc.AddTextElement("x", "t"), nullptr);
    EXPECT_EQ(doc.CurrentElement(), &doc);

    TEKXMLElementCollection *top = doc.OpenLevel();
    ASSERT_NE(top, nullptr);
    EXPECT_FALSE(doc.IsLeaf());
    EXPECT_EQ(doc.Elements(), top);
    EXPECT_EQ(top->Owner(), &doc);
    EXPECT_EQ(doc.CurrentList(), top);
    EXPECT_EQ(doc.CurrentElement(), nullptr);

    TEKXMLElement *group = doc.AddElement("group");
    TEKXMLElementCollection *inner = doc.OpenLevel();
    TEKXMLElement *item = doc.AddTextElement("item", "1");
    EXPECT_EQ(item->Collection(), inner);
    EXPECT_EQ(item->Document(), &doc);

    // Closing the inner level makes the group current again, in its own list.
    EXPECT_EQ(doc.CloseLevel(), top);
    EXPECT_EQ(doc.CurrentElement(), group);
    EXPECT_EQ(doc.CurrentList(), top);
    TEKXMLElement *sibling = doc.AddElement("sibling");
    EXPECT_EQ(sibling->Collection(), top);
    EXPECT_EQ(sibling->Index(), 1);

    EXPECT_EQ(doc.CloseLevel(), nullptr);
    EXPECT_EQ(doc.CurrentElement(), &doc);
    EXPECT_EQ(doc.CurrentList(), nullptr);
    // One more close has nothing to close.
    EXPECT_EQ(doc.CloseLevel(), nullptr);
    EXPECT_EQ(doc.CurrentElement(), &doc);
}

TEST(EKXMLBuilding, OpenLevelRightAfterOpenLevelHasNoElement)
{
    TEKXML doc;
    doc.OpenLevel();
    EXPECT_EQ(doc.OpenLevel(), nullptr);
    EXPECT_EQ(doc.GetXMLText(), "<></>");
}

TEST(EKXMLBuilding, SetTextReplacesAndViewsFollow)
{
    TEKXML doc;
    doc.OpenLevel();
    TEKXMLElement *e = doc.AddTextElement("a", "long text");
    e->SetText("short");
    EXPECT_EQ(e->GetText(), "short");
    e->SetText("a longer text than before");
    EXPECT_EQ(e->Text(), "a longer text than before");
    e->SetText(e->Text().substr(2, 6));
    EXPECT_EQ(e->GetText(), "longer");
    e->SetText("");
    EXPECT_EQ(e->GetText(), "");
    EXPECT_EQ(doc.GetXMLText(), "<><a/></>");
}

// ---------------------------------------------------------------------------
// Reading attributes and children

TEST(EKXMLLookup, AttributesAndChildren)
{
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(
                  std::string_view("<r id=\"1\" Id=\"2\" id=\"3\"><a/><b k=\"v\"/><a>2</a></r>")),
              0);
    struct AttrRow
    {
        const char *Name;
        const char *Value;
    };
    for (AttrRow row : {AttrRow{"id", "1"}, AttrRow{"Id", "2"}, AttrRow{"ID", ""},
                        AttrRow{"missing", ""}, AttrRow{"", ""}})
        EXPECT_EQ(doc.GetAttribute(row.Name), row.Value) << row.Name;
    EXPECT_EQ(doc.Attributes()->Count(), 3);

    TEKXMLElement *a = doc.FindElement("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Index(), 0);
    EXPECT_EQ(doc.FindElement("A"), nullptr);
    EXPECT_EQ(doc.ElementByOrd(3)->GetText(), "2");
    EXPECT_EQ(doc.ElementByOrd(2)->GetAttribute("k"), "v");
    EXPECT_EQ(a->Attributes(), nullptr);
    EXPECT_EQ(a->GetAttribute("k"), "");
    EXPECT_EQ(doc.ElementCount(), 3);

    // The Elements of a leaf are absent: nothing is found, ordinals fail.
    EXPECT_TRUE(a->IsLeaf());
    EXPECT_EQ(a->FindElement("x"), nullptr);
    EXPECT_EQ(FindElement(a->Elements(), "x"), nullptr);
    EXPECT_THROW(ElementByOrd(a->Elements(), 1), EListError);

    for (int ord : {0, -1, 4, 1000})
        EXPECT_THROW(ElementByOrd(doc.Elements(), ord), EListError) << ord;
    EXPECT_THROW(doc.Attributes()->GetItemByOrd(4), EListError);
    EXPECT_EQ(doc.Attributes()->GetItemByOrd(3).Value(), "3");
}

// ---------------------------------------------------------------------------
// Reading: the language the reader accepts

struct ReadCase
{
    const char *Label;
    std::string Input;
    int Result;
    std::string Written; // GetXMLText after the read; checked on success
};

TEST(EKXMLReader, ReadsExactlyTheLanguage)
{
    const std::string formactions = "<re_formactions formid=\"0\" reqid=\"4\"><a xx=\"a\"></a>"
                                    "<b xx=\"b\"/><c xx=\"c\"></c></re_formactions>";
    const std::string formactionsOut = "<re_formactions formid=\"0\" reqid=\"4\"><a xx=\"a\"/>"
                                       "<b xx=\"b\"/><c xx=\"c\"/></re_formactions>";
    const std::vector<ReadCase> cases = {
        {"root tag at the first character", formactions, 0, formactionsOut},
        {"declaration first", kDecl + formactions, 0, formactionsOut},
        {"byte-order mark and declaration", "\xEF\xBB\xBF" + kDecl + formactions, 0,
         formactionsOut},
        {"byte-order mark then root", "\xEF\xBB\xBF<r/>", 0, "<r/>"},
        {"EF with another pair", "\xEF\xBB\xBE" + kDecl + formactions, -1, ""},
        {"EF then anything", "\xEF<r/>", -1, ""},
        {"byte-order mark alone", "\xEF\xBB\xBF", -1, ""},
        {"empty input", "", -1, ""},
        {"whitespace only", " \n", 0, "</>"},
        {"spaces and CDATA kept verbatim", "<r><a>  <![CDATA[x y]]>  </a></r>", 0,
         "<r><a>  <![CDATA[x y]]>  </a></r>"},
        {"blank leaf text not stored", "<r><a> \r\n\t </a></r>", 0, "<r><a/></r>"},
        {"text then empty leaf", "<r><a>1</a><b/></r>", 0, "<r><a>1</a><b/></r>"},
        {"blank text around children dropped", "<r>\n <a>1</a>\n <b/>\n</r>\n", 0,
         "<r><a>1</a><b/></r>"},
        {"text before a child", "<r>x<a/></r>", -1, ""},
        {"text after a child", "<r><a/>x</r>", -1, ""},
        {"end tag of another element", "<r><a>1</b></r>", -1, ""},
        {"end tag of the root differs", "<r><a/></s>", -1, ""},
        {"whitespace inside an end tag", "<r><a>1</a ></r>", -1, ""},
        {"comment before the first child", "<r><!-- c --><a/></r>", 0, "<r><a/></r>"},
        {"comment between children", "<r><a/><!-- - -- c --><b/></r>", 0, "<r><a/><b/></r>"},
        {"comment inside a text is removed", "<r>a<!--c-->b</r>", 0, "<r>ab</r>"},
        {"three dashes do not close a comment", "<r><!-- a ---> b --></r>", 0, "<r/>"},
        {"comment before the root", "<!--c--><r/>", -1, ""},
        {"stop after an empty child of the root", "<r><a/>", -1, ""},
        {"stop inside the root's text", "<r>abc", 0, "<r/>"},
        {"stop after the root's end tag began", "<r><a/></", 0, "<r><a/></r>"},
        {"stop inside a child's text", "<r><a>abc", -1, ""},
        {"single-quoted attribute", "<r a='1'/>", -1, ""},
        {"attribute name starting with a digit", "<r 1a=\"1\"/>", -1, ""},
        {"attribute name starting with a non-ASCII letter", "<r \x9A=\"1\"/>", -1, ""},
        {"spaces around the equals sign", "<r a \n= \"1\"/>", 0, "<r a=\"1\"/>"},
        {"line break in a value", "<r a=\"x\ny\"/>", 0, "<r a=\"x\ny\"/>"},
        {"no equals sign", "<r a \"1\"/>", -1, ""},
        {"entity references kept", "<r a=\"&amp;&#x41;\">x &lt; y</r>", 0,
         "<r a=\"&amp;&#x41;\">x &lt; y</r>"},
        {"CDATA holds markup", "<r><![CDATA[<a></r>]]></r>", 0, "<r><![CDATA[<a></r>]]></r>"},
        {"CDATA ends at its first ]]>", "<r><![CDATA[a]]>]]></r>", 0, "<r><![CDATA[a]]>]]></r>"},
        {"CDATA before a child", "<r><![CDATA[]]><a/></r>", -1, ""},
        {"bad markup declaration", "<r><!DOCTYPE x></r>", -1, ""},
        {"half a CDATA marker", "<r><![CDAT[x]]></r>", -1, ""},
        {"half a comment marker", "<r><!-x--></r>", -1, ""},
        {"markup declaration between children", "<r><a/><![CDATA[x]]></r>", -1, ""},
        {"end tag at the top", "<r/></r>", -1, ""},
        {"content after the root", "<r></r><s/>", -1, ""},
        {"whitespace after the root", "<r></r> \r\n\t", 0, "<r/>"},
        {"declaration is not interpreted", "<?xml anything at all ?><r/>", 0, "<r/>"},
        {"question mark inside the declaration", "<?xml a=\"?\" ?><r/>", -1, ""},
        {"declaration after whitespace is an element", " <?xml version=\"1.0\"?><r/>", -1, ""},
        {"empty element with attributes", "<r><a x=\"1\" y=\"2\"/></r>", 0,
         "<r><a x=\"1\" y=\"2\"/></r>"},
        {"deeper nesting", "<r><a><b><c>1</c></b><d/></a></r>", 0,
         "<r><a><b><c>1</c></b><d/></a></r>"},
        {"empty child list reads as a leaf", "<r><a></a></r>", 0, "<r><a/></r>"},
        {"second top-level element renames the document", "<a x=\"1\"/><b y=\"2\"/>", 0,
         "<b x=\"1\" y=\"2\"/>"},
        {"windows-1250 decoded", "<r a\x9A=\"\x9E\">\xE8\x80</r>", 0,
         "<r a\xC5\xA1=\"\xC5\xBE\">\xC4\x8D\xE2\x82\xAC</r>"},
        {"windows-1250 element names", "<r><\x8A>1</\x8A></r>", 0, "<r><\xC5\xA0>1</\xC5\xA0></r>"},
        {"NUL bytes are characters", std::string("<r>a\0b</r>", 10), 0,
         std::string("<r>a\0b</r>", 10)},
    };
    for (const ReadCase &c : cases) {
        TEKXML doc;
        EXPECT_EQ(doc.LoadFromStream(c.Input), c.Result) << c.Label;
        if (c.Result == 0) {
            EXPECT_EQ(doc.GetXMLText(), c.Written) << c.Label;
        }
    }
}

TEST(EKXMLReader, TreeShapeOfAnAnswer)
{
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(std::string_view(
                  "<re_formactions formid=\"0\" reqid=\"4\"><a xx=\"a\"></a><b xx=\"b\"/>"
                  "<c xx=\"c\"></c></re_formactions>")),
              0);
    EXPECT_EQ(doc.Name(), "re_formactions");
    EXPECT_EQ(doc.GetAttribute("formid"), "0");
    EXPECT_EQ(doc.GetAttribute("reqid"), "4");
    ASSERT_EQ(doc.ElementCount(), 3);
    const char *names[] = {"a", "b", "c"};
    for (int ord = 1; ord <= 3; ++ord) {
        TEKXMLElement *e = doc.ElementByOrd(ord);
        EXPECT_EQ(e->Name(), names[ord - 1]);
        EXPECT_EQ(e->GetAttribute("xx"), names[ord - 1]);
        EXPECT_TRUE(e->IsLeaf());
        EXPECT_EQ(e->Collection(), doc.Elements());
        EXPECT_EQ(e->Index(), ord - 1);
        EXPECT_EQ(e->Document(), &doc);
    }
    EXPECT_EQ(doc.Elements()->Owner(), &doc);
}

TEST(EKXMLReader, StopInsideTheRootTextLeavesNoText)
{
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(std::string_view("<r>abc")), 0);
    EXPECT_EQ(doc.Name(), "r");
    EXPECT_EQ(doc.GetText(), "");
}

TEST(EKXMLReader, FailureKeepsWhatWasBuilt)
{
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(std::string_view("<r><a>1</a><b><c/>x</b></r>")), -1);
    EXPECT_EQ(doc.Name(), "r");
    ASSERT_EQ(doc.ElementCount(), 2);
    EXPECT_EQ(doc.ElementByOrd(1)->GetText(), "1");
    EXPECT_EQ(doc.ElementByOrd(2)->ElementCount(), 1);
    EXPECT_EQ(doc.GetXMLText(), "<r><a>1</a><b><c/></b></r>");
}

TEST(EKXMLReader, EveryReadStartsFresh)
{
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(std::string_view("<a x=\"1\"><b/></a>")), 0);
    ASSERT_EQ(doc.LoadFromStream(std::string_view("<c>t</c>")), 0);
    EXPECT_EQ(doc.GetXMLText(), "<c>t</c>");
    EXPECT_TRUE(doc.IsLeaf());
}

TEST(EKXMLReader, StreamIsReadFromItsStart)
{
    std::istringstream in("<r><a>1</a></r>");
    in.seekg(5);
    TEKXML doc;
    ASSERT_EQ(doc.LoadFromStream(in), 0);
    EXPECT_EQ(doc.GetXMLText(), "<r><a>1</a></r>");
}

// ---------------------------------------------------------------------------
// The end of the input: every prefix of a construct

struct PrefixCase
{
    const char *Label;
    std::string Input;
    // One mark per prefix length 1..size: '+' reads, '-' fails.
    std::string Outcomes;
};

TEST(EKXMLReader, EveryPrefixEndsAsTheEndRuleSays)
{
    const std::vector<PrefixCase> cases = {
        {"child with attribute", "<r><a x=\"1\"/></r>", "-++-----------+++"},
        {"declaration and leaf root", "<?xml v=\"1\"?><r>t</r>", "-++++++++++-+++++-+++"},
        {"comment and CDATA", "<r><!--c--><a><![CDATA[x]]></a></r>",
         "-++---++--+---------------------+++"},
        {"byte-order mark", "\xEF\xBB\xBF<r/>", "----+-+"},
        {"attribute with spaces", "<r a = \"v\"/>", "-+++---+++-+"},
        {"nested end tags", "<r><a><b/></a></r>", "-++------------+++"},
    };
    for (const PrefixCase &c : cases) {
        ASSERT_EQ(c.Outcomes.size(), c.Input.size()) << c.Label;
        for (std::size_t n = 1; n <= c.Input.size(); ++n) {
            TEKXML doc;
            int expected = c.Outcomes[n - 1] == '+' ? 0 : -1;
            EXPECT_EQ(doc.LoadFromStream(std::string_view(c.Input).substr(0, n)), expected)
                << c.Label << ": " << c.Input.substr(0, n);
        }
    }
}

// ---------------------------------------------------------------------------
// Round trip over generated trees

class TreeGenerator
{
public:
    explicit TreeGenerator(unsigned seed) : FRandom(seed) {}

    void Build(TEKXML &doc, int maxDepth)
    {
        doc.SetName(Name());
        AddAttributes(doc);
        Fill(doc, doc, maxDepth);
    }

private:
    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(FRandom); }

    std::string Pieces(const std::vector<std::string> &from, int count)
    {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += from[Pick(static_cast<int>(from.size()))];
        return s;
    }

    // Names and values take Czech letters too: they must survive windows-1250.
    std::string Name()
    {
        static const std::vector<std::string> first = {"a",        "Z", "row", "x",
                                                       "\xC5\xA1", "_", "?",   "1"};
        static const std::vector<std::string> rest = {"a", "b",        "9", "-",  ".",
                                                      ":", "\xC4\x8D", "&", "\"", "'"};
        return Pieces(first, 1) + Pieces(rest, Pick(6));
    }

    std::string AttrName()
    {
        static const std::vector<std::string> letters = {"a", "Q", "f", "z"};
        static const std::vector<std::string> rest = {"a", "1", "_", "\xC5\xBE", "<", "/", ">"};
        return Pieces(letters, 1) + Pieces(rest, Pick(5));
    }

    std::string Value()
    {
        static const std::vector<std::string> parts = {
            "a", " ",        "\n",           "<",   ">", "&amp;", "'", "=",
            "/", "\xC4\x9B", "\xE2\x82\xAC", "]]>", "\t"};
        return Pieces(parts, Pick(8));
    }

    std::string Text()
    {
        static const std::vector<std::string> plain = {"x", " ",        "\r\n", "&lt;", ">", "\"",
                                                       "/", "\xC5\xA5", "]]>",  "-->",  "!"};
        static const std::vector<std::string> inside = {"<", "a",  "</r>", "<!--",
                                                        " ", "]]", "]",    "&"};
        std::string t;
        int pieces = Pick(4);
        for (int i = 0; i < pieces; ++i) {
            if (Pick(3) == 0)
                t += "<![CDATA[" + Pieces(inside, Pick(6)) + "]]>";
            else
                t += Pieces(plain, Pick(5));
        }
        return t;
    }

    void AddAttributes(TEKXMLElement &e)
    {
        int n = Pick(4) == 0 ? Pick(4) : 0;
        for (int i = 0; i < n; ++i) {
            std::string v = Value();
            std::erase(v, '"');
            e.AddAttribute(AttrName(), v);
        }
    }

    void Fill(TEKXML &doc, TEKXMLElement &e, int depth)
    {
        int shape = depth > 0 ? Pick(4) : 0;
        if (shape == 0) {
            e.SetText(Text());
            return;
        }
        doc.OpenLevel();
        int children = shape == 1 ? 0 : Pick(5);
        for (int i = 0; i < children; ++i) {
            TEKXMLElement *child = doc.AddElement(Name());
            AddAttributes(*child);
            Fill(doc, *child, depth - 1);
        }
        doc.CloseLevel();
    }

    std::mt19937 FRandom;
};

bool IsBlank(std::string_view text)
{
    for (unsigned char c : text)
        if (c > ' ')
            return false;
    return true;
}

// Compares the read tree with the written one under the promised round trip:
// equal, except that an empty child list reads back as a leaf and a blank leaf
// text reads back empty.
void ExpectSameTree(const TEKXMLElement &built, const TEKXMLElement &read, const std::string &path)
{
    ASSERT_EQ(read.Name(), built.Name()) << path;
    int builtAttrs = built.Attributes() ? built.Attributes()->Count() : 0;
    int readAttrs = read.Attributes() ? read.Attributes()->Count() : 0;
    ASSERT_EQ(readAttrs, builtAttrs) << path;
    for (int i = 0; i < builtAttrs; ++i) {
        EXPECT_EQ(read.Attributes()->Items(i).Name(), built.Attributes()->Items(i).Name()) << path;
        EXPECT_EQ(read.Attributes()->Items(i).Value(), built.Attributes()->Items(i).Value())
            << path;
    }
    if (built.IsLeaf() || built.ElementCount() == 0) {
        EXPECT_TRUE(read.IsLeaf()) << path;
        std::string_view expected = built.IsLeaf() && !IsBlank(built.Text()) ? built.Text() : "";
        EXPECT_EQ(read.Text(), expected) << path;
        return;
    }
    ASSERT_FALSE(read.IsLeaf()) << path;
    ASSERT_EQ(read.ElementCount(), built.ElementCount()) << path;
    for (int ord = 1; ord <= built.ElementCount(); ++ord) {
        EXPECT_EQ(read.ElementByOrd(ord)->Index(), ord - 1);
        ExpectSameTree(*built.ElementByOrd(ord), *read.ElementByOrd(ord),
                       path + "/" + built.ElementByOrd(ord)->Name());
    }
}

TEST(EKXMLRoundTrip, GeneratedTreesReadBackAsWritten)
{
    for (unsigned seed = 1; seed <= 400; ++seed) {
        TreeGenerator gen(seed);
        TEKXML built;
        gen.Build(built, 4);
        TEKXML read;
        ASSERT_EQ(read.LoadFromStream(built.GetDocumentBytes()), 0)
            << "seed " << seed << ": " << built.GetDocumentText();
        ExpectSameTree(built, read, "seed " + std::to_string(seed));
        if (HasFailure())
            FAIL() << built.GetDocumentText();
        // Writing again gives the same text once blank texts are gone.
        TEKXML again;
        ASSERT_EQ(again.LoadFromStream(read.GetDocumentBytes()), 0);
        EXPECT_EQ(again.GetDocumentText(), read.GetDocumentText()) << "seed " << seed;
    }
}

TEST(EKXMLRoundTrip, EmptyChildListReadsBackAsLeaf)
{
    TEKXML built;
    built.SetName("r");
    built.OpenLevel();
    built.AddElement("a");
    built.OpenLevel();
    built.CloseLevel();
    EXPECT_FALSE(built.ElementByOrd(1)->IsLeaf());
    TEKXML read;
    ASSERT_EQ(read.LoadFromStream(built.GetDocumentBytes()), 0);
    EXPECT_TRUE(read.ElementByOrd(1)->IsLeaf());
    EXPECT_EQ(read.ElementByOrd(1)->Elements(), nullptr);
}

// ---------------------------------------------------------------------------
// Depth: nothing walks the tree on the call stack

TEST(EKXMLDepth, MillionLevelsReadWriteAndDestroy)
{
    constexpr int kLevels = 1000000;
    std::string input;
    input.reserve(kLevels * 7 + 8);
    for (int i = 0; i < kLevels; ++i)
        input += "<a>";
    input += "x";
    for (int i = 0; i < kLevels; ++i)
        input += "</a>";

    auto doc = std::make_unique<TEKXML>();
    ASSERT_EQ(doc->LoadFromStream(input), 0);
    const TEKXMLElement *e = doc.get();
    int depth = 1;
    while (!e->IsLeaf()) {
        ASSERT_EQ(e->ElementCount(), 1);
        e = e->ElementByOrd(1);
        ++depth;
    }
    EXPECT_EQ(depth, kLevels);
    EXPECT_EQ(e->GetText(), "x");
    EXPECT_EQ(doc->GetXMLText(), input);
    doc.reset();

    // The same chain cut short fails cleanly.
    TEKXML cut;
    EXPECT_EQ(cut.LoadFromStream(std::string_view(input).substr(0, input.size() / 2)), -1);
}

TEST(EKXMLDepth, MillionLevelsBuiltAndWritten)
{
    constexpr int kLevels = 1000000;
    auto doc = std::make_unique<TEKXML>();
    doc->SetName("a");
    for (int i = 1; i < kLevels; ++i) {
        doc->OpenLevel();
        doc->AddElement("a");
    }
    std::string text = doc->GetElementsXMLText();
    EXPECT_EQ(text.size(), std::size_t(kLevels - 2) * 7 + 4);
    doc.reset();
}

} // namespace
