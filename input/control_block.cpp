#include "input/control_block.h"

const char* const kControlNames[kControlCount] = {
    "Accelerator", "Brake", "Steer Left", "Steer Right", "Shift Up", "Shift Down", "Hang On", "Look Behind",
};

ControlBlock& DefaultControlBlock()
{
    static ControlBlock block;
    return block;
}
