#include "app/play_seam.h"

namespace {

PlaySeam* g_pPlaySeam = nullptr;

} // namespace

PlaySeam* ThePlaySeam()
{
    return g_pPlaySeam;
}

void SetPlaySeam(PlaySeam* seam)
{
    g_pPlaySeam = seam;
}
