#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The steps of a headless play (torvane-play): what the player does, one
// after the other, as the game's frames go by.
namespace play {

// The menus' picture, in which a click is placed.
inline constexpr int kMenuWidth = 640;
inline constexpr int kMenuHeight = 480;
// The longest wait a step may ask for: the whole play's test-clock limit.
inline constexpr double kMaxWaitSeconds = 600.0;

struct Step {
    // Key: pressed and let go on the next frame; Hold and Let: a key goes
    // down and stays down until a later step lets it go.
    // Bike: the player's bike of the running race is logged.
    enum class Kind { Key, Wait, Click, Shot, Hold, Let, Signal, Await, Bike };
    Kind kind = Kind::Key;
    int key = 0;          // Key, Hold, Let: the game's key number (Escape 1, Enter 28, Up 200)
    double seconds = 0.0; // Wait: seconds of the test clock
    int x = 0, y = 0;     // Click: menu pixels
    std::string file;     // Signal: the file made; Await: the file waited for
    bool operator==(const Step&) const = default;
};

// The key number of a key by the name the controls screens show for it
// (input/binding_names.h: a letter, a digit, "F1", "SPACE", "HOME"; a
// letter also in lower case), or by the words the menus' own keys are
// known by, which those screens draw as glyphs or not at all: "Enter",
// "Esc", "Backspace", "Tab", "Up", "Down", "Left", "Right". Nothing for an unknown name.
std::optional<int> KeyNumberOfName(std::string_view name);

// One step: a key name, "hold:KEY" and "let:KEY" (the key held down until
// it is let go, as a rider holds the throttle), "wait:S" (S seconds,
// 0..600), "click:X,Y" (inside the 640 x 480 menu picture), "shot", "bike",
// "signal:FILE" (makes the file) or "await:FILE" (waits until the file
// exists: two plays meet so, a network game's host and its client). False,
// with the reason in `error`, for anything else.
bool ParseStep(std::string_view text, Step& step, std::string& error);

} // namespace play
