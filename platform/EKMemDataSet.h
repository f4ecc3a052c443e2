#pragma once

#include "EKRoot.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Field types of the in-memory data set. ekftUnknown stands for a definition
// without a type; such a definition cannot become a field.
enum TEKFieldType : std::uint8_t
{
    ekftUnknown = 0,
    ekftString,   // text of at most Size characters (code points)
    ekftInteger,  // 32-bit integer
    ekftFloat,    // double
    ekftDate,     // day count, whole days only
    ekftTime,     // day count, fraction of the day only
    ekftDateTime, // day count with fraction
};

// A column as defined before the data set is opened.
struct TEKFieldDef
{
    std::string Name;
    TEKFieldType FieldType = ekftUnknown;
    // Maximum characters for a text field; 0 or less means no limit. Other
    // field types ignore it.
    int Size = 0;
    bool Required = false;
};

class TEKMemDataSet;
class TEKMemField;

// Room for the display text of one cell as DisplayView writes it.
struct TEKCellText
{
    char Chars[416];
    std::string Long; // date patterns too long for Chars
};

// Display-text handler of a field: gets the row being shown and replaces the
// text with what the grid should show.
using TEKFieldGetTextEvent =
    std::function<void(const TEKMemField &field, int row, std::string &text)>;

// One column: its definition, its cells (one typed vector, a null bitmap and,
// for text, offsets into one arena) and how it is shown. The accessors
// without a row work on the data set's current row.
class TEKMemField
{
public:
    TEKMemField(TEKMemDataSet &dataSet, const TEKFieldDef &def, int index);
    TEKMemField(const TEKMemField &) = delete;
    TEKMemField &operator=(const TEKMemField &) = delete;

    TEKMemDataSet &DataSet() const { return FDataSet; }
    const std::string &Name() const { return FDef.Name; }
    TEKFieldType FieldType() const { return FDef.FieldType; }
    int Size() const { return FDef.Size; }
    bool Required() const { return FDef.Required; }
    // 0-based position among the data set's fields.
    int Index() const { return FIndex; }

    // Current row. Reading without a current row gives null, 0 or "".
    bool IsNull() const;
    std::string AsString() const;
    int AsInteger() const;
    double AsFloat() const;
    double AsDateTime() const;

    // Current row. Each returns false and changes nothing when there is no
    // current row or the value does not fit the field (a text that is not a
    // number for a numeric field, a float outside the 32-bit range, NaN for a
    // date). Text is cut to Size characters.
    bool SetAsString(std::string_view value);
    bool SetAsInteger(int value);
    bool SetAsFloat(double value);
    bool SetAsDateTime(double value);
    bool Clear();

    // Any row; a row outside the data set reads as null.
    bool IsNullAt(int row) const;
    // The cell's value in its plain text form: texts as stored, integers in
    // decimal, floats in their shortest "." form without exponent, dates
    // "dd.mm.yyyy", times "hh:nn:ss", date-times "dd.mm.yyyy hh:nn:ss"; null gives "".
    std::string AsStringAt(int row) const;
    // The stored text of a text cell without a copy; valid until the next
    // change of the data set.
    std::string_view TextAt(int row) const;
    int IntegerAt(int row) const;
    // Floats, dates, times and date-times as double; integers converted.
    double FloatAt(int row) const;

    // How the grid shows the field: a FormatDateValue pattern for dates,
    // times and date-times (empty: the plain text form), and an optional
    // handler that has the last word.
    const std::string &DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(std::string format);
    const TEKFieldGetTextEvent &OnGetText() const { return FOnGetText; }
    void SetOnGetText(TEKFieldGetTextEvent handler);
    // The text the grid shows for the row.
    std::string DisplayText(int row) const;
    // DisplayText appended to out, without a string of its own when there is
    // no handler.
    void AppendDisplayText(int row, std::string &out) const;
    // DisplayText of a field without a handler (the handler is not called),
    // as a view into the stored text or into buffer; valid until the next
    // change of the data set or of buffer. ascii tells that the text is
    // plain ASCII (numbers, dates of an ASCII pattern).
    std::string_view DisplayView(int row, TEKCellText &buffer, bool &ascii) const;

private:
    friend class TEKMemDataSet;

    // A date pattern split once into its tokens: the grid formats every
    // visible cell with it.
    struct DateToken
    {
        char Kind; // 'y', 'z', 'm', 'd', 'h', 'n', 's', or 0 for Byte itself
        char Byte;
    };
    using DatePlan = std::vector<DateToken>;
    static DatePlan CompileDatePattern(std::string_view pattern);
    static const DatePlan &PlainDatePlan(TEKFieldType type);
    // The patterns of nearly every grid, written without going through the
    // tokens: "dd.mm.yyyy", "hh:nn:ss", "dd.mm.yyyy hh:nn:ss", "dd.mm.yyyy hh:nn".
    enum DateShape : std::uint8_t
    {
        edsTokens,
        edsDate,
        edsTime,
        edsDateTime,
        edsDateMinutes,
    };
    static DateShape ShapeOf(std::string_view pattern);
    // Writes exactly plan.size() bytes.
    static void WriteDateText(const DatePlan &plan, DateShape shape, double value, char *out);
    void CompileDisplayFormat();

    void AppendValueText(int row, std::string &out, bool display) const;
    void Reserve(std::size_t rows);
    void AppendNull();
    void PopBack();
    void ClearRows();
    bool SetNull(int row, bool isNull);
    bool StoreText(int row, std::string_view value);
    bool StoreNumber(int row, double value);
    bool StoreInteger(int row, int value);
    int CurrentRow() const;
    std::size_t MemoryUsed() const;

    TEKMemDataSet &FDataSet;
    TEKFieldDef FDef;
    int FIndex;
    std::vector<std::uint64_t> FHasValue;  // bit set: the cell holds a value
    std::vector<std::int32_t> FInts;       // ekftInteger
    std::vector<double> FNumbers;          // ekftFloat and the date types
    std::vector<std::uint32_t> FTextStart; // ekftString: cell text in FArena
    std::vector<std::uint32_t> FTextLength;
    std::string FArena;
    std::string FDisplayFormat;
    DatePlan FDisplayPlan; // date types: the display format or the plain form
    DateShape FDisplayShape = edsTokens;
    bool FDisplayAscii = true;
    TEKFieldGetTextEvent FOnGetText;
};

// A remembered row. It stays valid while the data set is open; closing or
// redefining the data set makes every earlier bookmark invalid.
struct TEKBookmark
{
    int Row = -1;
    std::uint64_t Generation = 0;
};

// What changed, as told to listeners.
enum TEKDataSetChange : std::uint8_t
{
    ekdcReset,        // fields or all rows changed: start over
    ekdcRowsAppended, // Count completed rows from FirstRow were added at the end
    ekdcRowsChanged,  // cells of the rows FirstRow .. FirstRow + Count - 1 changed
    ekdcDestroyed,    // the data set is going away; drop every reference to it
};

struct TEKDataSetNotice
{
    TEKDataSetChange Change = ekdcReset;
    int FirstRow = 0;
    int Count = 0;
};

using TEKDataSetListener = std::function<void(const TEKDataSetNotice &notice)>;

// The in-memory table behind browse grids. Rows are only ever appended, so a
// row's position is its identity. A newly appended row is pending until the
// next Append, Post or move completes it, or Cancel drops it; listeners only
// hear of completed rows. While change notifications are suspended, the
// notices are gathered and told, merged, when they are resumed.
class TEKMemDataSet : public TEKRootClass
{
public:
    TEKMemDataSet();
    ~TEKMemDataSet() override;

    // --- Definitions and fields (while closed) ---
    const std::vector<TEKFieldDef> &FieldDefs() const { return FFieldDefs; }
    // False when open, or when the name is already defined.
    bool AddFieldDef(const std::string &name, TEKFieldType fieldType, int size, bool required);
    void ClearFieldDefs();
    // Creates the field of the definition at the position. False when open,
    // for a position outside FieldDefs, a definition without a type, or a
    // definition whose field exists already.
    bool CreateField(int defIndex);
    void ClearFields();
    int FieldCount() const { return static_cast<int>(FFields.size()); }
    // 0-based position; none outside 0 .. FieldCount - 1.
    TEKMemField *Fields(int index) const;
    // The first field of exactly that name, or none.
    TEKMemField *FindField(std::string_view name) const;

    // --- Open and close ---
    // Creates the fields of all definitions first when there are none yet.
    // False (and stays closed) when a definition has no type.
    bool Open();
    // Drops every row and keeps the fields.
    void Close();
    bool Active() const { return FActive; }

    // --- Rows ---
    // Completes the pending row and adds a new, empty one as the current row.
    // False when closed.
    bool Append();
    // Completes the pending row; nothing when there is none.
    void Post();
    // Drops the pending row; the current row becomes the last one left.
    void Cancel();
    bool HasPendingRow() const { return FPendingRow; }
    // Room for that many more rows without growing (a hint; never needed).
    void Reserve(int rows);
    int RecordCount() const { return FRowCount; }
    bool IsEmpty() const { return FRowCount == 0; }

    // --- Navigation (each completes the pending row first) ---
    // The current row, 0-based; -1 when there is none.
    int RecNo() const { return FCurrent; }
    void First();
    void Last();
    // Moves one row; at the last row it stays and Eof becomes true.
    void Next();
    // Moves one row back; at the first row it stays and Bof becomes true.
    void Prior();
    // Moves by distance rows, stopping at either end; returns the rows moved.
    int MoveBy(int distance);
    // True when the data set is empty, after Last, or when a move has just
    // tried to go past the last row; any other move makes it false.
    bool Eof() const { return FEof || FRowCount == 0; }
    bool Bof() const { return FBof || FRowCount == 0; }
    TEKBookmark GetBookmark() const;
    bool BookmarkValid(const TEKBookmark &bookmark) const;
    // Returns to the remembered row; false (and no move) for an invalid one.
    bool GotoBookmark(const TEKBookmark &bookmark);
    // Moves to the first row whose field holds the value; false (no move)
    // when no row does or there is no such field. Null cells never match.
    // Integers match integer cells, numeric cells of that value and text
    // cells of exactly its decimal text.
    bool Locate(std::string_view fieldName, long long value);
    // Text cells match exactly; other cells by their AsStringAt form.
    bool Locate(std::string_view fieldName, std::string_view value);

    // Called after every move (also one that stopped at an end), not after
    // Append.
    std::function<void(TEKMemDataSet &dataSet)> AfterScroll;

    // --- Change notifications ---
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount > 0; }
    // Returns an id for RemoveListener.
    int AddListener(TEKDataSetListener listener);
    void RemoveListener(int id);

    // Bytes held by the cells and their texts.
    std::size_t MemoryUsed() const;

private:
    friend class TEKMemField;

    void CompletePending();
    void ScrollTo(int row);
    void DoAfterScroll();
    void Notify(TEKDataSetChange change, int firstRow, int count);
    void NoteReset();
    void NoteRowChanged(int row);
    void NoteAllChanged();
    void FlushNotices();
    template <class Match> bool LocateBy(std::string_view fieldName, Match match);

    std::vector<TEKFieldDef> FFieldDefs;
    std::vector<std::unique_ptr<TEKMemField>> FFields;
    bool FActive = false;
    int FRowCount = 0;
    bool FPendingRow = false;
    int FCurrent = -1;
    bool FEof = false;
    bool FBof = false;
    std::uint64_t FGeneration = 1;

    int FDisableCount = 0;
    int FAnnouncedRows = 0; // completed rows the listeners know about
    bool FResetPending = false;
    int FChangedFirst = -1; // rows changed while notifications were suspended
    int FChangedLast = -1;
    struct Listener
    {
        int Id;
        TEKDataSetListener Call;
    };
    std::vector<Listener> FListeners;
    int FNextListenerId = 1;
    int FNotifyDepth = 0;
};

inline bool TEKMemField::IsNullAt(int row) const
{
    if (row < 0 || row >= FDataSet.FRowCount)
        return true;
    const auto r = static_cast<std::size_t>(row);
    return (FHasValue[r >> 6] & (std::uint64_t(1) << (r & 63))) == 0;
}

inline std::string_view TEKMemField::TextAt(int row) const
{
    if (FDef.FieldType != ekftString || IsNullAt(row))
        return {};
    const auto r = static_cast<std::size_t>(row);
    return std::string_view(FArena.data() + FTextStart[r], FTextLength[r]);
}

inline TEKMemField *TEKMemDataSet::Fields(int index) const
{
    if (index < 0 || index >= FieldCount())
        return nullptr;
    return FFields[static_cast<std::size_t>(index)].get();
}
