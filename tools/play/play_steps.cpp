#include "tools/play/play_steps.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>
#include <system_error>
#include <utility>

#include "input/binding_names.h"

namespace play {

namespace {

// The keys the menus act on whose names on the controls screens are glyphs
// (the arrows) or empty (Enter, Esc, Tab), by their words.
struct KeyWord {
    std::string_view name;
    int key;
};
constexpr std::array kKeyWords = {
    KeyWord{"Esc", 1},     KeyWord{"Backspace", 14}, KeyWord{"Tab", 15},   KeyWord{"Enter", 28},  KeyWord{"Up", 200},
    KeyWord{"Left", 203},  KeyWord{"Right", 205}, KeyWord{"Down", 208},
};

// Key numbers run from 1 to 255 (extended keys have 0x80 added).
constexpr int kLastKeyNumber = 255;

bool ParseNumber(std::string_view text, int& out)
{
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty();
}

bool ParseSeconds(std::string_view text, double& out)
{
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && p == end && !text.empty() && std::isfinite(out);
}

} // namespace

std::optional<int> KeyNumberOfName(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    for (const KeyWord& word : kKeyWords)
        if (word.name == name)
            return word.key;
    std::string shown(name);
    if (shown.size() == 1)
        shown[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(shown[0])));
    // The first key of a name wins: the main keyboard's digits before the
    // numeric pad's.
    for (int key = 1; key <= kLastKeyNumber; ++key)
        if (GetKeyName(key) == shown)
            return key;
    return std::nullopt;
}

bool ParseStep(std::string_view text, Step& step, std::string& error)
{
    step = Step{};
    if (text == "shot") {
        step.kind = Step::Kind::Shot;
        return true;
    }
    if (text == "bike") {
        step.kind = Step::Kind::Bike;
        return true;
    }
    if (text.starts_with("wait:")) {
        step.kind = Step::Kind::Wait;
        if (!ParseSeconds(text.substr(5), step.seconds) || step.seconds < 0.0 || step.seconds > kMaxWaitSeconds) {
            error = "a wait is 0 to 600 seconds: \"" + std::string(text) + "\"";
            return false;
        }
        return true;
    }
    for (const auto& [prefix, kind] : {std::pair{"signal:", Step::Kind::Signal}, {"await:", Step::Kind::Await}})
        if (text.starts_with(prefix)) {
            step.kind = kind;
            step.file = std::string(text.substr(std::string_view(prefix).size()));
            if (step.file.empty()) {
                error = "a signal or await step names a file: \"" + std::string(text) + "\"";
                return false;
            }
            return true;
        }
    for (const auto& [prefix, kind] : {std::pair{std::string_view("hold:"), Step::Kind::Hold},
                                       std::pair{std::string_view("let:"), Step::Kind::Let}})
        if (text.starts_with(prefix)) {
            const std::optional<int> key = KeyNumberOfName(text.substr(prefix.size()));
            if (!key) {
                error = "no key is named \"" + std::string(text.substr(prefix.size())) + "\" in \"" +
                        std::string(text) + "\"";
                return false;
            }
            step.kind = kind;
            step.key = *key;
            return true;
        }
    if (text.starts_with("click:")) {
        step.kind = Step::Kind::Click;
        const std::string_view at = text.substr(6);
        const std::size_t comma = at.find(',');
        if (comma == std::string_view::npos || !ParseNumber(at.substr(0, comma), step.x) ||
            !ParseNumber(at.substr(comma + 1), step.y) || step.x < 0 || step.x >= kMenuWidth || step.y < 0 ||
            step.y >= kMenuHeight) {
            error = "a click is at X,Y inside the 640 x 480 menu: \"" + std::string(text) + "\"";
            return false;
        }
        return true;
    }
    if (const std::optional<int> key = KeyNumberOfName(text)) {
        step.kind = Step::Kind::Key;
        step.key = *key;
        return true;
    }
    error = "no key is named \"" + std::string(text) + "\" (a step is a key name, hold:KEY, let:KEY, wait:S, click:X,Y, shot, bike, signal:FILE or await:FILE)";
    return false;
}

} // namespace play
