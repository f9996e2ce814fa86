#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "menu/font_control.h"

// Text alignment of a label.
enum LabelAlign : std::int32_t {
    kAlignLeft = 0,
    kAlignRight = 1,
    kAlignCenter = 2,
    kAlignJustified = 3,
    kAlignCentredBoth = 4,  // centred across and down (buttons)
};

// The text control of the menus, and the base of buttons and check boxes:
// one or more pages of text (from a section of a text file, set by the
// screen handlers, or refreshed every frame from a live variable), broken
// into rows for its width, a window of rows that scrolls, a highlighted
// current row, a row the player picks with the keys or the pointer, and one
// row that can be edited.
class Label : public FontControl {
public:
    // One row of a page: where it starts in the page text, how many
    // characters it shows (its line end not counted) and the room the page
    // buffer has from its start (the page capacity + 1 - start), which
    // bounds what editing may append to it.
    struct Row {
        std::int32_t start = 0;
        std::int32_t length = 0;
        std::int32_t capacity = 0;
    };
    struct Page {
        std::int32_t capacity = -1;  // characters; -1: not known yet
        std::string text;            // never longer than the capacity
        std::vector<Row> rows;
    };

    Label() : FontControl(kControlLabel) {}
    explicit Label(std::int32_t type) : FontControl(type) {}

    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;
    bool OnKeyDown() override;
    bool OnKeyUp() override;
    bool Press() override { return false; }
    void EndEdit() override;
    bool OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys) override;
    void Notify(std::int32_t code) override;
    void OnChar(std::int32_t character) override;
    void SaveState(platform::File& file) override;
    void LoadState(platform::File& file) override;

    // Replaces the current page's text; `n` asks for at least that capacity.
    void SetText(const char* text, std::int32_t n = 0);
    // At most size - 1 characters of the current page; true when all fitted.
    bool GetText(char* buffer, std::size_t size) const;
    // Breaks the current page into rows for a width in pixels.
    void SetWidth(std::int32_t width);
    // Reads the text of section "[id]" of a text file (disk, else the main
    // archive), cut to the capacity; a capacity of -1 becomes the text's
    // length.
    static void loadtext(const char* file, const char* id, std::string& text, std::int32_t& capacity);
    void SetPage(std::int32_t page);
    void SetFirstRow(std::int32_t row);
    void SetCurrentRow(std::int32_t row);
    void EditRow(std::int32_t row);
    bool HasSelectedRow() const;
    std::int32_t FirstRowLength() const;
    void SaveRows();
    // The text of a row of the current page (empty past the rows).
    std::string RowText(std::int32_t row) const;
    std::int32_t RowCount() const;
    std::int32_t PageCount() const { return static_cast<std::int32_t>(m_Pages.size()); }
    std::int32_t CurrentPage() const { return m_nCurrentPage; }
    const Page* CurrentPageRecord() const;
    // The editing primitives on a row of a page: they work in the page
    // text, which ends after the edited row (rows after it are dropped).
    // Appending takes place while the row is shorter than its capacity - 1;
    // deleting while it is not empty. True when the row changed.
    static bool RowDeleteLast(Page& page, std::size_t row);
    static bool RowAppendChar(Page& page, std::size_t row, char c);

    std::int32_t m_nRowHeight = 0;
    std::int32_t m_nAverageWidth = 0;  // a face's average character width + 1
    std::vector<Page> m_Pages;
    std::int32_t m_nCurrentPage = 0;
    std::int32_t m_nCurrentRow = -1;
    std::int32_t m_bEditable = 0;
    std::int32_t m_nSelectedRow = -1;
    std::int32_t m_bEditing = 0;
    std::int32_t m_nFirstRow = 0;
    std::int32_t m_nVisibleRows = 0;
    std::int32_t m_nBackStyle = 0;
    std::int32_t m_nAlignment = kAlignLeft;
    std::unique_ptr<Control> m_pAttached;  // painted with the label; its value is the first row
    std::vector<std::string> m_SavedRows;
    char m_szTextVar[32] = {};
    // Where the text is drawn relative to (left, top): a pressed button's offset.
    std::int32_t m_nOffsetX = 0, m_nOffsetY = 0;
    // Handing a notification or a first row on along the links.
    bool m_bPassingNotify = false;
    bool m_bPassingFirstRow = false;

protected:
    // The painting both Paint and Draw do (the live text, the attached
    // control, the rows); true when rows were drawn. The visibility and the
    // redraw counter are the caller's.
    bool PaintText();

private:
    Page* CurrentPageForChange();
    Page& EnsurePage();
    void FitVisibleRows();
    void BuildWindowsFontRows(Page& page, std::int32_t width);
    void BuildGameFontRows(Page& page);
    void DrawWindowsFontRows(const Page& page, std::int32_t x, std::int32_t y);
    void DrawGameFontRows(const Page& page, std::int32_t x, std::int32_t y);
    // Reports a chosen row to the screen's command handler (a label with a
    // UserID that reports).
    void ReportRow();
    void StepPage(std::int32_t step);
};

// What a control attached to a label (its scroll bar) gives the label: the
// row the label shows first.
class LabelAttachment {
public:
    virtual ~LabelAttachment() = default;
    virtual std::int32_t FirstRowValue() const = 0;
};

// One text of a text file: the section that starts with the line holding
// the word "[id]" (compared ignoring case), to the next '[' or the end, the
// rest of the header line skipped and one final line break dropped. A file
// on disk is taken byte for byte; from the main archive its lines are
// joined with CR LF. Throws "file not found %s" or "textID non trovato".
std::string ReadTextSection(const char* file, const char* id);
