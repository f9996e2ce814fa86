#pragma once

#include <stdexcept>
#include <string>

// The one exception type of the game's loaders and menu code. A failure is
// thrown as a message text; whoever catches it can show `what()` to the
// player (loading a race shows it in a message box captioned "Error").
class GameError : public std::runtime_error {
public:
    explicit GameError(const std::string& message) : std::runtime_error(message) {}
    explicit GameError(const char* message) : std::runtime_error(message) {}
};

// Formats the message like printf and throws it as a GameError.
[[noreturn]] void ThrowGameError(const char* format, ...) __attribute__((format(printf, 1, 2)));
