#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

#include "app/text_source.h"

// Typed keyword lists: the text files that hold most tuning data of the game.
//
//   #SPEED 12.5            named constants before the list ("x..." is hex)
//   BIKES                  the list's name
//     sFalco f1.5 i3 bON   fields: a type character, then the value text
//     * a comment          "*" makes the rest of its line a comment
//     #fSPEED #iSPEED      named constants as float / truncated integer
//   END_LIST
//
// Field types and their bytes in the caller's record: 'f'/'F' float 4, 'd'
// double 8, 'i'/'l' 32-bit integer 4, 'x' hexadecimal 32-bit integer 4, 's'
// string of 32 bytes (31 characters and a terminator), 'b' flag 4 (1 for
// "ON", without regard to case, else 0), '#' named constant 4; any other type
// is ignored. Fields fill a record in order; when the bytes filled reach the
// record size the record is complete and the next one starts a stride
// further.
//
// Caller records hold only int32_t, uint32_t, float, double and char arrays,
// in the order of the list's fields, with each field at the byte offset the
// fields before it add up to (check it with static_assert and offsetof).

// One named constant of a read: its name (31 characters at most; longer
// names are compared on their first 31) and its value.
struct ListConstant {
    char name[32];
    float value;
};
inline constexpr int kMaxListConstants = 256;

// What a read left out.
struct TypedListReport {
    int records_skipped = 0;    // complete records beyond the caller's capacity
    int constants_ignored = 0;  // definitions beyond the 256th
    int fields_not_fitting = 0; // fields reaching past their record's stride
};

// Reads the list `list_name` of the file (from disk, else its archive entry)
// into `records`: at most `capacity` records of `record_size` bytes, `stride`
// bytes apart (stride >= record size). Records beyond the capacity are read
// but not stored, and counted in the report; a field that reaches past its
// record's stride is not stored either. Returns the number of complete records
// stored, 0 when the file or the list is missing or the layout is invalid.
// A read that leaves something out says so on the error output.
int ReadTypedList(const char* path, const char* list_name, void* records, int record_size, int stride,
                  int capacity, TypedListReport* report = nullptr);

// The same over a text already open.
int ReadTypedList(TextSource& source, const char* list_name, void* records, int record_size, int stride,
                  int capacity, TypedListReport* report = nullptr);

// Records of a caller's array: the stride is the record type's size, the
// capacity the array's length.
template <typename Record, std::size_t Extent>
int ReadTypedList(const char* path, const char* list_name, std::span<Record, Extent> records,
                  int record_size = static_cast<int>(sizeof(Record)), TypedListReport* report = nullptr)
{
    static_assert(std::is_trivially_copyable_v<Record>, "typed list records are plain data");
    return ReadTypedList(path, list_name, static_cast<void*>(records.data()), record_size,
                         static_cast<int>(sizeof(Record)), static_cast<int>(records.size()), report);
}

// Word reading of the typed lists. mode 0: the rest of the line, blanks kept;
// mode 1: one word (it ends at a blank, tab or line end, which is left
// unread); mode 2: the rest of the line with blanks and tabs removed. The
// line end is taken but not stored. Stores at most capacity - 1 characters.
// False at the end of the text.
enum : int { kReadRestOfLine = 0, kReadWord = 1, kReadRestOfLineNoBlanks = 2 };
bool ReadWord(TextSource& source, char* buffer, int mode, std::size_t capacity = 256);

// Reads a constant's value from the rest of the line (hexadecimal when it
// begins with 'x' or 'X', else decimal) and adds it to the table unless the
// name is already there (it keeps its first value) or the table holds
// kMaxListConstants entries (then it is ignored). Returns the new count.
int DefineConstant(const char* name, ListConstant* table, int count, TextSource& source,
                   TypedListReport* report = nullptr);

// The value of a named constant (names compared without regard to case);
// 0 when unknown.
float LookupConstant(const char* name, const ListConstant* table, int count);
