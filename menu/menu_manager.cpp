#include "menu/menu_manager.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "app/game_error.h"
#include "engine/render/lib2d_font.h"
#include "engine/render/lib2d_picture.h"
#include "menu/form.h"
#include "menu/screen_hooks.h"
#include "platform/directory_listing.h"
#include "platform/text.h"

std::uint8_t g_MenuStateFlags[4] = {};
std::int32_t g_nPointerX = 0, g_nPointerY = 0;

namespace {

MenuObjects* g_pMenuObjects = nullptr;
MenuManager* g_pCurrentMenu = nullptr;

// Menu text is sized for a screen of 96 pixels per inch.
constexpr double kMenuDpi = 96.0;

} // namespace

MenuManager::MenuManager()
{
    Reset();
}

MenuManager::~MenuManager()
{
    m_Screens.clear();
    FreeCaches();
    FreeWinFonts();
}

void MenuManager::Reset()
{
    m_nState = m_nNextState = m_nShownScreen = -1;
    m_nReturnState = -1;
    m_nLastUserID = -1;
    m_nLastCommand = 0;
    m_nRefusedState = -1;
    m_bEditLock = 0;
    m_bPointerVisible = 0;
    m_Screens.clear();
    m_Transitions.clear();
    m_StateScreens.clear();
    FreeCaches();
    FreeWinFonts();
}

void MenuManager::SetScreens(const std::vector<std::string>& names)
{
    m_Screens.clear();
    for (const std::string& name : names) {
        auto form = std::make_unique<Form>();
        form->SetName(name.c_str());
        m_Screens.push_back(std::move(form));
    }
}

Form* MenuManager::Screen(std::int32_t index) const
{
    return index >= 0 && index < ScreenCount() ? m_Screens[static_cast<std::size_t>(index)].get() : nullptr;
}

Form* MenuManager::FindScreen(const char* name) const
{
    if (!name)
        return nullptr;
    for (const std::unique_ptr<Form>& screen : m_Screens)
        if (platform::equals_ignoring_case(screen->Name(), name))
            return screen.get();
    return nullptr;
}

std::int32_t MenuManager::ScreenForState(std::int32_t state) const
{
    for (const StateScreen& pair : m_StateScreens)
        if (pair.state == state)
            return pair.screen;
    throw GameError("not found");
}

std::int32_t MenuManager::ScreenOfStateOrNone(std::int32_t state) const
{
    for (const StateScreen& pair : m_StateScreens)
        if (pair.state == state)
            return pair.screen;
    return -1;
}

std::int32_t MenuManager::CurrentScreenIndex() const
{
    return m_nState == -1 ? -1 : ScreenForState(m_nState);
}

Form* MenuManager::CurrentScreen() const
{
    return Screen(CurrentScreenIndex());
}

std::int32_t MenuManager::ExecuteCommand(std::int32_t command)
{
    Form* screen = CurrentScreen();
    if (screen && !FormCommandHook(*screen, command))
        return m_nNextState;
    m_nReturnState = m_nState;
    m_nNextState = NextState(command);
    return m_nNextState;
}

std::int32_t MenuManager::NextState(std::int32_t command)
{
    m_nLastCommand = command;
    Form* screen = CurrentScreen();
    if (screen)
        screen->m_nLastCommand = command;
    if (command == 0 && screen && screen->m_nPendingState >= 0) {
        const std::int32_t state = screen->m_nPendingState;
        screen->m_nPendingState = -1;
        return state;
    }
    for (const Transition& t : m_Transitions)
        if (t.state == m_nState && t.command == command)
            return t.next;
    return m_nState;
}

lib2d_font* MenuManager::GetFont(const char* name, const std::int32_t params[5])
{
    for (const Cached<lib2d_font>& cached : m_GameFonts)
        if (platform::equals_ignoring_case(cached.name, name))
            return cached.item.get();
    if (GameFontCount() + 1 >= kMaxGameFonts)
        throw GameError("troppi font");
    auto font = std::make_unique<lib2d_font>();
    if (!font->load(name, params[0], params[1], params[2], params[3], params[4]))
        ThrowGameError("failed font %s", name);
    m_GameFonts.push_back({name, std::move(font)});
    return m_GameFonts.back().item.get();
}

lib2d_picture* MenuManager::GetSprite(const char* name, std::int32_t frame_width, std::int32_t frame_height)
{
    for (const Cached<lib2d_picture>& cached : m_Sprites)
        if (platform::equals_ignoring_case(cached.name, name))
            return cached.item.get();
    if (SpriteCount() + 1 >= kMaxSprites)
        throw GameError("troppi sprite");
    auto picture = std::make_unique<lib2d_picture>();
    if (!picture->load(name, frame_width, frame_height, 1, 1, 0.0f, 0))
        ThrowGameError("failed font %s", name);
    m_Sprites.push_back({name, std::move(picture)});
    return m_Sprites.back().item.get();
}

const platform::TextFace* MenuManager::GetWinFont(const char* name, std::int32_t height, std::int32_t width,
                                                  std::int32_t style, std::int32_t logical)
{
    const std::string key_name = std::string(name ? name : "").substr(0, 31);
    for (const WinFont& font : m_WinFonts)
        if (font.key.name == key_name && font.key.height == height && font.key.width == width &&
            font.key.style == style && font.key.logical == logical)
            return font.face.get();
    if (WinFontCount() >= kMaxWinFonts - 1)
        throw GameError("troppi winfont");
    std::string error;
    std::unique_ptr<platform::TextFace> face = CreateMenuFont(key_name.c_str(), height, width, style, logical, &error);
    if (!face)
        ThrowGameError("cannot make the font %s: %s", key_name.c_str(), error.c_str());
    m_WinFonts.push_back({{key_name, height, width, style, logical}, std::move(face)});
    return m_WinFonts.back().face.get();
}

void MenuManager::FreeCaches()
{
    m_GameFonts.clear();
    m_Sprites.clear();
    m_Lib3D.clear();
}

void MenuManager::FreeWinFonts()
{
    m_WinFonts.clear();
}

std::int32_t MenuFontPixels(std::int32_t tenths)
{
    const double converted = std::fabs(static_cast<double>(tenths) * kMenuDpi / 72.0);
    return static_cast<std::int32_t>(-(-0.5 - converted * 0.1));
}

std::unique_ptr<platform::TextFace> CreateMenuFont(const char* name, std::int32_t height, std::int32_t width,
                                                   std::int32_t style, std::int32_t logical, std::string* error)
{
    (void)logical;  // the menus' screen is the logical one: 96 pixels per inch either way
    platform::TextFaceSpec spec;
    spec.face = name ? name : "";
    spec.height = std::max(1, MenuFontPixels(height));
    spec.bold = (style & 1) != 0;
    spec.italic = (style & 2) != 0;
    spec.underline = (style & 4) != 0;
    spec.strike_out = (style & 8) != 0;
    std::unique_ptr<platform::TextFace> face = platform::TextFace::open(spec, error);
    if (!face || width == 0 || height == 0)
        return face;
    // A width asks for an average character width in proportion to the
    // height's: the face is made again with that average.
    const double converted_width = std::fabs(static_cast<double>(width) * kMenuDpi / 72.0);
    const double converted_height = std::fabs(static_cast<double>(height) * kMenuDpi / 72.0);
    const int average = static_cast<int>(converted_width * face->average_char_width() / converted_height + 0.5);
    if (average == face->average_char_width() || average <= 0)
        return face;
    spec.width = average;
    return platform::TextFace::open(spec, error);
}

MenuObjects::MenuObjects()
{
    if (g_pMenuObjects)
        throw std::logic_error("the menu objects exist already");
    m_pPicture = std::make_unique<lib2d_picture>();
    for (std::uint8_t& flag : g_MenuStateFlags)
        flag = 0;
    g_pMenuObjects = this;
}

MenuObjects::~MenuObjects()
{
    if (g_pCurrentMenu == &m_Main || g_pCurrentMenu == &m_Dialogue)
        g_pCurrentMenu = nullptr;
    g_pMenuObjects = nullptr;
}

MenuManager* CurrentMenuManager()
{
    return g_pCurrentMenu;
}

void SetCurrentMenuManager(MenuManager* manager)
{
    g_pCurrentMenu = manager;
}

MenuManager* MainMenuManager()
{
    return g_pMenuObjects ? &g_pMenuObjects->Main() : nullptr;
}

MenuManager* DialogueMenuManager()
{
    return g_pMenuObjects ? &g_pMenuObjects->Dialogue() : nullptr;
}

lib2d_picture* MenuPointerPicture()
{
    return g_pMenuObjects ? &g_pMenuObjects->Pointer() : nullptr;
}
