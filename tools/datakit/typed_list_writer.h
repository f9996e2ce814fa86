#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tools/datakit/text_file_builder.h"

namespace datakit {

// One field of a typed keyword list: a type character followed by the value
// text ("f1.5", "i3", "sABC", "bON", "#fSPEED").
struct TypedField {
    std::string text;

    static TypedField f(float value);
    static TypedField d(double value);
    static TypedField i(std::int32_t value);
    static TypedField x(std::uint32_t value);       // hexadecimal
    static TypedField s(std::string_view value);    // no blanks; the reader keeps 31 characters
    static TypedField b(bool on);                   // "bON" / "bOFF"
    // A named constant: kind 'f' stores it as a float, 'i' as a truncated integer.
    static TypedField constant(char kind, std::string_view name);
    // Any text as is (unknown types, damaged fields).
    static TypedField raw(std::string_view text);
};

// Writes typed keyword list files: named constants ("#NAME value") before
// the lists, then lists that begin with their name, hold one record of
// typed fields per line, may hold "*" comment lines, and end with
// "END_LIST". Most ".dat" files of the game are written this way.
class TypedListWriter : public TextFileBuilder {
public:
    explicit TypedListWriter(LineEnd line_end = LineEnd::CrLf) : TextFileBuilder(line_end) {}

    // "#NAME value"; a value text starting with 'x' is hexadecimal.
    TypedListWriter& constant(std::string_view name, float value);
    TypedListWriter& constant_hex(std::string_view name, std::uint32_t value);

    TypedListWriter& begin_list(std::string_view name);
    // One record (or any run of fields) on one line.
    TypedListWriter& record(std::initializer_list<TypedField> fields);
    TypedListWriter& comment(std::string_view text); // "* text", inside a list
    TypedListWriter& end_list();                     // "END_LIST"
};

} // namespace datakit
