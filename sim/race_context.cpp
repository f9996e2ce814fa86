#include "sim/race_context.h"

RaceContext& CurrentRaceContext()
{
    static RaceContext context;
    return context;
}
