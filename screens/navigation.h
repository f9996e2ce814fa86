#pragma once

#include <cstdint>

class MenuManager;

// The navigation steps every screen handler shares, on the current menu
// manager. States are the menu files' state numbers.

// Goes to a state: the next state becomes `state` and the current one the
// return state. False, the result a command handler then gives, so that the
// pressed button's own command does not run on top of it.
bool GoToState(std::int32_t state);

// Calls the screen of a state and comes back: as GoToState, and the called
// screen's next command 0 returns to the current state; `argument` is left
// on the called screen's record for its handler. A state without a screen
// is refused with a message (nothing changes). False, as GoToState.
bool CallScreen(std::int32_t state, std::int32_t argument);

// Asks a question: runs the dialogue set "menudial" from `state` and gives
// its answer (its last command: 1 yes, 0 no or cancelled).
std::int32_t AskDialogue(std::int32_t state);
// True when the dialogue of `state` is answered 1.
bool Confirmed(std::int32_t state);

// What runs a dialogue set: the menu run loop's RunScreen. A test puts its
// own answerer in (null: RunScreen again).
using DialogueRunner = std::int32_t (*)(const char* set, std::int32_t state);
void SetDialogueRunner(DialogueRunner runner);

// The current menu manager; throws when there is none.
MenuManager& NavigationManager();
