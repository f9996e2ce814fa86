// Rich text: the mark-up tags and the layout of a page into runs.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "menu/command_button.h"
#include "menu/form.h"
#include "menu/label_ext.h"
#include "menu/menu_manager.h"
#include "platform/text.h"

namespace {

constexpr char kBadTag[] = "Keyword: bad sintax or < in text";
// What ends a word.
constexpr std::string_view kWordEnds = "\r\n \t<";
// The size a layout starts with: 10 points.
constexpr std::int32_t kStartSize = 100;

struct TagWord {
    const char* prefix;
    std::size_t compared;  // how many characters are compared
    std::int32_t code;
};
// In the order they are tried: a longer tag before the shorter one it
// starts with.
constexpr TagWord kTags[] = {
    {"<TABSET", 7, kTagTabSet},   {"<TAB>", 5, kTagTab},           {"\t", 1, kTagTabChar},
    {"<IMAGINET", 9, kTagSideImage}, {"<IMAGINE", 8, kTagImage}, {"<LINK", 5, kTagLink},
    {"<FONT:", 6, kTagFont},      {"<FONTDD:", 8, kTagGameFont},   {"<FONTSIZE", 9, kTagFontSize},
    {"<ALIGNMENT", 10, kTagAlignment}, {"<COLOR", 6, kTagColour}, {"<BOLD", 5, kTagBold},
    {"<ITALIC", 6, kTagItalic},   {"<NORMAL", 7, kTagNormal},      {"<UNDERLINE", 10, kTagUnderline},
};

std::size_t TagWordLength(std::int32_t code)
{
    for (const TagWord& tag : kTags)
        if (tag.code == code)
            return std::strlen(tag.prefix);
    return 0;
}

// The font a layout measures with at a time.
struct LayoutFont {
    std::int32_t kind = kFontWindows;
    std::string name;
    std::int32_t size = kStartSize;
    std::int32_t style = 0;
    std::int32_t params[7] = {};
    const platform::TextFace* face = nullptr;
    lib2d_font* game = nullptr;
    std::int32_t row_height = 0;
    std::int32_t average_width = 0;

    std::int32_t Measure(std::string_view text) const
    {
        if (face)
            return face->measure(text);
        if (game)
            return game->text_width(std::string(text).c_str(), params[5], params[6]);
        return 0;
    }
};

// One layout pass over a page: the pen, the line's edges, the font, the
// colour and alignment, the tab stops and the indents a side picture makes.
class RichTextLayout {
public:
    RichTextLayout(LabelExt& label, std::int32_t width, std::vector<LabelExt::Run>& runs)
        : label_(label), runs_(runs), width_(width), left_(label.GetLeft()), top_(label.GetTop())
    {
        manager_ = label.GetMenuManager() ? label.GetMenuManager() : CurrentMenuManager();
        if (!manager_)
            throw GameError("no menu manager for the font");
        // A label without a font of its own lays its text out in a face of
        // its font name.
        font_.kind = label.m_nFontKind == kFontGame ? kFontGame : kFontWindows;
        font_.name = label.m_szFontName;
        std::copy(std::begin(label.m_GameFontParams), std::end(label.m_GameFontParams), font_.params);
        colour_ = label.m_ForeColor;
        logical_ = label.m_nFontLogical;
        MakeFont();
        x_ = run_x_ = left_;
        y_ = top_;
        content_bottom_ = top_;
        right_edge_ = left_ + width_;
    }

    void Run(const std::string& text)
    {
        text_ = text;
        while (pos_ < text_.size() && text_[pos_] != 0) {
            const char c = text_[pos_];
            if (c == '\r' || c == '\n')
                EndLine(true);
            else if (c == '<' || c == '\t')
                Tag();
            else
                Word();
        }
        EndRun(false);
        if (line_used_)
            NewLine();
        content_bottom_ = std::max(content_bottom_, y_);
    }

    std::int32_t ContentHeight() const { return content_bottom_ - top_; }

private:
    void MakeFont()
    {
        font_.face = nullptr;
        font_.game = nullptr;
        if (font_.kind == kFontGame) {
            font_.game = manager_->GetFont(font_.name.c_str(), font_.params);
            font_.row_height = font_.params[1];
            font_.average_width = font_.Measure("O");
        } else {
            font_.face = manager_->GetWinFont(font_.name.c_str(), font_.size, 0, font_.style, logical_);
            font_.row_height = font_.face->cell_height();
            font_.average_width = font_.face->average_char_width();
        }
    }

    std::int32_t LineStart() const { return left_ + left_indent_; }

    // Stores the text since the run began as a run and moves the pen past
    // it. A justified run is stretched only when it fills its line up to a
    // wrap; a run that a tag or a line end closes is drawn left-aligned.
    void EndRun(bool wrapped)
    {
        if (pos_ > run_start_) {
            LabelExt::Run run;
            run.text = text_.substr(run_start_, pos_ - run_start_);
            run.x = run_x_;
            run.y = y_;
            run.available = right_edge_ - run_x_;
            run.font = font_.name.substr(0, LabelExt::kFontNameMax);
            run.size = font_.size;
            run.alignment = alignment_ == kAlignJustified && !wrapped ? kAlignLeft : alignment_;
            run.colour = colour_;
            run.font_kind = font_.kind;
            std::copy(std::begin(font_.params), std::end(font_.params), run.game_font);
            x_ = run_x_ + font_.Measure(run.text);
            runs_.push_back(std::move(run));
            line_used_ = true;
        }
        run_start_ = pos_;
        run_x_ = x_;
    }

    // The pen to the start of the next line.
    void NewLine()
    {
        if (side_rows_ > 0 && --side_rows_ == 0)
            left_indent_ = right_indent_ = 0;
        y_ += font_.row_height;
        StartLine();
    }
    // The pen to the start of the line at y, between the indents.
    void StartLine()
    {
        x_ = LineStart();
        right_edge_ = left_ + width_ - right_indent_;
        next_tab_ = 0;
        line_used_ = false;
        run_start_ = pos_;
        run_x_ = x_;
    }

    // A wrap (one blank after it skipped) or a line end (its CR LF, CR or
    // LF skipped; the paragraph's alignment starts again as justified).
    void EndLine(bool paragraph_end)
    {
        EndRun(!paragraph_end);
        if (paragraph_end) {
            if (text_[pos_] == '\r')
                ++pos_;
            if (pos_ < text_.size() && text_[pos_] == '\n')
                ++pos_;
            alignment_ = kAlignJustified;
        } else if (pos_ < text_.size() && text_[pos_] == ' ') {
            ++pos_;
        }
        NewLine();
    }

    // A word (with the blanks before it) joins the run while the run still
    // fits the line; otherwise the line ends before it. A word wider than a
    // whole line joins its empty line anyway, cut where the line is full,
    // and goes on in the next line.
    void Word()
    {
        std::size_t end = pos_;
        while (end < text_.size() && text_[end] == ' ')
            ++end;
        while (end < text_.size() && text_[end] != 0 && kWordEnds.find(text_[end]) == std::string_view::npos)
            ++end;
        const std::string_view text(text_);
        if (run_x_ + font_.Measure(text.substr(run_start_, end - run_start_)) <= right_edge_) {
            pos_ = end;
            return;
        }
        if (line_used_ || pos_ > run_start_ || run_x_ != LineStart()) {
            EndLine(false);
            return;
        }
        std::size_t cut = pos_ + 1;
        while (cut < end && run_x_ + font_.Measure(text.substr(run_start_, cut + 1 - run_start_)) <= right_edge_)
            ++cut;
        pos_ = cut;
        EndLine(false);
    }

    void Tag()
    {
        const std::int32_t code = LabelExt::TagCode(text_.c_str() + pos_);
        if (code == kTagUnknown)
            throw GameError(kBadTag);
        if (code == kTagTabChar) {
            EndRun(false);
            run_start_ = ++pos_;
            Tab();
            return;
        }
        const std::size_t close = text_.find('>', pos_);
        if (close == std::string::npos)
            throw GameError(kBadTag);
        const std::size_t args_start = pos_ + TagWordLength(code);
        const std::string args = args_start < close ? text_.substr(args_start, close - args_start) : std::string();
        switch (code) {
        case kTagTabSet: {
            std::int32_t stops[kMaxStops] = {};
            const int read = std::sscanf(args.c_str(), "%d%d%d%d%d", &stops[0], &stops[1], &stops[2], &stops[3],
                                         &stops[4]);
            if (read < 1)
                throw GameError(kBadTag);
            std::copy(stops, stops + read, tab_stops_);
            tab_count_ = read;
            Skip(close);
            break;
        }
        case kTagTab:
            EndRun(false);
            Skip(close);
            Tab();
            break;
        case kTagSideImage:
        case kTagImage:
            EndRun(false);
            Skip(close);
            Picture(code, args);
            break;
        case kTagLink:
            EndRun(false);
            Skip(close);
            Link(args);
            break;
        case kTagFont:
        case kTagGameFont: {
            char name[LabelExt::kFontNameMax + 1] = {};
            if (std::sscanf(args.c_str(), "%39s", name) != 1)
                throw GameError(kBadTag);
            EndRun(false);
            Skip(close);
            font_.name = name;
            if (code == kTagFont) {
                std::replace(font_.name.begin(), font_.name.end(), '_', ' ');
                font_.kind = kFontWindows;
            } else {
                ReadGameFontParams(name, font_.params, 7);
                font_.kind = kFontGame;
            }
            MakeFont();
            break;
        }
        case kTagFontSize: {
            int points = 0;
            if (std::sscanf(args.c_str(), "%d", &points) != 1)
                throw GameError(kBadTag);
            // The text before a size change keeps the size it was measured in.
            EndRun(false);
            Skip(close);
            font_.size = static_cast<std::int32_t>(std::clamp<long long>(10LL * points, -20000, 20000));
            MakeFont();
            break;
        }
        case kTagAlignment: {
            char word[16] = {};
            std::sscanf(args.c_str(), "%15s", word);
            alignment_ = std::strncmp(word, "LEFT", 4) == 0    ? kAlignLeft
                         : std::strncmp(word, "RIGHT", 4) == 0 ? kAlignRight
                         : std::strncmp(word, "CENTER", 4) == 0 ? kAlignCenter
                                                                : kAlignJustified;
            Skip(close);
            break;
        }
        case kTagColour: {
            int r = 0, g = 0, b = 0;
            if (std::sscanf(args.c_str(), "%d%d%d", &r, &g, &b) != 3)
                throw GameError(kBadTag);
            EndRun(false);
            Skip(close);
            colour_ = (static_cast<std::uint32_t>(r) & 0xFF) | (static_cast<std::uint32_t>(g) & 0xFF) << 8 |
                      (static_cast<std::uint32_t>(b) & 0xFF) << 16;
            break;
        }
        default:
            // The styles change the font the layout measures with.
            Skip(close);
            font_.style = code == kTagBold ? font_.style | 1
                          : code == kTagItalic ? font_.style | 2
                          : code == kTagUnderline ? font_.style | 4
                                                  : 0;
            MakeFont();
            break;
        }
    }

    // Past a tag: the next run starts after its '>'. The text before the
    // tag stays in the run when the tag does not end it.
    void Skip(std::size_t close)
    {
        if (pos_ > run_start_) {
            // The run goes on after the tag: the tag's text is taken out.
            text_.erase(pos_, close + 1 - pos_);
        } else {
            pos_ = close + 1;
            run_start_ = pos_;
        }
    }

    // The pen to the next tab stop; past the last stop (or without any)
    // it stays where it is.
    void Tab()
    {
        EndRun(false);
        if (next_tab_ < tab_count_) {
            x_ = LineStart() + tab_stops_[next_tab_];
            run_x_ = x_;
            line_used_ = true;
        }
        ++next_tab_;
    }

    Control* Named(const std::string& args, std::int32_t* align, std::int32_t* offset, const char* missing)
    {
        char name[LabelExt::kElementNameMax + 1] = {};
        int a = 0, o = 0;
        const int wanted = align ? 3 : 1;
        if (std::sscanf(args.c_str(), "%31s%d%d", name, &a, &o) < wanted)
            throw GameError(kBadTag);
        Control* control = label_.m_pOwner ? label_.m_pOwner->FindElement(name) : nullptr;
        if (!control) {
            if (missing)
                throw GameError(missing);
            ThrowGameError("%s", name);
        }
        if (align) {
            *align = a;
            *offset = o;
        }
        return control;
    }

    static void Place(Control& control, std::int32_t x, std::int32_t y)
    {
        control.m_fLeft = control.m_fStartLeft = control.m_fTargetLeft = static_cast<float>(x);
        control.m_fTop = control.m_fStartTop = control.m_fTargetTop = static_cast<float>(y);
    }

    void Picture(std::int32_t code, const std::string& args)
    {
        std::int32_t align = 0, offset = 0;
        Control& picture = *Named(args, &align, &offset, "Manca l'immagine");
        const std::int32_t width = picture.m_nWidth, height = picture.m_nHeight;
        // Rows of the picture's height; a row height of 0 (a font of no
        // height) counts the picture as one row.
        const std::int32_t rows = font_.row_height > 0 ? height / font_.row_height : 1;
        if (code == kTagSideImage) {
            const std::int32_t indent = offset + 3 * font_.average_width + width;
            if (align == -1) {
                Place(picture, left_ + offset, y_);
                left_indent_ = indent;
            } else {
                Place(picture, right_edge_ - width - offset - font_.average_width, y_);
                right_indent_ = indent;
            }
            // At least this line goes round the picture.
            side_rows_ = std::max(rows, 1);
            right_edge_ = left_ + width_ - right_indent_;
            if (x_ < LineStart()) {
                x_ = run_x_ = LineStart();
            }
            content_bottom_ = std::max(content_bottom_, y_ + height);
            return;
        }
        std::int32_t x = 0;
        switch (align) {
        case -1: x = left_ + offset; break;
        case 0: x = left_ + (width_ - width) / 2; break;
        case 1: x = right_edge_ - width - offset; break;
        default: throw GameError("Allineamento x immagine errato");
        }
        const std::int32_t row = std::max(font_.row_height, 0);
        Place(picture, x, y_ + row);
        content_bottom_ = std::max(content_bottom_, y_ + row + height);
        y_ += font_.row_height > 0 ? (rows + 1) * font_.row_height : height;
        StartLine();
    }

    void Link(const std::string& args)
    {
        Control& control = *Named(args, nullptr, nullptr, nullptr);
        auto* button = dynamic_cast<Label*>(&control);
        if (!button)
            ThrowGameError("%s", control.Name());
        const Label::Page* page = button->CurrentPageRecord();
        const std::int32_t width = page ? button->TextExtent(page->text) : 0;
        if (line_used_ && x_ + width > right_edge_)
            NewLine();
        Place(*button, x_, y_);
        button->m_nWidth = width;
        button->m_nHeight = font_.row_height;
        button->m_nAlignment = kAlignLeft;
        x_ += width;
        run_x_ = x_;
        line_used_ = true;
    }

    static constexpr std::int32_t kMaxStops = LabelExt::kTabStops;

    LabelExt& label_;
    std::vector<LabelExt::Run>& runs_;
    MenuManager* manager_ = nullptr;
    const std::int32_t width_, left_, top_;
    std::string text_;
    std::size_t pos_ = 0, run_start_ = 0;
    LayoutFont font_;
    std::int32_t logical_ = 1;
    std::uint32_t colour_ = 0xFFFFFF;
    std::int32_t alignment_ = kAlignJustified;
    std::int32_t x_ = 0, y_ = 0, run_x_ = 0, right_edge_ = 0;
    std::int32_t left_indent_ = 0, right_indent_ = 0, side_rows_ = 0;
    std::int32_t tab_stops_[kMaxStops] = {};
    std::int32_t tab_count_ = 0, next_tab_ = 0;
    bool line_used_ = false;
    std::int32_t content_bottom_ = 0;
};

} // namespace

std::int32_t LabelExt::TagCode(const char* text)
{
    if (!text)
        return kTagUnknown;
    for (const TagWord& tag : kTags)
        if (std::strncmp(text, tag.prefix, tag.compared) == 0)
            return tag.code;
    return kTagUnknown;
}

void LabelExt::Load(FormParser& parser, const char* name)
{
    Label::Load(parser, name);
    for (Page& page : m_Pages)
        page.rows.clear();
    m_nVisibleRows = 0;
    m_nFirstRow = 0;
}

void LabelExt::Layout(std::int32_t width)
{
    m_Runs.clear();
    // A rich text is drawn by its runs, never by rows (a new text makes rows).
    if (m_nCurrentPage >= 0 && m_nCurrentPage < PageCount())
        m_Pages[static_cast<std::size_t>(m_nCurrentPage)].rows.clear();
    const Page* page = CurrentPageRecord();
    if (!page || page->text.empty()) {
        m_nVisibleRows = 0;
        return;
    }
    std::vector<Run> runs;
    RichTextLayout layout(*this, width, runs);
    layout.Run(page->text);
    m_Runs = std::move(runs);
    m_nVisibleRows = static_cast<std::int32_t>(m_Runs.size());
    m_nHeight = layout.ContentHeight();
    Invalidate();
}

void LabelExt::MoveRuns(std::int32_t dx, std::int32_t dy)
{
    for (Run& run : m_Runs) {
        run.x += dx;
        run.y += dy;
    }
    Invalidate();
}
