#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "menu/label.h"
#include "platform/display.h"

// The mark-up tags of rich text, by the code LabelExt::TagCode gives them.
enum RichTextTag : std::int32_t {
    kTagUnknown = -1,
    kTagTabSet = 0,     // "<TABSET a b c d e>": up to five tab stops in pixels
    kTagTab = 1,        // "<TAB>": the next tab stop
    kTagTabChar = 2,    // a tab character: as "<TAB>"
    kTagSideImage = 3,  // "<IMAGINET name align offset>": a picture beside the next lines
    kTagImage = 4,      // "<IMAGINE name align offset>": a picture on lines of its own
    kTagLink = 5,       // "<LINK name>": a button in the line
    kTagFont = 6,       // "<FONT:name>": a face ('_' for a blank)
    kTagGameFont = 7,   // "<FONTDD:name>": a game font
    kTagFontSize = 8,   // "<FONTSIZE points>"
    kTagAlignment = 9,  // "<ALIGNMENT LEFT|RIGHT|CENTER|other>"
    kTagColour = 10,    // "<COLOR r g b>"
    kTagBold = 11,
    kTagItalic = 12,
    kTagNormal = 13,
    kTagUnderline = 14,
};

// A label whose text carries mark-up tags (tab stops, fonts, sizes,
// colours, alignment, pictures and inline link buttons). It is laid out
// into runs (pieces of one line in one font and colour, at their own
// places) by the window that holds it, and drawn clipped to that window.
class LabelExt : public Label {
public:
    // The longest font name a tag gives; a name is read up to it.
    static constexpr std::size_t kFontNameMax = 39;
    // The longest element name a tag gives.
    static constexpr std::size_t kElementNameMax = 31;
    static constexpr std::int32_t kTabStops = 5;

    struct Run {
        std::string text;
        std::int32_t x = 0, y = 0;
        std::int32_t available = 0;  // the width from x to the line's right edge
        std::string font;            // at most kFontNameMax characters
        std::int32_t size = 100;     // tenths of a point
        std::int32_t alignment = kAlignLeft;
        std::uint32_t colour = 0xFFFFFF;
        std::int32_t font_kind = kFontWindows;
        std::int32_t game_font[7] = {};  // a game font's ".mfg" words
    };

    LabelExt() : Label(kControlLabelExt) {}

    // As a label's, but the text is not broken into rows.
    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;

    // The tag at the start of `text` (a '<' or a tab), kTagUnknown for none.
    static std::int32_t TagCode(const char* text);
    // Lays the current page out into runs for a width, from the label's
    // place; places the pictures and buttons the tags name. The label's
    // height becomes the height of what was laid out.
    void Layout(std::int32_t width);
    void MoveRuns(std::int32_t dx, std::int32_t dy);
    const std::vector<Run>& Runs() const { return m_Runs; }

private:
    bool PaintRuns(bool paint);
    void DrawFaceRun(const Run& run, const platform::PixelRect& clip);
    void DrawGameFontRun(const Run& run, const platform::PixelRect& clip);

    std::vector<Run> m_Runs;
};
