#pragma once

#include <cstdint>

// Command words of picture controls: the carousel file pairs a code with one
// of these words. Next and previous item are the two commands known.
constexpr std::int32_t kCommandNextItem = -2;     // "INC"
constexpr std::int32_t kCommandPreviousItem = -3; // "DEC"

// Returns the code of a command word (compared with case). A word that is not
// a command throws GameError "cmd not found".
std::int32_t FindCommandName(const char* word);
