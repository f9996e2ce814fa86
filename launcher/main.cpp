#include "launcher/launcher.h"

int main()
{
    return RunLauncher();
}
