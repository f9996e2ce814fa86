#include "sim/step_isolation.h"

namespace {

thread_local IsolatedStep* t_isolatedStep = nullptr;

} // namespace

IsolatedStep* CurrentIsolatedStep()
{
    return t_isolatedStep;
}

void SetCurrentIsolatedStep(IsolatedStep* step)
{
    t_isolatedStep = step;
}

void BreakIsolation()
{
    throw StepIsolationBreak{};
}
