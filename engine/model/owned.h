#pragma once

// Deletes a record that its holder owns: one in owner state 2 (owned) or 3
// (built by a transition). A record in state 1 belongs to a freshly loaded
// animation, whose library gives it state 2 before destroying it. The
// pointer is cleared either way.
template <class Record>
void delete_owned(Record*& record)
{
    if (record && (record->owner_state == 2 || record->owner_state == 3))
        delete record;
    record = nullptr;
}

// Deletes every record of a list linked through `next` that its holder owns.
template <class Record>
void delete_owned_list(Record*& first)
{
    Record* r = first;
    while (r) {
        Record* next = r->next;
        delete_owned(r);
        r = next;
    }
    first = nullptr;
}
