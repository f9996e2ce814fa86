#include "app/command_name.h"

#include <cstring>

#include "app/game_error.h"

namespace {

struct CommandName {
    std::int32_t code;
    char name[20];
};

constexpr CommandName kCommandNames[] = {
    {kCommandNextItem, "INC"},
    {kCommandPreviousItem, "DEC"},
};

} // namespace

std::int32_t FindCommandName(const char* word)
{
    if (word != nullptr) {
        for (const CommandName& command : kCommandNames) {
            if (std::strcmp(command.name, word) == 0) {
                return command.code;
            }
        }
    }
    throw GameError("cmd not found");
}
