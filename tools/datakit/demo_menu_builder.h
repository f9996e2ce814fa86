#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tools/datakit/form_file_writer.h"
#include "tools/datakit/menu_set_writer.h"

namespace datakit {

// The demo menu sets are put together by groups of screens (front end,
// weekend, results, plain screens, 3D scenes), each in its own file
// (demo_screens_<group>.cpp) with one function that adds its screen files,
// text sections, states and transitions to a shared builder. States name
// their screens by name; the screen indices of a set are worked out when
// the set is made. Whatever two groups both claim (a screen file, a text
// section, a state, a transition, a screen index) is an error the builder
// reports when the sets are written.

// The text files the screens share and their usual font.
inline constexpr const char* kMenuText = "MenuText.txt";
inline constexpr const char* kDialogueText = "DlgText.txt";

// Key codes of hot keys.
inline constexpr int kKeyEsc = 1, kKeyEnter = 28, kKeyLeft = 203, kKeyRight = 205, kKeyUp = 200, kKeyDown = 208;
inline constexpr int kKeyQ = 16, kKeyE = 18, kKeyR = 19, kKeyT = 20, kKeyY = 21, kKeyS = 31, kKeyF = 33, kKeyC = 46,
                     kKeyN = 49;

// Common elements, their keys in the order the readers ask for them.
void place(FormFileWriter& file, int left, int top, int width, int height);
// A screen file with the form block open (end it with end()).
FormFileWriter screen_file(const std::string& name);
void image(FormFileWriter& file, const char* name, const std::string& graphic, int left, int top, int width,
           int height);

struct Button {
    const char* name;
    int left, top, width, height;
    int command;
    int user_id = -1;      // -1: none
    const char* text_id = nullptr;
    const char* text_file = kMenuText;
    int hot_key = 0;       // 0: none
    const char* graphic = "art\\btn";
    const char* linked_to = nullptr;
    int group = -1;        // "Group"; -1: none
    int pages = 1;         // "TextCount": rows the handler may choose
};
// A text button in the menu font.
void button(FormFileWriter& file, const Button& b);

struct LabelSpec {
    const char* name;
    int left, top, width, height;
    const char* text_id = nullptr;  // the first page's section ("<id>00" when pages > 1)
    int pages = 1;                   // "TextCount"
    const char* text_file = kMenuText;
    const char* alignment = "Left";
    int user_id = -1;                // -1: none
    int editable = 0;                // >0: an edit row of that capacity
    int group = -1;                  // "Group"; -1: none
    const char* linked_to = nullptr; // "LinkedTo"
    const char* text_var = nullptr;  // "TextVar" (a live label), with "TextVarLen" 32
    const char* font = nullptr;      // a game font; null: the menu font
    int visible_in_state = 0;        // "VisibleInState": 0 always, -1 hidden, else that state
};
// A label in the menu font showing pages of a text file.
void label(FormFileWriter& file, const LabelSpec& l);

class DemoMenuBuilder {
public:
    // One menu set ("menu", "menudial", "startvid", "MultiDlg"), its file
    // "<name>.dat" in the menu folder.
    class Set {
    public:
        // "SO": the state shows the screen `screen` (by name); an empty name
        // makes it an end state (screen -1). A state given twice is an error.
        Set& state(std::int32_t state, const std::string& screen);
        Set& end_state(std::int32_t state) { return this->state(state, ""); }
        // "SIS": command `command` in `state` leads to `next`. The same
        // state and command twice is an error.
        Set& go(std::int32_t state, std::int32_t command, std::int32_t next);
        // The screen takes index `index` of the set (the main set's load
        // group is 2, 3 and 53). One index for two screens is an error.
        Set& pin(std::int32_t index, const std::string& screen);
        // The screen is loaded when the set loads ("PRELOAD").
        Set& preload(const std::string& screen);
        // A stand-in: when no group gives `state` a screen of its own, it
        // shows `screen` with these transitions (command, next state). A
        // state any group claims keeps only what that group gives it.
        Set& stand_in(std::int32_t state, const std::string& screen,
                      std::vector<std::pair<std::int32_t, std::int32_t>> transitions);

        std::int32_t init_state = 0;
        std::int32_t min_screens = 0;  // filled up with "reserved" screens
        std::vector<std::string> sfx;
        std::vector<std::string> preload_fonts;
        std::vector<MenuSet::PreloadAnim> preload_anims;

    private:
        friend class DemoMenuBuilder;
        void use(const std::string& screen);
        void fail(std::string message) { errors_.push_back(std::move(message)); }

        std::vector<std::string> errors_;
        std::vector<std::string> used_;                     // screen names in first-use order
        std::vector<std::pair<std::int32_t, std::string>> states_;
        std::vector<MenuSet::Transition> transitions_;
        std::map<std::int32_t, std::string> pinned_;
        std::vector<std::string> preload_;
        struct StandIn {
            std::int32_t state;
            std::string screen;
            std::vector<std::pair<std::int32_t, std::int32_t>> transitions;
        };
        std::vector<StandIn> stand_ins_;
    };

    // The set `name`, made the first time it is asked for.
    Set& set(const std::string& name);

    // The screen file "<name>.dat" of the menu folder. Two writers of one
    // name is an error.
    void screen(const std::string& name, FormFileWriter file);
    // Section `[id]` of text file `file` in the menu folder: one line of
    // the file for each line of `text`. A section given twice is an error.
    void text(const std::string& file, const std::string& id, const std::string& text);
    // Further files a group writes (pictures, browser pages, ...), under
    // the data root.
    void files(std::function<bool(const std::filesystem::path& root, std::string& error)> writer);

    // The set as written: screen indices worked out (pinned screens at
    // their index, the others in the order the set first names them in
    // the free places, then "reserved" up to min_screens), every name
    // resolved.
    MenuSet menu_set(const std::string& name) const;

    // What the groups claimed twice, or a state naming a screen that no
    // group writes; empty when the sets are sound.
    std::vector<std::string> errors() const;

    // Writes every screen file, text file, set and further file. False with
    // `error` (the first of errors() when there are any).
    bool write(const std::filesystem::path& root, std::string& error) const;

private:
    void fail(std::string message) { errors_.push_back(std::move(message)); }
    bool has_screen(const std::string& name) const;

    std::map<std::string, Set> sets_;
    std::vector<std::string> set_order_;
    std::map<std::string, FormFileWriter> screens_;
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> texts_;
    std::vector<std::function<bool(const std::filesystem::path&, std::string&)>> files_;
    std::vector<std::string> errors_;
};

// The groups, each adding its screens to the builder.
void add_front_screens(DemoMenuBuilder& kit);
void add_weekend_screens(DemoMenuBuilder& kit);
void add_results_screens(DemoMenuBuilder& kit);
void add_plain_screens(DemoMenuBuilder& kit);
void add_option_screens(DemoMenuBuilder& kit);
void add_file_screens(DemoMenuBuilder& kit);
void add_3d_screens(DemoMenuBuilder& kit);
void add_multi_screens(DemoMenuBuilder& kit);
void add_telemetry_screens(DemoMenuBuilder& kit);

// Every group on one builder (what write_demo_menus writes).
DemoMenuBuilder demo_menu_kit();

} // namespace datakit
