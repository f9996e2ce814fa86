#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/key_codes.h"
#include "platform/native_event.h"
#include "platform/window.h"
#include "tests/platform/window_fixture.h"

using namespace platform;
using torvane_test::drain_input_events;
using torvane_test::drain_messages;
using torvane_test::seen_messages;

namespace {

class Window : public torvane_test::WindowFixture {};

NativeEvent native(NativeEventKind kind, WindowHandle window)
{
    NativeEvent e;
    e.kind = kind;
    e.window = window;
    return e;
}

// Calls `task` with SDL's window of that title, on the video thread.
template <typename Task>
void with_sdl_window(const char* title, Task task)
{
    ASSERT_TRUE(run_on_video_thread([&] {
        for (Uint32 id = 1; id < 1000; ++id) {
            SDL_Window* w = SDL_GetWindowFromID(id);
            if (w && std::strcmp(SDL_GetWindowTitle(w), title) == 0) {
                task(w);
                return;
            }
        }
        ADD_FAILURE() << "no SDL window titled " << title;
    }));
}

} // namespace

TEST_F(Window, CreationSizesTheClientAreaInsideTheFrameAndHonoursTheFaultSeam)
{
    // A framed window sized as for a 640 x 480 client area gets exactly that.
    const int width = 640 + 2 * (get_system_metric(SM_CXDLGFRAME) + get_system_metric(SM_CXBORDER));
    const int height = 480 + get_system_metric(SM_CYDLGFRAME) + get_system_metric(SM_CYCAPTION)
                       + 2 * get_system_metric(SM_CYBORDER);
    WindowHandle framed = create_window(WS_EX_WINDOWEDGE, kClass, "Framed", WS_SYSMENU | WS_MINIMIZEBOX, 10, 20,
                                        width, height);
    ASSERT_TRUE(framed) << last_window_error();
    EXPECT_TRUE(video_thread_running());
    EXPECT_EQ(window_title(framed), "Framed");
    EXPECT_FALSE(is_window_visible(framed)); // shown only when asked
    Rect client, frame;
    ASSERT_TRUE(get_client_rect(framed, client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    ASSERT_TRUE(get_window_rect(framed, frame));
    EXPECT_EQ(frame.left, 10);
    EXPECT_EQ(frame.top, 20);
    EXPECT_EQ(frame.right - frame.left, width);
    with_sdl_window("Framed", [](SDL_Window* w) {
        int cw = 0, ch = 0;
        SDL_GetWindowSize(w, &cw, &ch);
        EXPECT_EQ(cw, 640);
        EXPECT_EQ(ch, 480);
    });

    // The seam makes exactly the next creation fail.
    fail_next(Fault::WindowCreate);
    EXPECT_FALSE(make_popup());
    EXPECT_FALSE(last_window_error().empty());
    WindowHandle popup = make_popup(64, 48);
    ASSERT_TRUE(popup);
    EXPECT_NE(popup, framed);
    ASSERT_TRUE(get_client_rect(popup, client));
    EXPECT_EQ(client.right, 64);
    EXPECT_EQ(client.bottom, 48);

    EXPECT_FALSE(create_window(0, "NoSuchClass", "x", 0, 0, 0, 10, 10));
    EXPECT_NE(last_window_error().find("NoSuchClass"), std::string::npos);
    EXPECT_EQ(find_window(kClass, "Framed"), framed);
    EXPECT_FALSE(find_window("NoSuchClass"));
}

TEST_F(Window, ClassesAreRegisteredOnceAndOnlyWithAProcedure)
{
    EXPECT_FALSE(register_window_class(kClass, 0, torvane_test::recording_proc));
    EXPECT_FALSE(register_window_class("", 0, torvane_test::recording_proc));
    EXPECT_FALSE(register_window_class("NoProc", 0, nullptr));
    EXPECT_TRUE(register_window_class("Other", 3, torvane_test::recording_proc));

    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    EXPECT_FALSE(unregister_window_class(kClass)); // a window still uses it
    ASSERT_TRUE(destroy_window(w));
    EXPECT_TRUE(unregister_window_class(kClass));
    EXPECT_TRUE(register_window_class(kClass, 0, torvane_test::recording_proc));
}

TEST_F(Window, KeysBecomeKeyMessagesWithVirtualKeyAndScanCode)
{
    struct Case {
        const char* name;
        int keycode, scancode;
        unsigned modifiers;
        bool down, repeat;
        unsigned message;
        int vk;
        std::uint32_t lparam;
        int character; // WM_CHAR that follows, or 0
    };
    const Case cases[] = {
        {"letter down", SDLK_a, SDL_SCANCODE_A, 0, true, false, WM_KEYDOWN, 'A', 0x001E0001, 0},
        {"letter up", SDLK_a, SDL_SCANCODE_A, 0, false, false, WM_KEYUP, 'A', 0xC01E0001, 0},
        {"letter repeat", SDLK_a, SDL_SCANCODE_A, 0, true, true, WM_KEYDOWN, 'A', 0x401E0001, 0},
        {"digit", SDLK_5, SDL_SCANCODE_5, 0, true, false, WM_KEYDOWN, '5', 0x00060001, 0},
        {"alt alone down", SDLK_LALT, SDL_SCANCODE_LALT, kModAlt, true, false, WM_SYSKEYDOWN, VK_MENU, 0x20380001, 0},
        {"alt alone up", SDLK_LALT, SDL_SCANCODE_LALT, 0, false, false, WM_SYSKEYUP, VK_MENU, 0xE0380001, 0},
        {"right alt", SDLK_RALT, SDL_SCANCODE_RALT, kModAlt, true, false, WM_SYSKEYDOWN, VK_MENU, 0x21380001, 0},
        {"key with alt held", SDLK_x, SDL_SCANCODE_X, kModAlt, true, false, WM_SYSKEYDOWN, 'X', 0x202D0001, 0},
        {"key up with alt held", SDLK_x, SDL_SCANCODE_X, kModAlt, false, false, WM_SYSKEYUP, 'X', 0xE02D0001, 0},
        {"F10", SDLK_F10, SDL_SCANCODE_F10, 0, true, false, WM_SYSKEYDOWN, VK_F10, 0x00440001, 0},
        {"F1", SDLK_F1, SDL_SCANCODE_F1, 0, true, false, WM_KEYDOWN, VK_F1, 0x003B0001, 0},
        {"up arrow", SDLK_UP, SDL_SCANCODE_UP, 0, true, false, WM_KEYDOWN, VK_UP, 0x01480001, 0},
        {"right ctrl", SDLK_RCTRL, SDL_SCANCODE_RCTRL, kModCtrl, true, false, WM_KEYDOWN, VK_CONTROL, 0x011D0001, 0},
        {"left shift", SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, kModShift, true, false, WM_KEYDOWN, VK_SHIFT, 0x002A0001, 0},
        {"keypad 7", SDLK_KP_7, SDL_SCANCODE_KP_7, 0, true, false, WM_KEYDOWN, VK_NUMPAD0 + 7, 0x00470001, 0},
        {"keypad enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 0, true, false, WM_KEYDOWN, VK_RETURN, 0x011C0001, 0x0D},
        {"escape", SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, true, false, WM_KEYDOWN, VK_ESCAPE, 0x00010001, 0x1B},
        {"backspace", SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 0, true, false, WM_KEYDOWN, VK_BACK, 0x000E0001, 0x08},
        {"space", SDLK_SPACE, SDL_SCANCODE_SPACE, 0, true, false, WM_KEYDOWN, VK_SPACE, 0x00390001, 0},
        // A layout whose key gives a symbol outside ASCII keeps the letter's virtual key.
        {"foreign letter", 0xE9, SDL_SCANCODE_2, 0, true, false, WM_KEYDOWN, '2', 0x00030001, 0},
    };
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NativeEvent e = native(c.down ? NativeEventKind::KeyDown : NativeEventKind::KeyUp, w);
        e.sdl_keycode = c.keycode;
        e.sdl_scancode = c.scancode;
        e.modifiers = c.modifiers;
        e.repeat = c.repeat;
        EXPECT_TRUE(deliver_native_event(e));

        const auto messages = drain_messages();
        ASSERT_EQ(messages.size(), c.character ? 2u : 1u);
        EXPECT_EQ(messages[0].window, w);
        EXPECT_EQ(messages[0].message, c.message);
        EXPECT_EQ(messages[0].wParam, static_cast<WParam>(c.vk));
        EXPECT_EQ(static_cast<std::uint32_t>(messages[0].lParam), c.lparam);
        if (c.character) {
            EXPECT_EQ(messages[1].message, WM_CHAR);
            EXPECT_EQ(messages[1].wParam, static_cast<WParam>(c.character));
        }
        const auto raw = drain_input_events();
        ASSERT_EQ(raw.size(), 1u);
        EXPECT_EQ(raw[0].type, c.down ? InputEventType::KeyDown : InputEventType::KeyUp);
        EXPECT_EQ(raw[0].scancode, c.scancode);
        EXPECT_EQ(raw[0].repeat, c.repeat);
    }

    // A key without a virtual key still reaches the input layer.
    NativeEvent unknown = native(NativeEventKind::KeyDown, w);
    unknown.sdl_keycode = SDLK_AUDIOPLAY;
    unknown.sdl_scancode = SDL_SCANCODE_AUDIOPLAY;
    deliver_native_event(unknown);
    EXPECT_TRUE(drain_messages().empty());
    EXPECT_EQ(drain_input_events().size(), 1u);
}

TEST_F(Window, KeyNumbersFollowTheKeyboardTables)
{
    EXPECT_EQ(pc_scan_code_from_sdl_scancode(SDL_SCANCODE_UP).key_number(), 0xC8);
    EXPECT_EQ(pc_scan_code_from_sdl_scancode(SDL_SCANCODE_RCTRL).key_number(), 0x9D);
    EXPECT_EQ(pc_scan_code_from_sdl_scancode(SDL_SCANCODE_KP_ENTER).key_number(), 0x9C);
    EXPECT_EQ(pc_scan_code_from_sdl_scancode(SDL_SCANCODE_Q).key_number(), 0x10);
    EXPECT_EQ(pc_scan_code_from_sdl_scancode(SDL_SCANCODE_F12).key_number(), 0x58);
    EXPECT_EQ(pc_scan_code_from_sdl_scancode(SDL_SCANCODE_F24).key_number(), 0);
    for (int k = SDLK_a; k <= SDLK_z; ++k)
        EXPECT_EQ(virtual_key_from_sdl_keycode(k), 'A' + (k - SDLK_a));
    for (int k = SDLK_F1; k <= SDLK_F12; ++k)
        EXPECT_EQ(virtual_key_from_sdl_keycode(k), VK_F1 + (k - SDLK_F1));
    EXPECT_EQ(virtual_key_from_sdl_keycode(SDLK_KP_0), VK_NUMPAD0);
    EXPECT_EQ(virtual_key_from_sdl_keycode(SDLK_KP_9), VK_NUMPAD0 + 9);
    EXPECT_EQ(virtual_key_from_sdl_keycode(SDLK_TAB), VK_TAB);
}

TEST_F(Window, HeldKeysAndMouseMovesFoldIntoTheMessageStillWaiting)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    NativeEvent key = native(NativeEventKind::KeyDown, w);
    key.sdl_keycode = SDLK_LEFT;
    key.sdl_scancode = SDL_SCANCODE_LEFT;
    deliver_native_event(key);
    key.repeat = true;
    for (int i = 0; i < 3; ++i)
        deliver_native_event(key);
    for (int i = 1; i <= 5; ++i) {
        NativeEvent move = native(NativeEventKind::MouseMotion, w);
        move.x = 10 * i;
        move.y = i;
        move.dx = 10;
        move.dy = 1;
        deliver_native_event(move);
    }
    const auto messages = drain_messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, WM_KEYDOWN);
    EXPECT_EQ(messages[0].lParam & 0xFFFF, 4); // repeat count
    EXPECT_EQ(messages[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(messages[1].lParam, make_lparam(50, 5));
    // The input layer sees every event.
    EXPECT_EQ(drain_input_events().size(), 9u);
}

TEST_F(Window, MouseEventsBecomeMouseMessagesAndRawEvents)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    struct Case {
        int button;
        bool down;
        unsigned message;
    };
    const Case cases[] = {
        {kMouseLeft, true, WM_LBUTTONDOWN},   {kMouseLeft, false, WM_LBUTTONUP},
        {kMouseRight, true, WM_RBUTTONDOWN},  {kMouseRight, false, WM_RBUTTONUP},
        {kMouseMiddle, true, WM_MBUTTONDOWN}, {kMouseMiddle, false, WM_MBUTTONUP},
        {kMouseX1, true, 0},
    };
    for (const Case& c : cases) {
        NativeEvent e = native(c.down ? NativeEventKind::MouseButtonDown : NativeEventKind::MouseButtonUp, w);
        e.button = c.button;
        e.x = 7;
        e.y = 9;
        e.buttons_held = c.down ? 1u << (c.button - 1) : 0;
        e.modifiers = kModShift;
        deliver_native_event(e);
        const auto messages = drain_messages();
        const auto raw = drain_input_events();
        ASSERT_EQ(raw.size(), 1u);
        EXPECT_EQ(raw[0].button, c.button);
        EXPECT_EQ(raw[0].type, c.down ? InputEventType::MouseButtonDown : InputEventType::MouseButtonUp);
        if (!c.message) {
            EXPECT_TRUE(messages.empty());
            continue;
        }
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].message, c.message);
        EXPECT_EQ(messages[0].lParam, make_lparam(7, 9));
        EXPECT_TRUE(messages[0].wParam & MK_SHIFT);
    }

    NativeEvent wheel = native(NativeEventKind::MouseWheel, w);
    wheel.wheel = -1;
    deliver_native_event(wheel);
    const auto messages = drain_messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_MOUSEWHEEL);
    EXPECT_EQ(static_cast<std::int16_t>(messages[0].wParam >> 16), -120);
    const auto raw = drain_input_events();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].wheel, -1);
}

TEST_F(Window, TypedTextBecomesCharactersOfTheEightBitSet)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    NativeEvent text = native(NativeEventKind::Text, w);
    text.text = "a\xC3\xA9\xE2\x82\xAC\xFFz"; // a, e-acute, the euro sign, a stray byte, z
    deliver_native_event(text);
    const auto messages = drain_messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].wParam, WParam('a'));
    EXPECT_EQ(messages[1].wParam, WParam(0xE9));
    EXPECT_EQ(messages[2].wParam, WParam('z'));
}

TEST_F(Window, ClosingReachesTheProcedureWhoseDefaultDestroysTheWindow)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    EXPECT_TRUE(deliver_native_event(native(NativeEventKind::CloseRequest, w)));
    Message m;
    ASSERT_TRUE(peek_message(m, false));
    ASSERT_TRUE(peek_message(m, true));
    EXPECT_EQ(m.message, WM_CLOSE);
    dispatch_message(m);
    ASSERT_EQ(seen_messages().size(), 2u);
    EXPECT_EQ(seen_messages()[0].message, WM_CLOSE);
    EXPECT_EQ(seen_messages()[1].message, WM_DESTROY);
    EXPECT_FALSE(is_window(w));
    EXPECT_FALSE(destroy_window(w));
    // Nothing more reaches a window that is gone.
    EXPECT_FALSE(post_message(w, WM_CLOSE, 0, 0));
    EXPECT_EQ(dispatch_message({w, WM_CLOSE, 0, 0}), 0);
    EXPECT_EQ(seen_messages().size(), 2u);
    EXPECT_FALSE(deliver_native_event(native(NativeEventKind::CloseRequest, w)));
}

TEST_F(Window, DestroyingDropsTheWindowsQueuedMessagesButNotAQuit)
{
    WindowHandle a = make_popup(64, 48, "a");
    WindowHandle b = make_popup(64, 48, "b");
    ASSERT_TRUE(a && b);
    post_message(a, 0x400, 1, 0);
    post_message(b, 0x400, 2, 0);
    post_message(a, WM_QUIT, 0, 0);
    ASSERT_TRUE(destroy_window(a));
    const auto messages = drain_messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].window, b);
    EXPECT_EQ(messages[1].message, WM_QUIT);
}

TEST_F(Window, MinimiseRestoreMoveAndSizeBecomeMoveAndSizeMessages)
{
    WindowHandle w = make_popup(64, 48);
    ASSERT_TRUE(w);
    const LParam size = make_lparam(64, 48);
    auto only_message = [] {
        const auto messages = drain_messages();
        EXPECT_EQ(messages.size(), 1u);
        return messages.empty() ? Message{} : messages[0];
    };

    deliver_native_event(native(NativeEventKind::Minimized, w));
    Message m = only_message();
    EXPECT_EQ(m.message, WM_SIZE);
    EXPECT_EQ(m.wParam, SIZE_MINIMIZED);
    EXPECT_EQ(m.lParam, 0);
    deliver_native_event(native(NativeEventKind::Minimized, w)); // no change, no message
    EXPECT_TRUE(drain_messages().empty());
    deliver_native_event(native(NativeEventKind::Restored, w));
    m = only_message();
    EXPECT_EQ(m.wParam, SIZE_RESTORED);
    EXPECT_EQ(m.lParam, size);
    deliver_native_event(native(NativeEventKind::Restored, w));
    EXPECT_TRUE(drain_messages().empty());

    NativeEvent moved = native(NativeEventKind::Moved, w);
    moved.x = 100;
    moved.y = -20;
    deliver_native_event(moved);
    m = only_message();
    EXPECT_EQ(m.message, WM_MOVE);
    EXPECT_EQ(lparam_low(m.lParam), 100);
    EXPECT_EQ(lparam_high(m.lParam), -20);
    deliver_native_event(moved);
    EXPECT_TRUE(drain_messages().empty());
    Point p{1, 2};
    ASSERT_TRUE(client_to_screen(w, p));
    EXPECT_EQ(p.x, 101);
    EXPECT_EQ(p.y, -18);

    NativeEvent resized = native(NativeEventKind::Resized, w);
    resized.x = 320;
    resized.y = 200;
    deliver_native_event(resized);
    m = only_message();
    EXPECT_EQ(m.message, WM_SIZE);
    EXPECT_EQ(m.lParam, make_lparam(320, 200));

    // The program's own commands tell the window the same way.
    show_window(w, SW_MINIMIZE);
    m = only_message();
    EXPECT_EQ(m.wParam, SIZE_MINIMIZED);
    show_window(w, SW_RESTORE);
    m = only_message();
    EXPECT_EQ(m.wParam, SIZE_RESTORED);
    EXPECT_EQ(m.lParam, make_lparam(320, 200));

    deliver_native_event(native(NativeEventKind::FocusLost, w));
    m = only_message();
    EXPECT_EQ(m.message, WM_ACTIVATEAPP);
    EXPECT_EQ(m.wParam, 0u);
    const auto raw = drain_input_events();
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_EQ(raw[0].type, InputEventType::FocusLost);
}

TEST_F(Window, MoveWindowReportsOnlyWhatChanged)
{
    WindowHandle w = create_window(0, kClass, "Moved", WS_SYSMENU, 0, 0, 100, 100);
    ASSERT_TRUE(w);
    drain_messages();
    const int dx = get_system_metric(SM_CXDLGFRAME) + get_system_metric(SM_CXBORDER);
    const int dy = get_system_metric(SM_CYDLGFRAME) + get_system_metric(SM_CYCAPTION) + get_system_metric(SM_CYBORDER);
    const int width = 640 + 2 * dx;
    const int height = 480 + dy + get_system_metric(SM_CYBORDER);

    ASSERT_TRUE(move_window(w, 0, 0, width, height, false));
    auto messages = drain_messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_SIZE);
    EXPECT_EQ(messages[0].lParam, make_lparam(640, 480));

    ASSERT_TRUE(move_window(w, 10, 5, width, height, true));
    messages = drain_messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, WM_MOVE);
    EXPECT_EQ(messages[0].lParam, make_lparam(10 + dx, 5 + dy));

    EXPECT_FALSE(show_window(w, SW_SHOWNORMAL));
    EXPECT_TRUE(show_window(w, SW_SHOWNORMAL));
    EXPECT_TRUE(update_window(w));
    EXPECT_TRUE(set_window_title(w, "Renamed"));
    EXPECT_EQ(window_title(w), "Renamed");
    // The SDL window follows, and what it reports back changes nothing.
    with_sdl_window("Renamed", [](SDL_Window* sdl) {
        int cw = 0, ch = 0;
        SDL_GetWindowSize(sdl, &cw, &ch);
        EXPECT_EQ(cw, 640);
        EXPECT_EQ(ch, 480);
        EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_SHOWN);
    });
    run_on_video_thread([] {});
    for (const Message& m : drain_messages())
        EXPECT_NE(m.message, WM_SIZE) << "size reported twice";
    EXPECT_FALSE(move_window(WindowHandle{999999}, 0, 0, 1, 1, false));
}

TEST_F(Window, RealSdlEventsArriveThroughTheVideoThread)
{
    WindowHandle w = make_popup(64, 48, "Pumped");
    ASSERT_TRUE(w);
    with_sdl_window("Pumped", [](SDL_Window* sdl) {
        SDL_Event key = {};
        key.type = SDL_KEYDOWN;
        key.key.windowID = SDL_GetWindowID(sdl);
        key.key.state = SDL_PRESSED;
        key.key.keysym.sym = SDLK_LALT;
        key.key.keysym.scancode = SDL_SCANCODE_LALT;
        key.key.keysym.mod = KMOD_LALT;
        SDL_PushEvent(&key);
        SDL_Event close = {};
        close.type = SDL_WINDOWEVENT;
        close.window.windowID = SDL_GetWindowID(sdl);
        close.window.event = SDL_WINDOWEVENT_CLOSE;
        SDL_PushEvent(&close);
    });
    Message m;
    ASSERT_EQ(get_message(m), 1);
    EXPECT_EQ(m.window, w);
    EXPECT_EQ(m.message, WM_SYSKEYDOWN);
    EXPECT_EQ(m.wParam, WParam(VK_MENU));
    ASSERT_EQ(get_message(m), 1);
    EXPECT_EQ(m.message, WM_CLOSE);
}

TEST_F(Window, MessagesPostedFromAnotherThreadArriveInOrder)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    constexpr int kCount = 200;
    std::thread poster([w] {
        for (int i = 0; i < kCount; ++i)
            EXPECT_TRUE(post_message(w, 0x400, static_cast<WParam>(i), -i));
        post_quit_message(7);
    });
    Message m;
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(get_message(m), 1);
        EXPECT_EQ(m.window, w);
        EXPECT_EQ(m.wParam, static_cast<WParam>(i));
        EXPECT_EQ(m.lParam, -i);
    }
    EXPECT_EQ(get_message(m), 0);
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 7u);
    poster.join();

    // send_message calls the procedure at once.
    send_message(w, 0x401, 5, 6);
    ASSERT_EQ(seen_messages().size(), 1u);
    EXPECT_EQ(seen_messages()[0].message, 0x401u);
}

TEST_F(Window, AFullQueueRefusesPostsAndDropsInputButKeepsWindowMessages)
{
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    for (std::size_t i = 0; i < kMessageQueueCapacity; ++i)
        ASSERT_TRUE(post_message(w, 0x400, i, 0));
    EXPECT_FALSE(post_message(w, 0x400, 0, 0));
    NativeEvent key = native(NativeEventKind::KeyDown, w);
    key.sdl_keycode = SDLK_a;
    key.sdl_scancode = SDL_SCANCODE_A;
    deliver_native_event(key);
    deliver_native_event(native(NativeEventKind::CloseRequest, w));
    const auto messages = drain_messages();
    ASSERT_EQ(messages.size(), kMessageQueueCapacity + 1);
    EXPECT_EQ(messages.back().message, WM_CLOSE);
}

TEST_F(Window, GetMessageNeverWaitsWhenNothingCanCome)
{
    Message m;
    EXPECT_FALSE(video_thread_running());
    EXPECT_EQ(get_message(m), -1);
    post_message({}, 0x400, 1, 2);
    EXPECT_EQ(get_message(m), 1);
    EXPECT_EQ(m.wParam, 1u);
}

TEST_F(Window, AQuitRequestIsHeldUntilAWindowCanHearIt)
{
    ASSERT_TRUE(start_video_thread());
    request_quit();
    run_on_video_thread([] {}); // the thread has looked at the request, with no window to tell
    EXPECT_TRUE(drain_messages().empty());
    WindowHandle w = make_popup();
    ASSERT_TRUE(w);
    Message m;
    ASSERT_EQ(get_message(m), 0);
    EXPECT_EQ(m.window, w);
    for (int i = 0; i < 5; ++i)
        run_on_video_thread([] {});
    EXPECT_TRUE(drain_messages().empty()); // answered once

    // Every window hears a quit.
    WindowHandle other = make_popup(64, 48, "other");
    ASSERT_TRUE(other);
    NativeEvent quit;
    quit.kind = NativeEventKind::Quit;
    EXPECT_TRUE(deliver_native_event(quit));
    const auto messages = drain_messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].message, WM_QUIT);
    EXPECT_EQ(messages[1].message, WM_QUIT);
    EXPECT_NE(messages[0].window, messages[1].window);
}

TEST_F(Window, SystemMetricsDescribeTheFrameAndTheScreen)
{
    EXPECT_EQ(get_system_metric(SM_CXDLGFRAME), 3);
    EXPECT_EQ(get_system_metric(SM_CYDLGFRAME), 3);
    EXPECT_EQ(get_system_metric(SM_CXBORDER), 1);
    EXPECT_EQ(get_system_metric(SM_CYBORDER), 1);
    EXPECT_EQ(get_system_metric(SM_CYCAPTION), 19);
    EXPECT_EQ(get_system_metric(SM_CXSCREEN), 1024); // no video thread yet
    ASSERT_TRUE(start_video_thread());
    EXPECT_GT(get_system_metric(SM_CXSCREEN), 0);
    EXPECT_GT(get_system_metric(SM_CYSCREEN), 0);
    EXPECT_EQ(get_system_metric(12345), 0);
}
