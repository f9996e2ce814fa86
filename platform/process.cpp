#include "platform/process.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fault_seam.h"

extern char** environ;

namespace platform {
namespace {

bool fail(std::string& error, const std::string& text)
{
    error = text;
    return false;
}

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// Says why a program file cannot be run, before the system is asked: a
// clearer reason than the start's own error code.
bool check_program(const std::string& program, std::string& error)
{
    struct stat info {};
    if (::stat(program.c_str(), &info) != 0)
        return fail(error, "the program " + quoted(program) + " is not there");
    if (!S_ISREG(info.st_mode))
        return fail(error, quoted(program) + " is not a program file");
    if (::access(program.c_str(), X_OK) != 0)
        return fail(error, "the program " + quoted(program) + " may not be run");
    return true;
}

bool check_folder(const std::string& folder, std::string& error)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return fail(error, "the folder " + quoted(folder) + " is not there");
    return true;
}

} // namespace

bool start_program(const std::string& program, const std::string& folder, std::string& error, int* process)
{
    if (take_fault(Fault::ProgramStart))
        return fail(error, "the system refused to start " + quoted(program));
    if (program.empty())
        return fail(error, "no program was named");
    if (!check_program(program, error) || !check_folder(folder, error))
        return false;

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return fail(error, "cannot prepare the start of " + quoted(program));
    int result = posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = 0;
    if (result == 0) {
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        result = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return fail(error, "cannot start " + quoted(program) + " in " + quoted(folder) + ": " +
                               std::strerror(result));
    if (process)
        *process = static_cast<int>(pid);
    return true;
}

int wait_for_program(int process, std::chrono::milliseconds limit)
{
    if (process <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(static_cast<pid_t>(process), &status, WNOHANG);
        if (done == static_cast<pid_t>(process)) {
            if (WIFEXITED(status))
                return WEXITSTATUS(status);
            if (WIFSIGNALED(status))
                return 128 + WTERMSIG(status);
            return -1;
        }
        if (done < 0 && errno != EINTR)
            return -1; // not a child of ours, or collected already
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace platform
