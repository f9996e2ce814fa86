#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Form;
class Label;

// The labels that show live data while they are drawn (a label with a text
// variable asks for its text every time it paints):
// - "zun01": the label whose variable is 2 shows "PROVA";
// - "Arcade01": the championship's player name;
// - "Game03a", "Game03b", "Game03c", "game07": "lbl_position_data" shows
//   the player's place in the session ("%i" from 1, "-" without a time),
//   refreshed at most every kPlaceRefreshMs (the running session's results
//   are filed into the championship first); every other live label there
//   shows the time left of the one-hour session ("%02d:%02d:%02d", "-:-:-"
//   while no race runs).
// Each is true when `buffer` holds a new text.
bool TestLiveLabel(Form& form, Label& label, char* buffer, std::size_t capacity);
bool PlayerNameLiveLabel(Form& form, Label& label, char* buffer, std::size_t capacity);
bool SessionLiveLabel(Form& form, Label& label, char* buffer, std::size_t capacity);

inline constexpr std::uint32_t kPlaceRefreshMs = 30000;

// The player's place in the current session as those labels show it: the
// running timed session's results filed into the championship, the
// session ranked, then "%i" from 1, or "-" without a time.
std::string PlayerSessionPlace();

// Forgets the last refresh of the player's place, so that the next drawing
// refreshes it (a new session; the tests).
void ResetLiveLabels();
