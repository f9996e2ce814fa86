#include "menu/anim_strip.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "app/game_error.h"
#include "app/mixer.h"
#include "engine/render/lib2d_picture.h"
#include "menu/menu_manager.h"
#include "menu/state_io.h"
#include "platform/directory_listing.h"
#include "platform/path_resolver.h"

namespace {

constexpr std::string_view kFramePattern = "*.pcx";

// Whether a strip name is a prefix of numbered frames rather than one
// picture: its last path component has no extension. (".\menu\btn" and
// "sprites\btn" are prefixes; "btn.pcx" and ".\menu\btn.pcx" are pictures.)
bool NamesFramePrefix(std::string_view name)
{
    const std::size_t slash = name.find_last_of("\\/");
    const std::string_view last = slash == std::string_view::npos ? name : name.substr(slash + 1);
    return last.find('.') == std::string_view::npos;
}

// The folder part of a program path, separator included ("" for none).
std::string FolderOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

// The frames found in the main archive: the picture itself, or the entries
// "<prefix>0.pcx" ... "<prefix>9.pcx", else "<prefix>00.pcx" ...
// "<prefix>99.pcx", each run ending at the first number missing.
std::vector<std::string> ArchiveFrames(const std::string& pattern, bool numbered)
{
    const ArchivePath where = SplitArchivePath(pattern);
    mixer archive;
    if (archive.open_plain(where.archive.c_str(), "rb") != 0)
        throw GameError("Main mixer file not found");
    const auto has_entry = [&archive](const std::string& path) {
        return archive.find_entry_plain(SplitArchivePath(path).entry.c_str()) == 0;
    };
    std::vector<std::string> frames;
    if (!numbered) {
        if (has_entry(pattern))
            frames.push_back(pattern);
    } else {
        const std::string prefix = pattern.substr(0, pattern.size() - kFramePattern.size());
        // One digit for up to ten frames, else two for up to a hundred.
        for (const bool two_digits : {false, true}) {
            for (int n = 0; n < (two_digits ? 100 : 10); ++n) {
                char number[8];
                std::snprintf(number, sizeof number, two_digits ? "%02d" : "%1d", n);
                std::string name = prefix + number + ".pcx";
                if (!has_entry(name))
                    break;
                frames.push_back(std::move(name));
            }
            if (!frames.empty())
                break;
        }
    }
    archive.close();
    return frames;
}

} // namespace

void AnimStrip::Load(const char* name, std::int32_t frame_width, std::int32_t frame_height)
{
    const std::string given = name ? name : "";
    const bool numbered = NamesFramePrefix(given);
    const std::string pattern = numbered ? given + std::string(kFramePattern) : given;

    std::vector<std::string> names;
    try {
        const std::string folder = FolderOf(pattern);
        for (const std::string& file : platform::list_files(pattern, platform::ListOrder::ByName))
            names.push_back(folder + file);
        if (names.empty())
            names = ArchiveFrames(pattern, numbered);
        if (names.empty())
            ThrowGameError("frame not found %s", given.c_str());
        std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return platform::compare_ignoring_case(a, b) < 0;
        });

        MenuManager* manager = CurrentMenuManager();
        if (!manager)
            throw GameError("no menu manager for the sprites");
        std::vector<lib2d_picture*> frames;
        frames.reserve(names.size());
        for (const std::string& frame : names)
            frames.push_back(manager->GetSprite(frame.c_str(), frame_width, frame_height));
        m_Frames = std::move(frames);
    } catch (const std::bad_alloc&) {
        throw GameError("out of memory");
    }
    m_nFrameWidth = frame_width;
    m_nFrameHeight = frame_height;
    m_nCurrent = 0;
}

void AnimStrip::Free()
{
    m_Frames.clear();
    m_Frames.shrink_to_fit();
}

std::int32_t AnimStrip::ShownFrame() const
{
    return m_nCurrent + (m_bSelected ? Count() / 2 : 0);
}

void AnimStrip::Draw(std::int32_t x, std::int32_t y) const
{
    const std::int32_t shown = ShownFrame();
    // A frame set before the strip was loaded may lie past the frames.
    if (shown < 0 || shown >= Count())
        return;
    m_Frames[static_cast<std::size_t>(shown)]->draw(x, y, 0, 0);
}

std::int32_t AnimStrip::CycleLength() const
{
    return m_bTwoHalves ? Count() / 2 : Count();
}

void AnimStrip::NextFrame()
{
    const std::int32_t length = CycleLength();
    if (length < 1)
        return;
    m_nCurrent = m_nCurrent + 1 >= length ? 0 : m_nCurrent + 1;
}

void AnimStrip::PrevFrame()
{
    const std::int32_t length = CycleLength();
    if (length < 1)
        return;
    m_nCurrent = m_nCurrent - 1 < 0 ? length - 1 : m_nCurrent - 1;
}

void AnimStrip::SetState(std::int32_t frame)
{
    if (!m_Frames.empty() && (frame < 0 || frame >= Count()))
        throw GameError("out of range in SetState");
    m_nCurrent = frame;
}

void AnimStrip::SetFrameClamped(std::int32_t frame)
{
    if (m_Frames.empty())
        return;
    SetState(std::clamp(frame, 0, Count() - 1));
}

void AnimStrip::SaveState(platform::File& file) const
{
    WriteStateWord(file, m_nCurrent);
}

void AnimStrip::LoadState(platform::File& file)
{
    SetState(ReadStateWord(file));
}

void AnimStrip::DrawBackground(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    for (lib2d_picture* frame : m_Frames)
        frame->set_rect(left, right, top, bottom);
}

std::int32_t AnimStrip::VisibleRight() const
{
    std::int32_t right = 0;
    for (const lib2d_picture* picture : m_Frames)
        for (const lib2d_picture::frame& frame : picture->frames)
            if (!frame.pixels.empty())
                right = std::max(right, frame.trim_left + frame.width);
    return right;
}
