#pragma once

#include <cstdint>

class Form;

// The start-up title card, the main menu and the dialogue question page.

// How long the title card of the start-up stays when nobody skips it.
inline constexpr std::uint32_t kTitleCardMs = 4000;

// "copyrigh" entered: its time starts.
void StartTitleCard();
// "copyrigh" drawn: once its time is up the card ends as Esc would end it
// (command 0), once per showing.
void EndTitleCardInTime(Form& form);

// "start01" commands: UserID 0 (quit) asks dialogue 10 and lets the
// button's command run only when it is answered 1; UserID 1 calls the page
// browser (state 900) on its first page (0). Other UserIDs: true.
bool MainMenuCommand(std::int32_t userId);

// The page of a dialogue's "dlg_message" for the dialogue's state: below
// 30 the state's last digit; 30 and 31 page 0; 32 and 34 page 0 alone, page
// 2 for the host of a network game, 3 for a player who joined one; 33 and
// 35 page 1; 50 page 4; -1 (keep the page) for the others.
std::int32_t DialogueMessagePage(std::int32_t state, bool networkGame, bool host);
// "dlg05", "dlg06", "dlg09", "dlg10" entered: "dlg_message" shows the
// page of the dialogue manager's state, when the label has that page.
void ShowDialogueMessagePage(Form& form);
