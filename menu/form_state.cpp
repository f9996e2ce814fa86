// A screen's state files: the record with its buttons, and the state of
// its elements.
#include <cstring>

#include "app/game_error.h"
#include "menu/form.h"
#include "menu/state_io.h"
#include "platform/file.h"

namespace {

// A pointer slot of the stored record: four zero bytes, never read back.
void WritePointerSlot(platform::File& file)
{
    WriteStateWord(file, 0);
}

void SkipPointerSlot(platform::File& file)
{
    (void)ReadStateWord(file);
}

} // namespace

void Form::SaveState(platform::File& file) const
{
    WriteStateWord(file, m_nId);
    WriteStateBytes(file, m_szName, sizeof m_szName);
    WriteStateWord(file, m_nFlags);
    WriteStateWord(file, ElementCount());
    WritePointerSlot(file);  // the element array
    WritePointerSlot(file);  // the owner
    WriteStateWord(file, m_nFocus);
    WriteStateWord(file, m_nLastFocused);
    WriteStateWord(file, m_nRedraw);
    WriteStateWord(file, static_cast<std::int32_t>(m_HotKeys.size()));
    WritePointerSlot(file);  // the hot-key array
    WriteStateWord(file, m_nKeyLock);
    WriteStateWord(file, m_nScaleTop);
    WriteStateWord(file, m_nScaleLeft);
    WriteStateWord(file, m_nScaleWidth);
    WriteStateWord(file, m_nScaleHeight);
    WriteStateWord(file, m_nPendingState);
    WriteStateWord(file, m_nMusic);
    WritePointerSlot(file);  // the handlers' pointer
    WriteStateWord(file, m_nLastCommand);
    for (const std::unique_ptr<Control>& element : m_Elements) {
        WriteStateWord(file, element->m_nType);
        element->SaveElementData(file);
    }
    // A hot key's control is stored by its element number, so that the pair
    // finds its control again.
    for (const HotKey& hot : m_HotKeys) {
        WriteStateWord(file, hot.key);
        WriteStateWord(file, hot.control->m_nElement);
    }
}

void Form::LoadState(platform::File& file)
{
    Clear();
    m_nId = ReadStateWord(file);
    char name[sizeof m_szName];
    ReadStateBytes(file, name, sizeof name);
    name[sizeof name - 1] = 0;
    SetName(name);
    m_nFlags = ReadStateWord(file);
    const std::int32_t count = ReadStateWord(file);
    SkipPointerSlot(file);
    SkipPointerSlot(file);
    const std::int32_t focus = ReadStateWord(file);
    const std::int32_t last_focused = ReadStateWord(file);
    m_nRedraw = ReadStateWord(file);
    const std::int32_t hot_keys = ReadStateWord(file);
    SkipPointerSlot(file);
    m_nKeyLock = ReadStateWord(file);
    m_nScaleTop = ReadStateWord(file);
    m_nScaleLeft = ReadStateWord(file);
    m_nScaleWidth = ReadStateWord(file);
    m_nScaleHeight = ReadStateWord(file);
    m_nPendingState = ReadStateWord(file);
    m_nMusic = ReadStateWord(file);
    SkipPointerSlot(file);
    m_nLastCommand = ReadStateWord(file);
    // Every element and pair takes at least 4 bytes: a count the file cannot
    // hold is refused before anything is made.
    const std::int64_t left = file.size() - file.tell();
    if (count < 0 || hot_keys < 0 || static_cast<std::int64_t>(count) * 4 + static_cast<std::int64_t>(hot_keys) * 8 > left)
        throw GameError("menu state file too short");
    try {
        for (std::int32_t i = 0; i < count; ++i) {
            const std::int32_t type = ReadStateWord(file);
            if (type != kControlCommandButton)
                throw GameError("undef type");
            AddElement(type, nullptr, "")->LoadElementData(file);
        }
        for (std::int32_t i = 0; i < hot_keys; ++i) {
            const std::int32_t key = ReadStateWord(file);
            if (Control* control = Element(ReadStateWord(file)))
                addhotkey(key, control);
        }
    } catch (...) {
        Clear();
        throw;
    }
    m_nFocus = focus < ElementCount() ? focus : kFocusNothing;
    m_nLastFocused = last_focused < ElementCount() ? last_focused : kFocusNone;
}

void Form::SaveElementStates(platform::File& file) const
{
    WriteStateWord(file, m_nId);
    if (m_nId < 0)
        return;
    WriteStateWord(file, m_nFocus);
    for (const std::unique_ptr<Control>& element : m_Elements)
        element->SaveState(file);
}

void Form::LoadElementStates(platform::File& file)
{
    const std::int32_t id = ReadStateWord(file);
    if (id < 0)
        return;
    // The states of another screen's elements would land in the wrong
    // controls.
    if (id != m_nId)
        throw GameError("menu state file of another screen");
    const std::int32_t focus = ReadStateWord(file);
    m_nFocus = focus < ElementCount() ? focus : kFocusNothing;
    for (const std::unique_ptr<Control>& element : m_Elements)
        element->LoadState(file);
}
