#include "platform/native_window.h"

#include <cstdio>
#include <map>
#include <set>

#include <SDL.h>

#include "platform/native_event.h"
#include "platform/video_thread.h"

namespace platform::native {
namespace {

// Our window ids and SDL's, both ways. Touched by the video thread only.
std::map<std::uint32_t, SDL_Window*>& by_id()
{
    static auto* windows = new std::map<std::uint32_t, SDL_Window*>;
    return *windows;
}

std::map<Uint32, std::uint32_t>& by_sdl_id()
{
    static auto* ids = new std::map<Uint32, std::uint32_t>;
    return *ids;
}

// Tool windows: shown without taking the focus.
std::set<std::uint32_t>& tool_windows()
{
    static auto* ids = new std::set<std::uint32_t>;
    return *ids;
}

// Shows a window; a tool window, or any window asked to, without taking
// the focus from the window that has it.
void show_window_as_made(std::uint32_t id, SDL_Window* window, bool keep_focus = false)
{
    const bool tool = keep_focus || tool_windows().count(id) != 0;
    if (tool)
        SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "1");
    SDL_ShowWindow(window);
    if (tool)
        SDL_SetHint(SDL_HINT_WINDOW_NO_ACTIVATION_WHEN_SHOWN, "0");
}

SDL_Window* find(std::uint32_t id)
{
    auto it = by_id().find(id);
    return it == by_id().end() ? nullptr : it->second;
}

WindowHandle handle_of(Uint32 sdl_window_id)
{
    auto it = by_sdl_id().find(sdl_window_id);
    return it == by_sdl_id().end() ? WindowHandle{} : WindowHandle{it->second};
}

unsigned modifiers_of(Uint16 mod)
{
    unsigned m = 0;
    if (mod & KMOD_SHIFT)
        m |= kModShift;
    if (mod & KMOD_CTRL)
        m |= kModCtrl;
    if (mod & KMOD_ALT)
        m |= kModAlt;
    return m;
}

// SDL's event as ours; false for events the program does not use.
bool translate(const SDL_Event& e, NativeEvent& out)
{
    switch (e.type) {
    case SDL_WINDOWEVENT:
        out.window = handle_of(e.window.windowID);
        out.x = e.window.data1;
        out.y = e.window.data2;
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: out.kind = NativeEventKind::CloseRequest; return true;
        case SDL_WINDOWEVENT_MINIMIZED: out.kind = NativeEventKind::Minimized; return true;
        case SDL_WINDOWEVENT_MAXIMIZED: out.kind = NativeEventKind::Maximized; return true;
        case SDL_WINDOWEVENT_RESTORED: out.kind = NativeEventKind::Restored; return true;
        case SDL_WINDOWEVENT_MOVED: out.kind = NativeEventKind::Moved; return true;
        case SDL_WINDOWEVENT_SIZE_CHANGED: out.kind = NativeEventKind::Resized; return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED: out.kind = NativeEventKind::FocusGained; return true;
        case SDL_WINDOWEVENT_FOCUS_LOST: out.kind = NativeEventKind::FocusLost; return true;
        default: return false;
        }
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        out.kind = e.type == SDL_KEYDOWN ? NativeEventKind::KeyDown : NativeEventKind::KeyUp;
        out.window = handle_of(e.key.windowID);
        out.sdl_keycode = e.key.keysym.sym;
        out.sdl_scancode = e.key.keysym.scancode;
        out.modifiers = modifiers_of(e.key.keysym.mod);
        out.repeat = e.key.repeat != 0;
        return true;
    case SDL_TEXTINPUT:
        out.kind = NativeEventKind::Text;
        out.window = handle_of(e.text.windowID);
        out.text = e.text.text;
        return true;
    case SDL_MOUSEMOTION:
        out.kind = NativeEventKind::MouseMotion;
        out.window = handle_of(e.motion.windowID);
        out.x = e.motion.x;
        out.y = e.motion.y;
        out.dx = e.motion.xrel;
        out.dy = e.motion.yrel;
        out.buttons_held = e.motion.state;
        out.modifiers = modifiers_of(static_cast<Uint16>(SDL_GetModState()));
        return true;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        out.kind = e.type == SDL_MOUSEBUTTONDOWN ? NativeEventKind::MouseButtonDown : NativeEventKind::MouseButtonUp;
        out.window = handle_of(e.button.windowID);
        out.x = e.button.x;
        out.y = e.button.y;
        out.button = e.button.button;
        out.buttons_held = SDL_GetMouseState(nullptr, nullptr);
        out.modifiers = modifiers_of(static_cast<Uint16>(SDL_GetModState()));
        return true;
    case SDL_MOUSEWHEEL:
        out.kind = NativeEventKind::MouseWheel;
        out.window = handle_of(e.wheel.windowID);
        out.wheel = e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y;
        out.buttons_held = SDL_GetMouseState(&out.x, &out.y);
        out.modifiers = modifiers_of(static_cast<Uint16>(SDL_GetModState()));
        return true;
    default:
        return false;
    }
}

void report_once(bool& reported, const char* what)
{
    if (!reported) {
        std::fprintf(stderr, "%s: %s\n", what, SDL_GetError());
        reported = true;
    }
}

} // namespace

bool create(const CreateRequest& request, std::string& error)
{
    Uint32 flags = 0;
    if (!request.visible)
        flags |= SDL_WINDOW_HIDDEN;
    if (request.minimized)
        flags |= SDL_WINDOW_MINIMIZED;
    if (request.borderless)
        flags |= SDL_WINDOW_BORDERLESS;
    if (request.tool)
        flags |= SDL_WINDOW_UTILITY | SDL_WINDOW_SKIP_TASKBAR;
    const Rect& c = request.client;
    SDL_Window* window = SDL_CreateWindow(request.title.c_str(), c.left, c.top, c.right - c.left,
                                          c.bottom - c.top, flags);
    if (!window) {
        error = SDL_GetError();
        return false;
    }
    by_id()[request.id] = window;
    if (request.tool)
        tool_windows().insert(request.id);
    by_sdl_id()[SDL_GetWindowID(window)] = request.id;
    return true;
}

void destroy(std::uint32_t id)
{
    SDL_Window* window = find(id);
    if (!window)
        return;
    by_sdl_id().erase(SDL_GetWindowID(window));
    by_id().erase(id);
    tool_windows().erase(id);
    SDL_DestroyWindow(window);
}

void destroy_all()
{
    for (auto& [id, window] : by_id())
        SDL_DestroyWindow(window);
    by_id().clear();
    by_sdl_id().clear();
    tool_windows().clear();
}

void set_client_rect(std::uint32_t id, const Rect& client)
{
    if (SDL_Window* window = find(id)) {
        SDL_SetWindowPosition(window, client.left, client.top);
        SDL_SetWindowSize(window, client.right - client.left, client.bottom - client.top);
    }
}

void show(std::uint32_t id, int command)
{
    SDL_Window* window = find(id);
    if (!window)
        return;
    switch (command) {
    case SW_HIDE:
        SDL_HideWindow(window);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        show_window_as_made(id, window);
        SDL_MinimizeWindow(window);
        break;
    case SW_SHOWMAXIMIZED:
        show_window_as_made(id, window);
        SDL_MaximizeWindow(window);
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
        show_window_as_made(id, window);
        SDL_RestoreWindow(window);
        break;
    case SW_SHOWNOACTIVATE:
        show_window_as_made(id, window, true);
        break;
    default:
        show_window_as_made(id, window);
        break;
    }
}

void set_full_screen(std::uint32_t id, bool full_screen)
{
    if (SDL_Window* window = find(id))
        SDL_SetWindowFullscreen(window, full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

void focus(std::uint32_t id)
{
    if (SDL_Window* window = find(id))
        SDL_RaiseWindow(window);
}

void set_title(std::uint32_t id, const std::string& title)
{
    if (SDL_Window* window = find(id))
        SDL_SetWindowTitle(window, title.c_str());
}

void present(std::uint32_t id, int width, int height, const std::vector<std::uint32_t>& pixels)
{
    static bool surface_reported = false, blit_reported = false;
    SDL_Window* window = find(id);
    if (!window)
        return;
    SDL_Surface* target = SDL_GetWindowSurface(window);
    if (!target) {
        report_once(surface_reported, "Cannot draw into the window");
        return;
    }
    // SDL only reads the pixels through this surface.
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(pixels.data()), width,
                                                             height, 32, width * 4, SDL_PIXELFORMAT_RGB888);
    if (!source) {
        report_once(blit_reported, "Cannot show the frame");
        return;
    }
    const bool same_size = source->w == target->w && source->h == target->h;
    int result = 0;
    if (same_size) {
        result = SDL_BlitSurface(source, nullptr, target, nullptr);
    } else if (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) {
        // Full screen: the largest picture of the frame's aspect, centred,
        // with black bars beside it.
        const long long tw = target->w, th = target->h;
        SDL_Rect fit;
        if (tw * height <= th * width) {
            fit.w = target->w;
            fit.h = static_cast<int>(tw * height / width);
        } else {
            fit.h = target->h;
            fit.w = static_cast<int>(th * width / height);
        }
        fit.x = (target->w - fit.w) / 2;
        fit.y = (target->h - fit.h) / 2;
        SDL_FillRect(target, nullptr, 0);
        result = SDL_BlitScaled(source, nullptr, target, &fit);
    } else {
        result = SDL_BlitScaled(source, nullptr, target, nullptr);
    }
    SDL_FreeSurface(source);
    if (result != 0 || SDL_UpdateWindowSurface(window) != 0)
        report_once(blit_reported, "Cannot show the frame");
}

void apply_cursor_visibility(bool visible)
{
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

void pump_events()
{
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == SDL_QUIT) {
            // The session is ending: answered as a quit signal is, once a
            // window can hear it.
            request_quit();
            continue;
        }
        NativeEvent translated;
        if (translate(event, translated))
            deliver_native_event(translated);
    }
}

bool desktop_size(int& width, int& height)
{
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0)
        return false;
    width = mode.w;
    height = mode.h;
    return true;
}

} // namespace platform::native
