// Fuzz target: the input is a menu set file. It is written to a folder of
// this process beside a menu folder "menu" that holds one small screen
// "s" (so that a "PATH" of ".\menu" can be entered and a "PRELOAD" of it
// loads), and read as the game reads a menu set (MenuManager::Load: the
// sections, the screen, state and transition tables, the preloaded
// screens, the samples and the preloads). Afterwards every command of the
// transitions is given from every state the file names, and every state's
// screen is asked for. A damaged file may only be refused with a
// GameError; nothing may crash, overrun or hang.
//
// No display and no sound are set up: a preloaded font or sprite strip
// fails its load with a message box (recorded, never shown) and a
// GameError, as it does when the display is lost.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "app/game_error.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"

namespace {

void write_file(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The folder the menu file is written to, entered once, with its menu folder.
const std::filesystem::path& fuzz_folder()
{
    static const std::filesystem::path folder = [] {
        static const int marker = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("torvane-menu-file-fuzz-" + std::to_string(stamp) + "-" +
                                      std::to_string(reinterpret_cast<std::uintptr_t>(&marker) & 0xFFFFFF));
        std::filesystem::create_directories(path / "menu");
        write_file(path / "menu" / "s.dat", "tvnmenu 1.0\r\nBegin form s\r\nScaleHeight = 480\r\n"
                                            "ScaleLeft = 0\r\nScaleTop = 0\r\nScaleWidth = 640\r\nend\r\n");
        std::filesystem::current_path(path);
        platform::set_message_box_recording(true);
        return path;
    }();
    return folder;
}

// The folder is removed when the process ends.
struct RemoveFolder {
    ~RemoveFolder()
    {
        std::error_code ec;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
        std::filesystem::remove_all(fuzz_folder(), ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The folder first, so that it outlives its remover at exit.
    const std::filesystem::path& folder = fuzz_folder();
    static RemoveFolder remove_at_exit;
    write_file(folder / "set.dat", std::string_view(reinterpret_cast<const char*>(data), size));

    MenuManager manager;
    SetCurrentMenuManager(&manager);
    try {
        manager.Load("set.dat");
        // A long transition table stays a quick input: a few hundred steps.
        const std::size_t steps = manager.m_Transitions.size() < 64 ? manager.m_Transitions.size() : 64;
        for (std::size_t from = 0; from < steps; ++from)
            for (std::size_t t = 0; t < steps; ++t) {
                manager.m_nState = manager.m_Transitions[from].state;
                manager.NextState(manager.m_Transitions[t].command);
            }
        for (const MenuManager::StateScreen& pair : manager.m_StateScreens)
            manager.ScreenForState(pair.state);
    } catch (const GameError&) {
        // A refused file.
    }
    std::error_code ec;
    std::filesystem::current_path(folder, ec);
    manager.Reset();
    SetCurrentMenuManager(nullptr);
    platform::clear_recorded_message_boxes();
    return 0;
}
