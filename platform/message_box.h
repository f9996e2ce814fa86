#pragma once

#include <string>
#include <string_view>
#include <vector>

// Message boxes: shown through SDL when there is a display, always written to
// stderr, and never blocking when there is no display. Tests switch on the
// recorder, which keeps every box and shows none.
namespace platform {

// Style bits and results, with the values the game's code tests.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONHAND = 0x10;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;
inline constexpr unsigned MB_ICONASTERISK = 0x40;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Shows the box and returns the button chosen. Without a display (or while
// recording) it returns the box's default answer at once: IDOK for MB_OK and
// MB_OKCANCEL, IDYES for MB_YESNO.
int message_box(std::string_view text, std::string_view caption, unsigned style);

struct ShownMessageBox {
    std::string text;
    std::string caption;
    unsigned style = 0;
};

void set_message_box_recording(bool on);
std::vector<ShownMessageBox> recorded_message_boxes();
void clear_recorded_message_boxes();

} // namespace platform
