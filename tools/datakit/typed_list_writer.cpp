#include "tools/datakit/typed_list_writer.h"


namespace datakit {

namespace {

void check_word(std::string_view word)
{
    require_word(word, "a typed list");
}

} // namespace

TypedField TypedField::f(float value) { return {"f" + format_float(value)}; }
TypedField TypedField::d(double value) { return {"d" + format_double(value)}; }
TypedField TypedField::i(std::int32_t value) { return {"i" + std::to_string(value)}; }
TypedField TypedField::x(std::uint32_t value) { return {"x" + format_hex(value)}; }

TypedField TypedField::s(std::string_view value)
{
    check_word(value);
    return {"s" + std::string(value)};
}

TypedField TypedField::b(bool on) { return {on ? "bON" : "bOFF"}; }

TypedField TypedField::constant(char kind, std::string_view name)
{
    check_word(name);
    return {std::string("#") + kind + std::string(name)};
}

TypedField TypedField::raw(std::string_view text)
{
    check_word(text);
    return {std::string(text)};
}

TypedListWriter& TypedListWriter::constant(std::string_view name, float value)
{
    check_word(name);
    add_line("#" + std::string(name) + " " + format_float(value));
    return *this;
}

TypedListWriter& TypedListWriter::constant_hex(std::string_view name, std::uint32_t value)
{
    check_word(name);
    add_line("#" + std::string(name) + " x" + format_hex(value));
    return *this;
}

TypedListWriter& TypedListWriter::begin_list(std::string_view name)
{
    check_word(name);
    add_line(std::string(name));
    return *this;
}

TypedListWriter& TypedListWriter::record(std::initializer_list<TypedField> fields)
{
    std::string line;
    for (const TypedField& field : fields) {
        line += line.empty() ? "    " : " ";
        line += field.text;
    }
    add_line(std::move(line));
    return *this;
}

TypedListWriter& TypedListWriter::comment(std::string_view text)
{
    add_line("    * " + std::string(text));
    return *this;
}

TypedListWriter& TypedListWriter::end_list()
{
    add_line("END_LIST");
    return *this;
}

} // namespace datakit
