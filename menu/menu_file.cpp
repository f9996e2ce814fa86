// Reading a menu set file and its preloads.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/game_error.h"
#include "app/m_cparse.h"
#include "app/text_number.h"
#include "engine/render/render_device.h"
#include "menu/anim_strip.h"
#include "menu/font_control.h"
#include "menu/form.h"
#include "menu/menu_files.h"
#include "menu/menu_manager.h"
#include "menu/menu_settings.h"
#include "platform/directory_listing.h"
#include "sound/sound_library.h"

namespace {

// The words of the section the reader stands in, up to the next "begin".
std::vector<std::string> SectionWords(M_CParse& parser)
{
    std::vector<std::string> words;
    char word[kTokenCapacity];
    for (;;) {
        parser.SavePos();
        if (!parser.GetToken(word, sizeof word))
            break;
        if (platform::equals_ignoring_case(word, "begin")) {
            parser.LoadPos();
            break;
        }
        words.emplace_back(word);
    }
    return words;
}

// A word that must be a whole decimal number; "bad number" names the word,
// the section and the file otherwise.
std::int32_t SectionNumber(const std::string& word, const char* section, const char* file)
{
    std::int32_t value = 0;
    if (word.empty() || ScanDecimalInt(word.c_str(), value) != word.size())
        ThrowGameError("bad number %s in %s of %s", word.c_str(), section, file);
    return value;
}

// The numbers of the section the reader stands in, in groups of `group`; a
// section that ends inside a group is refused.
std::vector<std::int32_t> SectionNumbers(M_CParse& parser, const char* section, const char* file, int group = 1)
{
    std::vector<std::int32_t> numbers;
    for (const std::string& word : SectionWords(parser))
        numbers.push_back(SectionNumber(word, section, file));
    if (numbers.size() % static_cast<std::size_t>(group) != 0)
        ThrowGameError("%s of %s ends inside an entry of %d numbers", section, file, group);
    return numbers;
}

// Finds a section searching from `from` (the position after "PATH"); the
// reader then stands after its name.
bool FindSectionFrom(M_CParse& parser, std::int64_t from, const char* name)
{
    ReturnToPosition(parser.Source(), from);
    return parser.FindBegin(name);
}

void RequireSection(M_CParse& parser, std::int64_t from, const char* name, const char* file)
{
    if (!FindSectionFrom(parser, from, name))
        ThrowGameError("%s not found in %s", name, file);
}

// The menu's name: the file name without folder and extension.
std::string MenuNameOf(const char* file)
{
    const char* start = file;
    for (const char* c = file; *c; ++c)
        if (*c == '\\' || *c == '/')
            start = c + 1;
    std::string name(start);
    const std::size_t dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// Goes back to the saved working folder when a load ends, thrown or not.
class FolderReturn {
public:
    explicit FolderReturn(const std::string& folder) : folder_(folder) {}
    ~FolderReturn() { EnterFolder(folder_); }

private:
    const std::string& folder_;
};

} // namespace

void MenuManager::Load(const char* file)
{
    M_CParse parser;
    parser.Open(file);
    m_Name = MenuNameOf(file);
    if (!CurrentFolder(m_SavedFolder))
        throw GameError("error loading menu");

    if (!parser.FindBegin("PATH"))
        ThrowGameError("PATH not found in %s", file);
    char word[kTokenCapacity];
    if (!parser.GetToken(word, sizeof word))
        ThrowGameError("PATH not found in %s", file);
    const std::string folder = word;
    const std::int64_t after_path = parser.Source().tell();

    RequireSection(parser, after_path, "INITSTATE", file);
    if (!parser.GetToken(word, sizeof word))
        ThrowGameError("INITSTATE not found in %s", file);
    const std::int32_t start = SectionNumber(word, "INITSTATE", file);

    const std::int64_t after_init = parser.Source().tell();
    std::vector<std::int32_t> preload;
    if (parser.FindBegin("PRELOAD"))
        preload = SectionNumbers(parser, "PRELOAD", file);
    else
        ReturnToPosition(parser.Source(), after_init);

    RequireSection(parser, after_path, "SCREEN", file);
    const std::vector<std::string> names = SectionWords(parser);
    RequireSection(parser, after_path, "SO", file);
    const std::vector<std::int32_t> pairs = SectionNumbers(parser, "SO", file, 2);
    RequireSection(parser, after_path, "SIS", file);
    const std::vector<std::int32_t> triples = SectionNumbers(parser, "SIS", file, 3);

    // Every screen index the file names must be one of its screens. Nothing
    // of the manager changes before the whole file is found sound.
    const auto count = static_cast<std::int32_t>(names.size());
    for (std::int32_t index : preload)
        if (index < 0 || index >= count)
            ThrowGameError("PRELOAD screen %d is not one of the %d screens of %s", index, count, file);
    std::vector<StateScreen> state_screens;
    for (std::size_t i = 0; i < pairs.size(); i += 2) {
        if (pairs[i + 1] >= count)
            ThrowGameError("SO screen %d is not one of the %d screens of %s", pairs[i + 1], count, file);
        state_screens.push_back({pairs[i], pairs[i + 1]});
    }
    std::vector<Transition> transitions;
    for (std::size_t i = 0; i < triples.size(); i += 3)
        transitions.push_back({triples[i], triples[i + 1], triples[i + 2]});

    m_MenuFolder = folder;
    m_nInitState = start;
    m_nReturnState = m_nState;
    m_nState = m_nNextState = start;
    m_nRefusedState = -1;
    m_Preload = std::move(preload);
    m_StateScreens = std::move(state_screens);
    m_Transitions = std::move(transitions);
    SetScreens(names);
    {
        FolderReturn back(m_SavedFolder);
        if (!EnterFolder(m_MenuFolder) || !EnterFolder(m_SavedFolder))
            throw GameError("error loading menu");
    }
    // Each of these enters the menu folder from the working folder and
    // comes back (as first written the screens were loaded from inside the
    // menu folder, where a relative "PATH" names no folder, so a preloaded
    // screen never loaded).
    for (std::int32_t index : m_Preload)
        LoadScreen(index, true);
    if (MenuSoundOn())
        LoadSounds(parser);
    Preload(parser);
    if (!m_Preload.empty())
        if (render_device* renderer = installed_render_device())
            renderer->upload_textures(0);
    parser.Release();
}

void MenuManager::LoadSounds(M_CParse& parser)
{
    if (m_bDialogue)
        return;
    FolderReturn back(m_SavedFolder);
    EnterFolder(m_MenuFolder);
    if (!parser.IsOpen())
        parser.Open((m_Name + ".dat").c_str());
    parser.Rewind();
    if (!parser.FindBegin("SFX"))
        return;
    SoundLibrary* sound = TheSoundLibrary();
    std::int32_t id = 0;
    for (const std::string& name : SectionWords(parser)) {
        // A sample already held under its number (the samples are loaded
        // again for every run of the menus) is kept. One that does not load
        // (a missing or damaged file, more samples than the library holds)
        // is said on the error output, as the other menu files' faulty
        // entries are; the menus go on without its sound.
        if (sound && sound->Initialised() && sound->FindSample(id) < 0) {
            const std::int32_t result = sound->AddSample(name.c_str(), id, false, false);
            if (result != kSoundOk)
                std::fprintf(stderr, "menu %s: sample %d \"%s\" not loaded: %s\n", m_Name.c_str(), id, name.c_str(),
                             SoundLibrary::GetErrorText(result));
        }
        ++id;
    }
}

void MenuManager::Preload(M_CParse& parser)
{
    if (m_bDialogue)
        return;
    FolderReturn back(m_SavedFolder);
    EnterFolder(m_MenuFolder);
    if (!parser.IsOpen())
        parser.Open("menu.dat");
    parser.Rewind();
    if (parser.FindBegin("PRELOADFONT")) {
        for (const std::string& font : SectionWords(parser)) {
            std::int32_t params[7] = {};
            ReadGameFontParams(font.c_str(), params, 5);
            lib2d_font* looks[3] = {};
            CacheGameFontLooks(*this, font.c_str(), params, looks);
        }
    }
    parser.Rewind();
    if (parser.FindBegin("PRELOADANIM")) {
        const std::vector<std::string> words = SectionWords(parser);
        if (words.size() % 3 != 0)
            ThrowGameError("PRELOADANIM of %s ends inside an entry of 3 words", m_Name.c_str());
        for (std::size_t i = 0; i < words.size(); i += 3) {
            AnimStrip strip;
            strip.Load(words[i].c_str(), SectionNumber(words[i + 1], "PRELOADANIM", m_Name.c_str()),
                       SectionNumber(words[i + 2], "PRELOADANIM", m_Name.c_str()));
            strip.Free();
        }
    }
}
