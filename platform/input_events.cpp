#include "platform/input_events.h"

#include <deque>
#include <mutex>

namespace platform {
namespace {

std::mutex g_mutex;
std::deque<InputEvent> g_events;
std::size_t g_dropped = 0;

} // namespace

bool poll_input_event(InputEvent& event)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_events.empty())
        return false;
    event = g_events.front();
    g_events.pop_front();
    return true;
}

void inject_input_event(const InputEvent& event)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_events.size() >= kInputEventCapacity) {
        g_events.pop_front();
        ++g_dropped;
    }
    g_events.push_back(event);
}

void clear_input_events()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_events.clear();
}

std::size_t dropped_input_events()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dropped;
}

} // namespace platform
