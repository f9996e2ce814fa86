// Fuzz target: the input is a menu screen file and, after a first zero byte,
// its defaults file (no zero byte: no defaults file). Both are written to a
// folder of this process and loaded as a screen is: the header and the form
// block (FormParser), then every element by its type word into its control
// with the current menu manager (Form). Afterwards the focus is walked both
// ways and every element gets the page and row notifications. A damaged file
// may only be refused with a GameError; nothing may crash, overrun or hang.
//
// No display is set up: a game font or a sprite fails its load with a
// message box (recorded, never shown) and a GameError, as it does when the
// display is lost.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "app/form_parser.h"
#include "app/game_error.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "platform/message_box.h"

namespace {

// The folder the screen files are written to, entered once.
const std::filesystem::path& fuzz_folder()
{
    static const std::filesystem::path folder = [] {
        static const int marker = 0;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("torvane-screen-fuzz-" + std::to_string(stamp) + "-" +
                                      std::to_string(reinterpret_cast<std::uintptr_t>(&marker) & 0xFFFFFF));
        std::filesystem::create_directories(path);
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

void write_file(const std::filesystem::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The folder first, so that it outlives its remover at exit.
    const std::filesystem::path& folder = fuzz_folder();
    static RemoveFolder remove_at_exit;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = input.find('\0');
    write_file(folder / "screen.dat", input.substr(0, zero));
    std::error_code ec;
    if (zero == std::string_view::npos)
        std::filesystem::remove(folder / "screen.pat", ec);
    else
        write_file(folder / "screen.pat", input.substr(zero + 1));

    MenuManager manager;
    SetCurrentMenuManager(&manager);
    manager.SetScreens({"screen"});
    Form& form = *manager.Screen(0);
    form.m_pOwner = &manager;
    try {
        FormParser parser;
        parser.LoadForm("screen");
        form.Load(parser);
        form.m_nId = 0;
        const std::int32_t count = form.ElementCount();
        for (std::int32_t i = 0; i <= count; ++i)
            form.FocusNext();
        for (std::int32_t i = 0; i <= count; ++i)
            form.FocusPrevious();
        form.FindHotKey(kKeyEnter);
        for (std::int32_t n = 0; n < count; ++n)
            for (std::int32_t code = -2; code >= -7; --code)
                form.Element(n)->Notify(code);
    } catch (const GameError&) {
        // A refused file.
    }
    form.Clear();
    manager.Reset();
    SetCurrentMenuManager(nullptr);
    platform::clear_recorded_message_boxes();
    return 0;
}
