// Loading a label from its block of the screen file.
#include <algorithm>
#include <cstdio>
#include <string>

#include "app/form_parser.h"
#include "app/game_error.h"
#include "app/m_cparse.h"
#include "menu/label.h"
#include "platform/directory_listing.h"

namespace {

// Page ids are the text id with two digits ("help00" .. "help99").
constexpr std::int32_t kMaxPages = 100;
// The sample text a live label holds until its variable first gives one.
constexpr char kLiveSample[] = "test";
constexpr std::int32_t kLiveSampleLength = sizeof kLiveSample - 1;

std::int32_t AlignmentFromName(const char* word)
{
    static const struct {
        const char* name;
        std::int32_t align;
    } kNames[] = {{"Left", kAlignLeft}, {"Right", kAlignRight}, {"Center", kAlignCenter}, {"Justified", kAlignJustified}};
    for (const auto& entry : kNames)
        if (platform::equals_ignoring_case(word, entry.name))
            return entry.align;
    return kAlignLeft;
}

} // namespace

void Label::Load(FormParser& parser, const char* name)
{
    FontControl::Load(parser, name);
    const std::int64_t block_start = parser.MarkedPos();

    char word[kTokenCapacity];
    if (parser.GetString("Alignment", word, sizeof word))
        m_nAlignment = AlignmentFromName(word);
    else
        parser.RestorePos();
    if (!parser.GetInt("BackStyle", m_nBackStyle))
        parser.RestorePos();

    // -1 asks for the room the text itself takes.
    std::int32_t edit_capacity = -1;
    if (GetIntAnywhere(parser, "Editable", edit_capacity)) {
        if (edit_capacity < -1)
            ThrowGameError("Editable capacity below -1 in %s", Name());
        m_bEditable = 1;
        m_nSelectedRow = 0;
    }

    std::int32_t count = 1;
    if (!parser.GetInt("TextCount", count)) {
        parser.RestorePos();
        count = 1;
    }
    if (count < 1)
        ThrowGameError("TextCount below 1 in %s", Name());
    count = std::min(count, kMaxPages);
    m_Pages.assign(static_cast<std::size_t>(count), Page{});
    m_nCurrentPage = 0;

    char file[kTokenCapacity];
    if (parser.GetString("TextFile", file, sizeof file)) {
        if (m_bEditable)
            m_Pages[0].capacity = edit_capacity;
        char id[kTokenCapacity];
        if (!parser.GetString("TextID", id, sizeof id))
            throw GameError("textid not found");
        for (std::int32_t i = 0; i < count; ++i) {
            std::string page_id = id;
            if (count > 1) {
                char digits[8];
                std::snprintf(digits, sizeof digits, "%02i", static_cast<int>(i));
                page_id += digits;
            }
            Page& page = m_Pages[static_cast<std::size_t>(i)];
            loadtext(file, page_id.c_str(), page.text, page.capacity);
            m_nCurrentPage = i;
            SetWidth(m_nWidth);
        }
        // The label shows page 0 with as many rows as page 0 has, not as
        // the page read last has.
        m_nCurrentPage = 0;
        FitVisibleRows();
    } else {
        parser.RestorePos();
    }

    if (GetStringAnywhere(parser, "TextVar", m_szTextVar, sizeof m_szTextVar)) {
        std::int32_t length = 0;
        if (!GetIntAnywhere(parser, "TextVarLen", length))
            throw GameError("textvarlen not found");
        // The sample text always fits, whatever length the file asks for.
        Page& page = m_Pages[static_cast<std::size_t>(m_nCurrentPage)];
        page.capacity = std::max(length, kLiveSampleLength);
        page.text = kLiveSample;
        SetWidth(m_nWidth);
    } else {
        m_szTextVar[0] = 0;
    }

    parser.Seek(block_start);
    parser.MarkPos();
}
