#include "race/bike_contacts.h"

#include "race/race.h"

void ResolveBikeContacts(Race& /*race*/)
{
    // The contact pass between bikes is not part of the race yet: bikes
    // pass through each other.
}
