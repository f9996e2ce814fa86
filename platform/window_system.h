#pragma once

#include "platform/native_event.h"
#include "platform/window.h"

// For the platform layer's own use: the window system's state as a whole.
namespace platform {

// Where a queued message comes from decides what happens when the queue is
// full: a posted message fails, keyboard and mouse input is dropped, and a
// window's own messages (close, size, quit) are always kept.
enum class MessageOrigin { Posted, Input, WindowState };

// Queues a message. `key_repeat` marks an auto-repeated key-down, which is
// folded into the same key's key-down still waiting.
bool enqueue_message(const Message& message, MessageOrigin origin, bool key_repeat = false);

// The window-state part of deliver_native_event: close, minimise, maximise,
// restore, move, size, focus and quit.
bool deliver_window_event(const NativeEvent& event);

// Forgets every window, window class and queued message. Called by
// shutdown_video_thread() once the native windows are gone.
void reset_window_system();

} // namespace platform
