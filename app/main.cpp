#include "app/program_objects.h"
#include "app/win_main.h"
#include "platform/video_thread.h"

int main()
{
    // Ctrl+C and a polite kill close the program like its window does.
    platform::catch_quit_signals();
    return RunGuarded([] {
        ProgramObjects objects;
        return WinMain();
    });
}
