// Preparing a menu set and leaving it: the display and loading picture, the
// sound, the 3D context, the pointer picture, the dialogues and the set's
// own file; and what leaving frees.
#include <memory>
#include <stdexcept>
#include <string>

#include "app/game_app.h"
#include "app/m_cparse.h"
#include "champ/game_settings.h"
#include "engine/base/engine.h"
#include "engine/base/shade_table.h"
#include "engine/render/lib2d_picture.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "menu/menu_display.h"
#include "menu/menu_manager.h"
#include "menu/run_loop_parts.h"
#include "menu/run_loop_sound.h"
#include "menu/run_menu.h"
#include "sound/sound_library.h"

namespace {

constexpr const char* kCoverPicture = ".\\gfx\\loading\\cover.pcx";
constexpr const char* kLoadingPicture = ".\\gfx\\loading\\loading.pcx";
constexpr const char* kPointerPicture = ".\\menu\\mouse.pcx";
constexpr const char* kDialogueFile = ".\\menu\\menudial.dat";
// The palette (and its shade table) of the menus' 3D scenes on the 8-bit
// software renderer.
constexpr const char* kMenuScenePalette = "menu\\3d\\podium.pal";
constexpr int kPointerSize = 32;
constexpr int kPointerFrames = 3;
constexpr int kMenuCentreX = kMenuWidth / 2;
constexpr int kMenuCentreY = kMenuHeight / 2;
constexpr int kMusicStream = 0;

// Set once the display has been set up for the menus; a race changes it.
bool g_bDisplayPrepared = false;
bool g_bDisplayFailed = false;
// The cover is shown by the first menu set of the program, the loading
// picture by every later one.
bool g_bCoverShown = false;

// The 3D context the menus made (flag kRunEngine), and the pointer picture.
std::unique_ptr<engine> g_pMenuEngine;
bool g_bPointerLoaded = false;

GameSettings* InstalledSettings()
{
    try {
        return &TheGameSettings();
    } catch (const std::logic_error&) {
        return nullptr;
    }
}

// The sound library plays at full level in the menus; with the "Sound"
// setting on it is started (and given the volume settings).
void StartMenuSound()
{
    SoundLibrary* sound = TheSoundLibrary();
    if (sound)
        sound->SetVolume(1.0f);
    if (GameSettings* settings = InstalledSettings())
        StartSoundFromSettings(TheGameApp(), *settings, sound);
}

// The 3D context of the menus' scenes: drawn through the 3D device, or on
// the software renderer with the scenes' palette and shade table.
void CreateMenuEngine()
{
    g_pMenuEngine = std::make_unique<engine>();
    render_device* renderer = installed_render_device();
    if (renderer && renderer->render_type == kRenderSoftware) {
        g_pMenuEngine->set_render_type(engine::software_render_type);
        g_pMenuEngine->set_mode_word(1);
        rast_set_globals(32, 16, 1);
        renderer->load_palette(kMenuScenePalette);
        load_shade_table(kMenuScenePalette);
    } else {
        g_pMenuEngine->set_render_type(2);
        g_pMenuEngine->set_mode_word(2);
    }
    current_engine = g_pMenuEngine.get();
}

void DeleteMenuEngine()
{
    if (!g_pMenuEngine)
        return;
    if (current_engine == g_pMenuEngine.get())
        current_engine = nullptr;
    g_pMenuEngine.reset();
}

// The dialogue manager's screens, all loaded (its file the first time).
void LoadDialogues()
{
    MenuManager* dialogue = DialogueMenuManager();
    if (!dialogue)
        return;
    MenuManager* previous = CurrentMenuManager();
    SetCurrentMenuManager(dialogue);
    struct Back {
        MenuManager* manager;
        ~Back() { SetCurrentMenuManager(manager); }
    } back{previous};
    if (dialogue->ScreenCount() == 0) {
        dialogue->Reset();
        dialogue->Load(kDialogueFile);
    }
    dialogue->LoadAllScreens();
}

void ShowPicture(const char* file)
{
    lib2d_picture picture;
    if (!picture.load(file, kMenuWidth, kMenuHeight, 1, 1))
        return;  // the picture's loader has said why
    render_device& renderer = the_render_device();
    picture.draw(0, 0, 0);
    renderer.present();
    // The 8-bit renderer without a 3D device flips: both buffers get it.
    if (renderer.render_type == kRenderSoftware)
        renderer.present();
    picture.free();
}

} // namespace

bool ShowLoadingScreen(std::uint32_t flags)
{
    SizeMenuWindow();
    const render_device* renderer = installed_render_device();
    if (!g_bDisplayPrepared || !renderer || !renderer->ready) {
        if (!StartMenuDisplay()) {
            g_bDisplayFailed = true;
            return false;
        }
        g_bDisplayPrepared = true;
    }
    SizeMenuWindow();
    if (flags & kRunNoLoading)
        return true;
    ShowPicture(g_bCoverShown ? kLoadingPicture : kCoverPicture);
    g_bCoverShown = true;
    return true;
}

bool LoadMenuScreens(const char* name, std::uint32_t flags)
{
    SizeMenuWindow();
    StartMenuSound();
    if (!ShowLoadingScreen(flags))
        return false;
    if ((flags & kRunEngine) && !g_pMenuEngine)
        CreateMenuEngine();
    if ((flags & kRunPointer) && !g_bPointerLoaded) {
        if (lib2d_picture* pointer = MenuPointerPicture())
            pointer->load(kPointerPicture, kPointerSize, kPointerSize, kPointerFrames, kPointerFrames);
        g_bPointerLoaded = true;
    }
    // The render states are sent again before the menus draw.
    if (render_device* renderer = installed_render_device())
        renderer->render_states_dirty = 1;
    g_nPointerX = kMenuCentreX;
    g_nPointerY = kMenuCentreY;

    if (flags & kRunDialogues) {
        g_bMenuMusicRestart = true;
        LoadDialogues();
    }
    MenuManager* manager = CurrentMenuManager();
    if (!manager)
        throw std::logic_error("a menu set is run without a menu manager");
    if (manager->ScreenCount() == 0) {
        manager->Reset();
        const std::string file = std::string(".\\menu\\") + name + ".dat";
        manager->Load(file.c_str());
    }
    if ((flags & kRunSounds) && InstalledSettings() && InstalledSettings()->Audio.Sound) {
        M_CParse parser;
        manager->LoadSounds(parser);
    }
    manager->m_bRunning = 1;
    if (InputManager* input = TheInputManager())
        input->SetWindow();
    manager->m_nShownScreen = -1;
    return true;
}

void LeaveMenu(std::uint32_t flags)
{
    MenuManager* manager = CurrentMenuManager();
    MenuManager* dialogue = DialogueMenuManager();
    if (manager && !manager->m_bDialogue) {
        manager->FreeCaches();
        manager->FreeScreens();
    } else if (manager && manager != dialogue) {
        manager->Free();
    }
    if (flags & kRunSounds)
        if (SoundLibrary* sound = TheSoundLibrary()) {
            sound->FreeAllSamples();
            sound->StopStream(kMusicStream);
        }
    if ((flags & kRunDialogues) && dialogue) {
        dialogue->FreeCaches();
        dialogue->FreeScreens();
    }
    if (flags & kRunEngine)
        DeleteMenuEngine();
    if (flags & kRunPointer) {
        if (lib2d_picture* pointer = MenuPointerPicture())
            pointer->free();
        g_bPointerLoaded = false;
    }
}

void ForgetMenuDisplay()
{
    g_bDisplayPrepared = false;
}

bool MenuDisplayFailed()
{
    return g_bDisplayFailed;
}

void ResetMenuLoadState()
{
    DeleteMenuEngine();
    if (lib2d_picture* pointer = MenuPointerPicture())
        pointer->free();
    g_bPointerLoaded = false;
    g_bDisplayPrepared = false;
    g_bDisplayFailed = false;
    g_bCoverShown = false;
}
