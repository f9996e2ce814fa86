#pragma once

#include <memory>

class GameApp;

// The program-wide objects. They are built in a fixed order when the program
// starts, before WinMain runs, and destroyed in the reverse order when it
// ends; nothing is built by a static initialiser. main() keeps one
// ProgramObjects around WinMain; a test builds its own. Only one may exist at
// a time.
class ProgramObjects {
public:
    ProgramObjects();
    ~ProgramObjects();
    ProgramObjects(const ProgramObjects&) = delete;
    ProgramObjects& operator=(const ProgramObjects&) = delete;

private:
    std::unique_ptr<GameApp> m_pGameApp;
};
