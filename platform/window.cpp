#include "platform/window.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/cursor.h"
#include "platform/fault_seam.h"
#include "platform/native_window.h"
#include "platform/video_thread.h"
#include "platform/window_system.h"

namespace platform {
namespace {

// Frame and caption sizes of a framed window.
constexpr int kDialogFrame = 3;
constexpr int kBorder = 1;
constexpr int kCaption = 19;

struct WindowClass {
    std::uint32_t style = 0;
    WindowProc procedure = nullptr;
};

struct WindowRecord {
    std::string class_name;
    WindowProc procedure = nullptr;
    std::string title;
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    Rect frame;  // outer frame on the screen
    Rect client; // client area on the screen
    bool visible = false;
    bool minimized = false;
    bool maximized = false;
    bool full_screen = false;
    // Returns from full screen not yet applied by the window system: until
    // then its moves and sizes (late ones from full screen among them) are
    // not the program's window and are not taken.
    int settling = 0;
    bool destroying = false;
};

struct WindowSystem {
    std::mutex mutex;
    std::map<std::string, WindowClass, std::less<>> classes;
    std::map<std::uint32_t, WindowRecord> windows;
    std::uint32_t next_id = 1;
    std::string last_error;
};

// Never destroyed: the video thread may deliver events while the program's
// static objects go away.
WindowSystem& windows_state()
{
    static WindowSystem* instance = new WindowSystem;
    return *instance;
}

struct MessageQueue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<Message> messages;
};

MessageQueue& queue()
{
    static MessageQueue* instance = new MessageQueue;
    return *instance;
}

constexpr std::uint32_t kRepeatCountMask = 0xFFFF;

bool is_key_down_message(unsigned message)
{
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
}

// Folds the new message into the last queued one where the window system
// does so too: a mouse move replaces a mouse move still waiting, and an
// auto-repeated key adds to the repeat count of the same key still waiting.
// A program that takes one message per frame then never falls behind the
// mouse or a held key.
bool merge_with_last(std::deque<Message>& messages, const Message& message, bool key_repeat)
{
    if (messages.empty())
        return false;
    Message& last = messages.back();
    if (last.window != message.window || last.message != message.message)
        return false;
    if (message.message == WM_MOUSEMOVE) {
        last = message;
        return true;
    }
    if (key_repeat && is_key_down_message(message.message) && last.wParam == message.wParam) {
        const auto bits = static_cast<std::uint32_t>(last.lParam);
        const std::uint32_t count = std::min<std::uint32_t>((bits & kRepeatCountMask) + 1, kRepeatCountMask);
        last.lParam = static_cast<LParam>((bits & ~kRepeatCountMask) | count | (1u << 30));
        return true;
    }
    return false;
}

void drop_queued_messages_for(WindowHandle window)
{
    MessageQueue& q = queue();
    std::lock_guard<std::mutex> lock(q.mutex);
    // A quit request stays: it is for the program as much as for the window.
    std::erase_if(q.messages, [&](const Message& m) { return m.window == window && m.message != WM_QUIT; });
}

struct Decorations {
    int left = 0, top = 0, right = 0, bottom = 0;
};

Decorations decorations_of(std::uint32_t style)
{
    if (style & (WS_POPUP | WS_CHILD))
        return {};
    return {kDialogFrame + kBorder, kDialogFrame + kCaption + kBorder, kDialogFrame + kBorder, kBorder};
}

// The client area of a frame; never smaller than one pixel.
Rect client_of(const Rect& frame, std::uint32_t style)
{
    const Decorations d = decorations_of(style);
    Rect client{frame.left + d.left, frame.top + d.top, frame.right - d.right, frame.bottom - d.bottom};
    client.right = std::max(client.right, client.left + 1);
    client.bottom = std::max(client.bottom, client.top + 1);
    return client;
}

int width_of(const Rect& r) { return r.right - r.left; }
int height_of(const Rect& r) { return r.bottom - r.top; }

LParam size_lparam(const Rect& client)
{
    return make_lparam(width_of(client), height_of(client));
}

void set_last_error(const std::string& text)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.last_error = text;
}

WindowProc procedure_of(WindowHandle window)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    return it == s.windows.end() ? nullptr : it->second.procedure;
}

} // namespace

bool enqueue_message(const Message& message, MessageOrigin origin, bool key_repeat)
{
    MessageQueue& q = queue();
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        if (origin == MessageOrigin::Input && merge_with_last(q.messages, message, key_repeat))
            return true;
        if (q.messages.size() >= kMessageQueueCapacity && origin != MessageOrigin::WindowState)
            return false;
        q.messages.push_back(message);
    }
    q.arrived.notify_all();
    return true;
}

// --- Classes -----------------------------------------------------------------

bool register_window_class(std::string_view name, std::uint32_t class_style, WindowProc procedure)
{
    if (name.empty() || !procedure)
        return false;
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.classes.emplace(std::string(name), WindowClass{class_style, procedure}).second;
}

bool unregister_window_class(std::string_view name)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.classes.find(name);
    if (it == s.classes.end())
        return false;
    for (const auto& [id, record] : s.windows) {
        if (record.class_name == name)
            return false; // still in use
    }
    s.classes.erase(it);
    return true;
}

// --- Windows -----------------------------------------------------------------

WindowHandle create_window(std::uint32_t ex_style, std::string_view class_name, std::string_view title,
                           std::uint32_t style, int x, int y, int width, int height)
{
    if (take_fault(Fault::WindowCreate)) {
        set_last_error("the window system refused to create the window");
        return {};
    }
    WindowRecord record;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.classes.find(class_name);
        if (it == s.classes.end()) {
            s.last_error = "unknown window class \"" + std::string(class_name) + "\"";
            return {};
        }
        record.procedure = it->second.procedure;
    }
    std::string error;
    if (!start_video_thread(&error)) {
        set_last_error(error);
        return {};
    }

    record.class_name = std::string(class_name);
    record.title = std::string(title);
    record.style = style;
    record.ex_style = ex_style;
    record.frame = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
    record.client = client_of(record.frame, style);
    record.visible = (style & WS_VISIBLE) != 0;
    record.minimized = (style & WS_MINIMIZE) != 0;

    native::CreateRequest request;
    request.title = record.title;
    request.client = record.client;
    request.visible = record.visible;
    request.minimized = record.minimized;
    request.borderless = (style & WS_POPUP) != 0;
    request.tool = (ex_style & WS_EX_TOOLWINDOW) != 0;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        request.id = s.next_id++;
        s.windows.emplace(request.id, std::move(record));
    }

    struct Outcome {
        bool created = false;
        std::string error;
    };
    auto outcome = std::make_shared<Outcome>();
    const bool answered = run_on_video_thread([request, outcome] {
        outcome->created = native::create(request, outcome->error);
    });
    if (!answered || !outcome->created) {
        // A creation that comes late is undone by the next task in line.
        if (!answered)
            post_to_video_thread([id = request.id] { native::destroy(id); });
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.windows.erase(request.id);
        s.last_error = answered ? "cannot create the window: " + outcome->error
                                : std::string("the video thread did not answer");
        return {};
    }
    return WindowHandle{request.id};
}

bool destroy_window(WindowHandle window)
{
    WindowProc procedure = nullptr;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.windows.find(window.id);
        if (it == s.windows.end() || it->second.destroying)
            return false;
        it->second.destroying = true;
        procedure = it->second.procedure;
    }
    procedure(window, WM_DESTROY, 0, 0);
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.windows.erase(window.id);
    }
    drop_queued_messages_for(window);
    // Waits (bounded) so that no event of the old window follows; a stopped
    // video thread has no window left to remove.
    run_on_video_thread([id = window.id] { native::destroy(id); });
    return true;
}

bool is_window(WindowHandle window)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.windows.count(window.id) != 0;
}

bool set_client_size(WindowHandle window, int width, int height, bool repaint)
{
    Rect frame, client;
    if (!get_window_rect(window, frame) || !get_client_rect(window, client))
        return false;
    return move_window(window, frame.left, frame.top, width + (frame.right - frame.left) - client.right,
                       height + (frame.bottom - frame.top) - client.bottom, repaint);
}

bool move_window(WindowHandle window, int x, int y, int width, int height, bool /*repaint*/)
{
    std::vector<Message> messages;
    Rect client;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.windows.find(window.id);
        if (it == s.windows.end())
            return false;
        WindowRecord& record = it->second;
        record.frame = {x, y, x + std::max(width, 0), y + std::max(height, 0)};
        client = client_of(record.frame, record.style);
        if (client.left != record.client.left || client.top != record.client.top)
            messages.push_back({window, WM_MOVE, 0, make_lparam(client.left, client.top)});
        if (width_of(client) != width_of(record.client) || height_of(client) != height_of(record.client))
            messages.push_back({window, WM_SIZE, record.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                                size_lparam(client)});
        record.client = client;
    }
    for (const Message& m : messages)
        enqueue_message(m, MessageOrigin::WindowState);
    post_to_video_thread([id = window.id, client] { native::set_client_rect(id, client); });
    return true;
}

bool show_window(WindowHandle window, int command)
{
    bool was_visible = false;
    std::vector<Message> messages;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.windows.find(window.id);
        if (it == s.windows.end())
            return false;
        WindowRecord& record = it->second;
        was_visible = record.visible;
        record.visible = command != SW_HIDE;
        switch (command) {
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            if (!record.minimized)
                messages.push_back({window, WM_SIZE, SIZE_MINIMIZED, 0});
            record.minimized = true;
            break;
        case SW_SHOWMAXIMIZED:
            if (!record.maximized || record.minimized)
                messages.push_back({window, WM_SIZE, SIZE_MAXIMIZED, size_lparam(record.client)});
            record.maximized = true;
            record.minimized = false;
            break;
        case SW_SHOWNORMAL:
        case SW_RESTORE:
            if (record.minimized || record.maximized)
                messages.push_back({window, WM_SIZE, SIZE_RESTORED, size_lparam(record.client)});
            record.minimized = record.maximized = false;
            break;
        default:
            break;
        }
    }
    for (const Message& m : messages)
        enqueue_message(m, MessageOrigin::WindowState);
    post_to_video_thread([id = window.id, command] { native::show(id, command); });
    return was_visible;
}

bool update_window(WindowHandle window)
{
    return is_window(window);
}

bool set_window_title(WindowHandle window, std::string_view title)
{
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.windows.find(window.id);
        if (it == s.windows.end())
            return false;
        it->second.title = std::string(title);
    }
    post_to_video_thread([id = window.id, text = std::string(title)] { native::set_title(id, text); });
    return true;
}

bool set_focus(WindowHandle window)
{
    if (!is_window(window))
        return false;
    post_to_video_thread([id = window.id] { native::focus(id); });
    return true;
}

std::string window_title(WindowHandle window)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    return it == s.windows.end() ? std::string() : it->second.title;
}

bool get_client_rect(WindowHandle window, Rect& rect)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    if (it == s.windows.end())
        return false;
    rect = {0, 0, width_of(it->second.client), height_of(it->second.client)};
    return true;
}

bool get_window_rect(WindowHandle window, Rect& rect)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    if (it == s.windows.end())
        return false;
    rect = it->second.frame;
    return true;
}

bool client_to_screen(WindowHandle window, Point& point)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    if (it == s.windows.end())
        return false;
    point.x += it->second.client.left;
    point.y += it->second.client.top;
    return true;
}

bool is_window_visible(WindowHandle window)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    return it != s.windows.end() && it->second.visible;
}

bool set_window_full_screen(WindowHandle window, bool full_screen)
{
    Rect client;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.windows.find(window.id);
        if (it == s.windows.end())
            return false;
        it->second.full_screen = full_screen;
        client = it->second.client;
        if (!full_screen)
            ++it->second.settling;
    }
    if (full_screen)
        return post_to_video_thread([id = window.id] { native::set_full_screen(id, true); });
    // Back in a window, it takes the client area the program gave it. The
    // events the change leaves queued are taken (and passed over) before the
    // window counts as settled.
    const bool posted = post_to_video_thread([window, client] {
        native::set_full_screen(window.id, false);
        native::set_client_rect(window.id, client);
        native::pump_events();
        NativeEvent settled;
        settled.kind = NativeEventKind::Settled;
        settled.window = window;
        deliver_native_event(settled);
    });
    if (!posted) {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        auto it = s.windows.find(window.id);
        if (it != s.windows.end() && it->second.settling > 0)
            --it->second.settling;
    }
    return true;
}

bool is_window_full_screen(WindowHandle window)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.windows.find(window.id);
    return it != s.windows.end() && it->second.full_screen;
}

WindowHandle find_window(std::string_view class_name, std::string_view title)
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [id, record] : s.windows) {
        if (record.class_name == class_name && (title.empty() || record.title == title) && !record.destroying)
            return WindowHandle{id};
    }
    return {};
}

std::string last_window_error()
{
    WindowSystem& s = windows_state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.last_error;
}

// --- Messages ----------------------------------------------------------------

bool peek_message(Message& message, bool remove)
{
    MessageQueue& q = queue();
    std::lock_guard<std::mutex> lock(q.mutex);
    if (q.messages.empty())
        return false;
    message = q.messages.front();
    if (remove)
        q.messages.pop_front();
    return true;
}

int get_message(Message& message)
{
    MessageQueue& q = queue();
    std::unique_lock<std::mutex> lock(q.mutex);
    for (;;) {
        if (!q.messages.empty()) {
            message = q.messages.front();
            q.messages.pop_front();
            return message.message == WM_QUIT ? 0 : 1;
        }
        // Looks again now and then: nothing can arrive from a video thread
        // that has stopped.
        if (!video_thread_running())
            return -1;
        q.arrived.wait_for(lock, std::chrono::milliseconds(50));
    }
}

bool translate_message(const Message& message)
{
    return is_key_down_message(message.message);
}

LResult dispatch_message(const Message& message)
{
    if (!message.window)
        return 0;
    WindowProc procedure = procedure_of(message.window);
    return procedure ? procedure(message.window, message.message, message.wParam, message.lParam) : 0;
}

bool post_message(WindowHandle window, unsigned message, WParam wParam, LParam lParam)
{
    if (window && !is_window(window))
        return false;
    return enqueue_message({window, message, wParam, lParam}, MessageOrigin::Posted);
}

void post_quit_message(int exit_code)
{
    enqueue_message({WindowHandle{}, WM_QUIT, static_cast<WParam>(exit_code), 0}, MessageOrigin::WindowState);
}

LResult send_message(WindowHandle window, unsigned message, WParam wParam, LParam lParam)
{
    WindowProc procedure = procedure_of(window);
    return procedure ? procedure(window, message, wParam, lParam) : 0;
}

LResult def_window_proc(WindowHandle window, unsigned message, WParam /*wParam*/, LParam /*lParam*/)
{
    if (message == WM_CLOSE)
        destroy_window(window);
    return 0;
}

// --- System metrics ----------------------------------------------------------

int get_system_metric(int index)
{
    switch (index) {
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kDialogFrame;
    case SM_CXBORDER:
    case SM_CYBORDER: return kBorder;
    case SM_CYCAPTION: return kCaption;
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        struct Desktop {
            int width = 0, height = 0;
            bool known = false;
        };
        auto desktop = std::make_shared<Desktop>();
        const bool answered = video_thread_running() && run_on_video_thread([desktop] {
            desktop->known = native::desktop_size(desktop->width, desktop->height);
        });
        if (!answered || !desktop->known || desktop->width <= 0 || desktop->height <= 0)
            return index == SM_CXSCREEN ? 1024 : 768;
        return index == SM_CXSCREEN ? desktop->width : desktop->height;
    }
    default: return 0;
    }
}

// --- The video thread's side -------------------------------------------------

bool deliver_window_event(const NativeEvent& event)
{
    std::vector<Message> messages;
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (event.kind == NativeEventKind::Quit) {
            // Every window hears it, so the program's window procedure sees it
            // in a pump that only dispatches; held while there is none.
            for (const auto& [id, record] : s.windows)
                messages.push_back({WindowHandle{id}, WM_QUIT, 0, 0});
        } else {
            auto it = s.windows.find(event.window.id);
            if (it == s.windows.end() || it->second.destroying)
                return false;
            WindowRecord& record = it->second;
            const WindowHandle window = event.window;
            switch (event.kind) {
            case NativeEventKind::CloseRequest:
                messages.push_back({window, WM_CLOSE, 0, 0});
                break;
            case NativeEventKind::Minimized:
                if (!record.minimized)
                    messages.push_back({window, WM_SIZE, SIZE_MINIMIZED, 0});
                record.minimized = true;
                break;
            case NativeEventKind::Maximized:
                if (!record.maximized || record.minimized)
                    messages.push_back({window, WM_SIZE, SIZE_MAXIMIZED, size_lparam(record.client)});
                record.maximized = true;
                record.minimized = false;
                break;
            case NativeEventKind::Restored:
                if (record.minimized || record.maximized)
                    messages.push_back({window, WM_SIZE, SIZE_RESTORED, size_lparam(record.client)});
                record.minimized = record.maximized = false;
                break;
            case NativeEventKind::Moved: {
                if (event.x == record.client.left && event.y == record.client.top)
                    break; // our own move coming back
                // Full screen, the window system places the window; the
                // program keeps the client area it gave.
                if (record.full_screen || record.settling > 0)
                    break;
                const Decorations d = decorations_of(record.style);
                const int w = width_of(record.client), h = height_of(record.client);
                record.client = {event.x, event.y, event.x + w, event.y + h};
                record.frame = {event.x - d.left, event.y - d.top, event.x + w + d.right, event.y + h + d.bottom};
                messages.push_back({window, WM_MOVE, 0, make_lparam(event.x, event.y)});
                break;
            }
            case NativeEventKind::Resized: {
                if (event.x <= 0 || event.y <= 0
                    || (event.x == width_of(record.client) && event.y == height_of(record.client)))
                    break;
                // Full screen covers the desktop and scales the frames: the
                // program goes on drawing at the client size it gave.
                if (record.full_screen || record.settling > 0)
                    break;
                const Decorations d = decorations_of(record.style);
                record.client.right = record.client.left + event.x;
                record.client.bottom = record.client.top + event.y;
                record.frame.right = record.client.right + d.right;
                record.frame.bottom = record.client.bottom + d.bottom;
                if (!record.minimized)
                    messages.push_back({window, WM_SIZE, record.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED,
                                        size_lparam(record.client)});
                break;
            }
            case NativeEventKind::Settled:
                if (record.settling > 0)
                    --record.settling;
                break;
            case NativeEventKind::FocusGained:
            case NativeEventKind::FocusLost:
                messages.push_back({window, WM_ACTIVATEAPP, event.kind == NativeEventKind::FocusGained ? 1u : 0u, 0});
                break;
            default:
                return false;
            }
        }
    }
    for (const Message& m : messages)
        enqueue_message(m, MessageOrigin::WindowState);
    return event.kind != NativeEventKind::Quit || !messages.empty();
}

void reset_window_system()
{
    {
        WindowSystem& s = windows_state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.windows.clear();
        s.classes.clear();
    }
    {
        MessageQueue& q = queue();
        std::lock_guard<std::mutex> lock(q.mutex);
        q.messages.clear();
    }
    forget_cursor_position();
}

} // namespace platform
