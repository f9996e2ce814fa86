#include "sim/race_conditions.h"

RaceConditions& CurrentRaceConditions()
{
    static RaceConditions conditions;
    return conditions;
}
