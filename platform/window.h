#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Windows and window messages.
//
// A program registers window classes (a name and a window procedure), creates
// windows of those classes and reads one program-wide message queue. The
// video thread (platform/video_thread.h) owns the real SDL windows and turns
// their events (close, move, size, minimise and restore, focus, keys, mouse)
// into messages on that queue; any thread may post its own. A message reaches
// a window's procedure when the program takes it from the queue and
// dispatches it, on the thread that dispatches.
//
// The message, key and style numbers are the ones the game's code tests.
namespace platform {

// A window, or none. Handles are never reused while the program runs, so a
// stale handle is simply not found.
struct WindowHandle {
    std::uint32_t id = 0;
    explicit operator bool() const { return id != 0; }
    friend bool operator==(WindowHandle, WindowHandle) = default;
};

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
using WindowProc = LResult (*)(WindowHandle window, unsigned message, WParam wParam, LParam lParam);

// Messages.
inline constexpr unsigned WM_DESTROY = 0x0002;
inline constexpr unsigned WM_MOVE = 0x0003;
inline constexpr unsigned WM_SIZE = 0x0005;
inline constexpr unsigned WM_CLOSE = 0x0010;
inline constexpr unsigned WM_QUIT = 0x0012;
inline constexpr unsigned WM_ACTIVATEAPP = 0x001C;
inline constexpr unsigned WM_NCHITTEST = 0x0084;
inline constexpr unsigned WM_KEYDOWN = 0x0100;
inline constexpr unsigned WM_KEYUP = 0x0101;
inline constexpr unsigned WM_CHAR = 0x0102;
inline constexpr unsigned WM_SYSKEYDOWN = 0x0104;
inline constexpr unsigned WM_SYSKEYUP = 0x0105;
inline constexpr unsigned WM_MOUSEMOVE = 0x0200;
inline constexpr unsigned WM_LBUTTONDOWN = 0x0201;
inline constexpr unsigned WM_LBUTTONUP = 0x0202;
inline constexpr unsigned WM_RBUTTONDOWN = 0x0204;
inline constexpr unsigned WM_RBUTTONUP = 0x0205;
inline constexpr unsigned WM_MBUTTONDOWN = 0x0207;
inline constexpr unsigned WM_MBUTTONUP = 0x0208;
inline constexpr unsigned WM_MOUSEWHEEL = 0x020A;

// WM_SIZE wParam.
inline constexpr WParam SIZE_RESTORED = 0;
inline constexpr WParam SIZE_MINIMIZED = 1;
inline constexpr WParam SIZE_MAXIMIZED = 2;

// WM_NCHITTEST results.
inline constexpr LResult HTNOWHERE = 0;

// Mouse message wParam: buttons and modifier keys held.
inline constexpr WParam MK_LBUTTON = 0x0001;
inline constexpr WParam MK_RBUTTON = 0x0002;
inline constexpr WParam MK_SHIFT = 0x0004;
inline constexpr WParam MK_CONTROL = 0x0008;
inline constexpr WParam MK_MBUTTON = 0x0010;

// Window styles. A window that is neither a popup nor a child has a frame and
// a caption, drawn by the window manager; its size includes them.
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
// A tool window: a small window beside the program's main one, kept out of
// the task bar, that does not take the focus when it is shown.
inline constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080u;
inline constexpr std::uint32_t WS_EX_WINDOWEDGE = 0x00000100u;

// Class styles.
inline constexpr std::uint32_t CS_VREDRAW = 0x0001;
inline constexpr std::uint32_t CS_HREDRAW = 0x0002;

// show_window commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;

// get_system_metric indices.
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CYCAPTION = 4;
inline constexpr int SM_CXBORDER = 5;
inline constexpr int SM_CYBORDER = 6;
inline constexpr int SM_CXDLGFRAME = 7;
inline constexpr int SM_CYDLGFRAME = 8;

struct Message {
    WindowHandle window; // none for a message to the program (WM_QUIT)
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

struct Point {
    int x = 0;
    int y = 0;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Packs two 16-bit values as the position and size messages carry them.
constexpr LParam make_lparam(int low, int high)
{
    return static_cast<LParam>(static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(low) & 0xFFFFu) | ((static_cast<std::uint32_t>(high) & 0xFFFFu) << 16)));
}
constexpr int lparam_low(LParam value) { return static_cast<std::int16_t>(value & 0xFFFF); }
constexpr int lparam_high(LParam value) { return static_cast<std::int16_t>((value >> 16) & 0xFFFF); }

// --- Classes -----------------------------------------------------------------

// False when the name is empty, the procedure is missing or a class of that
// name is registered already.
bool register_window_class(std::string_view name, std::uint32_t class_style, WindowProc procedure);
bool unregister_window_class(std::string_view name);

// --- Windows -----------------------------------------------------------------

// Creates a window of a registered class with its outer frame at (x, y) and
// of size width x height (frame included, see get_system_metric). It starts
// the video thread when it is not running. None when the class is unknown,
// the video thread cannot start or answer, the window system refuses the
// window, or the WindowCreate fault is armed; last_window_error() says why.
WindowHandle create_window(std::uint32_t ex_style, std::string_view class_name, std::string_view title,
                           std::uint32_t style, int x, int y, int width, int height);

// Sends WM_DESTROY to the window's procedure on the calling thread, then
// removes the window. Messages still queued for it are dropped. False for a
// window that does not exist.
bool destroy_window(WindowHandle window);

bool is_window(WindowHandle window);

// Moves and sizes the window (outer frame, as create_window). WM_MOVE and
// WM_SIZE are queued when the client area's origin or size changes.
bool move_window(WindowHandle window, int x, int y, int width, int height, bool repaint);
// Resizes the window, where it stands, so that its client area is width x
// height (the frame keeps its borders). False when the window has no
// rectangles (no such window).
bool set_client_size(WindowHandle window, int width, int height, bool repaint);

// Returns whether the window was visible before.
bool show_window(WindowHandle window, int command);

// Nothing is drawn by the window system itself: true for a window that exists.
bool update_window(WindowHandle window);

bool set_window_title(WindowHandle window, std::string_view title);

// Raises the window and gives it the keyboard focus. False for a window
// that does not exist.
bool set_focus(WindowHandle window);
std::string window_title(WindowHandle window);

// The client area in client coordinates (left and top 0).
bool get_client_rect(WindowHandle window, Rect& rect);
// The outer frame in screen coordinates.
bool get_window_rect(WindowHandle window, Rect& rect);
// Converts a point in the window's client area to screen coordinates.
bool client_to_screen(WindowHandle window, Point& point);
bool is_window_visible(WindowHandle window);

// Full screen: the window covers the desktop and shows its frames scaled to
// fit with their aspect kept; its client area keeps the size it has, so the
// program goes on drawing at that size. False for a window that does not
// exist.
bool set_window_full_screen(WindowHandle window, bool full_screen);
bool is_window_full_screen(WindowHandle window);

// The first window of that class (and title, when one is given); none if
// there is none.
WindowHandle find_window(std::string_view class_name, std::string_view title = {});

// Why the last create_window on any thread failed.
std::string last_window_error();

// --- Messages ----------------------------------------------------------------

// Takes (or only looks at) the oldest message. False when the queue is empty.
bool peek_message(Message& message, bool remove);

// Waits for the next message and takes it: 1 for a message, 0 for WM_QUIT
// (taken too), -1 when the queue is empty and no message can come because
// the video thread is not running.
int get_message(Message& message);

// Characters reach the queue as WM_CHAR directly from the window system, so
// there is nothing left to translate. True for a key-down message.
bool translate_message(const Message& message);

// Calls the procedure of the message's window; 0 when the window is gone or
// the message has none.
LResult dispatch_message(const Message& message);

// Thread-safe. False for a window that does not exist or a full queue.
bool post_message(WindowHandle window, unsigned message, WParam wParam, LParam lParam);
void post_quit_message(int exit_code);

// Calls a window's procedure at once on the calling thread.
LResult send_message(WindowHandle window, unsigned message, WParam wParam, LParam lParam);

// The default handling: WM_CLOSE destroys the window; every message answers 0.
LResult def_window_proc(WindowHandle window, unsigned message, WParam wParam, LParam lParam);

// Messages the queue holds at most; posting to a full queue fails.
inline constexpr std::size_t kMessageQueueCapacity = 10000;

// --- System metrics -------------------------------------------------------------

// Frame and caption sizes are fixed (the window manager draws the real ones,
// and a framed window is always given exactly the client area its size
// leaves after these); the screen is the desktop's size, 1024 x 768 when the
// video thread is not running. 0 for an unknown index.
int get_system_metric(int index);

} // namespace platform
