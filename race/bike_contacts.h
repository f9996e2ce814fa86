#pragma once

class Race;

// Contacts between bikes, once per simulation pass after the sub-steps of
// every bike: riders that touch are let through as a glancing touch or
// thrown into crash states.
void ResolveBikeContacts(Race& race);
