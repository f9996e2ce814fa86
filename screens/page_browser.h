#pragma once

#include <cstdint>

class Control;
class Form;

// The page browser ("Explorer"): information pages, each a window loaded
// from "browser\Brows<nn>.dat" of the menu folder, stacked over the screen's
// own elements. The screen is called with its first page's number; a
// button with UserID n (on the screen or on a page, whose windows are
// named "Brows<nn>") opens page n on top of the page shown, 901 closes every
// page, 902 goes forward and 903 back in the stack.

inline constexpr std::int32_t kBrowserPages = 20;  // the stack holds at most this many pages
inline constexpr std::int32_t kBrowserCloseAll = 901, kBrowserForward = 902, kBrowserBack = 903;

void PageBrowserPrepare(Form& form);
bool PageBrowserCommand(Form& form, Control& control);

// The stack as it stands: its pages' numbers from the bottom, and the
// place of the page shown (-1: none).
struct PageStack {
    std::int32_t count = 0;
    std::int32_t current = -1;
    std::int32_t pages[kBrowserPages] = {};
};
const PageStack& BrowserPages();
