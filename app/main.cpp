#include "app/startup/program_objects.h"
#include "app/startup/win_main.h"
#include "platform/video_thread.h"

int main()
{
    // Ctrl+C and a polite kill close the program like its window does.
    platform::catch_quit_signals();
    return RunGuarded([] {
        // The program-wide objects live around WinMain: built first, in
        // their order, and destroyed in reverse after it returns.
        ProgramObjects objects;
        return WinMain();
    });
}
