#include "app/startup/program_objects.h"

#include <stdexcept>

#include "app/game_app.h"
#include "app/main_window.h"
#include "app/startup/run_race.h"
#include "champ/champ_objects.h"
#include "champ/game_settings.h"
#include "engine/render/render_device.h"
#include "input/control_block.h"
#include "input/input_manager.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"
#include "screens/screen_binding.h"
#include "sound/sound_library.h"

namespace {

bool g_bBuilt = false;

// The settings' view of the renderer's driver list.
DisplayModeQuery DisplaysOf(render_device& renderer)
{
    DisplayModeQuery displays;
    displays.DriverCount = [&renderer] { return static_cast<int>(renderer.driver_count); };
    displays.DeviceCount = [&renderer](int driver) {
        return driver >= 0 && driver < renderer.driver_count ? static_cast<int>(renderer.drivers[driver].device_count)
                                                              : 0;
    };
    displays.HasMode = [&renderer](int driver, int device, int width, int height) {
        return renderer.find_mode(width, height, driver, device) != 0;
    };
    return displays;
}

} // namespace

ProgramObjects::ProgramObjects()
{
    if (g_bBuilt)
        throw std::logic_error("the program-wide objects exist already");
    g_bBuilt = true;
    try {
        // The program-wide bytes start cleared.
        g_bQuit = 0;

        m_pSettings = std::make_unique<GameSettings>();
        SetTheGameSettings(m_pSettings.get());
        m_pInput = std::make_unique<InputManager>();
        SetTheInputManager(m_pInput.get());
        m_pMenus = std::make_unique<MenuObjects>();
        m_pChamp = std::make_unique<ChampObjects>();
        m_pChamp->Start();
        m_pSound = std::make_unique<SoundLibrary>();
        SetTheSoundLibrary(m_pSound.get());
        m_pGameApp = std::make_unique<GameApp>();
        SetTheGameApp(m_pGameApp.get());
        m_pRenderer = std::make_unique<render_device>();
        set_the_render_device(m_pRenderer.get());
        Link();
    } catch (...) {
        // What was built goes again, in reverse order, without saving: the
        // championship objects were not (fully) started.
        Unlink(false);
        g_bBuilt = false;
        throw;
    }
}

void ProgramObjects::Link()
{
    SettingsLinks links;
    links.Settings = m_pSettings.get();
    links.Bindings = &DefaultControlBlock();
    InputManager* input = m_pInput.get();
    links.Joysticks = [input] {
        std::vector<AttachedJoystick> sticks;
        for (int i = 0; i < input->JoystickCount(); ++i) {
            const JoystickRecord& j = input->Joystick(i);
            sticks.push_back({j.Usable != 0, static_cast<int>(j.Caps.dwAxes), static_cast<int>(j.Caps.dwButtons)});
        }
        return sticks;
    };
    links.ValidateBindings = [input](ControlBlock& block) { input->ValidateBindings(block); };
    links.Displays = DisplaysOf(*m_pRenderer);
    m_pGameApp->SetSettingsLinks(links);
    m_pGameApp->SetRaceRunner([](GameApp& app) { RunRaceLoop(app); });
    // The menus reach the game's screens through their hooks.
    InstallScreenHandlers();
}

// Takes every installed object away and destroys it, last built first.
// With `save` the championship objects save the record stores at their
// place in the order.
void ProgramObjects::Unlink(bool save)
{
    set_the_render_device(nullptr);
    m_pRenderer.reset();
    SetTheGameApp(nullptr);
    m_pGameApp.reset();
    SetTheSoundLibrary(nullptr);
    m_pSound.reset();
    if (save && m_pChamp) {
        try {
            m_pChamp->Shutdown();
        } catch (const std::exception& e) {
            platform::message_box(e.what(), "Error", platform::MB_ICONHAND);
        }
    }
    m_pChamp.reset();
    m_pMenus.reset();
    SetTheInputManager(nullptr);
    m_pInput.reset();
    SetTheGameSettings(nullptr);
    m_pSettings.reset();
}

ProgramObjects::~ProgramObjects()
{
    Unlink(true);
    g_bBuilt = false;
}
