#include "app/typed_list.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/bounded_text.h"
#include "app/text_compare.h"
#include "app/text_number.h"

namespace {

constexpr std::size_t kWordCapacity = 256;
constexpr std::size_t kStringFieldSize = 32;

bool IsListBlank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A name as the table keeps it: at most 31 characters.
void ConstantName(const char* name, char (&out)[sizeof(ListConstant::name)])
{
    CopyBounded(out, sizeof out, name != nullptr ? name : "");
}

int FindConstant(const char* name, const ListConstant* table, int count)
{
    char key[sizeof(ListConstant::name)];
    ConstantName(name, key);
    for (int i = 0; i < count; ++i) {
        if (EqualsIgnoringCase(table[i].name, key)) {
            return i;
        }
    }
    return -1;
}

// Size in the record of a field of this type; 0 for a type that is ignored.
int FieldSize(char type)
{
    switch (type) {
    case 'f': case 'F': case 'i': case 'l': case 'x': case 'b': case '#':
        return 4;
    case 'd':
        return 8;
    case 's':
        return static_cast<int>(kStringFieldSize);
    default:
        return 0;
    }
}

// Converts the field's value text into its bytes (little-endian, as the
// records are laid out in memory).
void EncodeField(const char* word, const ListConstant* constants, int constant_count, std::uint8_t* out)
{
    const char type = word[0];
    const char* text = word + 1;
    switch (type) {
    case 'f': case 'F': {
        float value = 0;
        ScanFloat(text, value);
        std::memcpy(out, &value, sizeof value);
        break;
    }
    case 'd': {
        double value = 0;
        ScanDouble(text, value);
        std::memcpy(out, &value, sizeof value);
        break;
    }
    case 'i': case 'l': {
        std::int32_t value = 0;
        ScanDecimalInt(text, value);
        std::memcpy(out, &value, sizeof value);
        break;
    }
    case 'x': {
        std::uint32_t value = 0;
        ScanHexUint(text, value);
        std::memcpy(out, &value, sizeof value);
        break;
    }
    case 's': {
        // 31 characters at most; the rest of the field is zero.
        std::memset(out, 0, kStringFieldSize);
        CopyBounded(reinterpret_cast<char*>(out), kStringFieldSize, text);
        break;
    }
    case 'b': {
        // The whole flag is written, so it reads as 0 or 1 as an integer.
        std::memset(out, 0, 4);
        out[0] = EqualsIgnoringCase(text, "ON") ? 1 : 0;
        break;
    }
    case '#': {
        // '#', the kind ('f' float, anything else a truncated integer), the name.
        const char kind = text[0];
        const char* name = kind != 0 ? text + 1 : text;
        const float value = LookupConstant(name, constants, constant_count);
        if (kind == 'f' || kind == 'F') {
            std::memcpy(out, &value, sizeof value);
        } else {
            const std::int32_t truncated = TruncateToInt32(value);
            std::memcpy(out, &truncated, sizeof truncated);
        }
        break;
    }
    default:
        break;
    }
}

// Where the fields go: the caller's array, record by record.
class RecordFiller {
public:
    RecordFiller(void* records, int record_size, int stride, int capacity)
        : base_(static_cast<std::uint8_t*>(records)), record_size_(record_size), stride_(stride),
          capacity_(capacity)
    {
    }

    void add(const char* word, const ListConstant* constants, int constant_count)
    {
        const int size = FieldSize(word[0]);
        if (size == 0) {
            return;
        }
        if (stored_ < capacity_) {
            if (filled_ + size <= stride_) {
                std::uint8_t* at = base_ + static_cast<std::size_t>(stored_) * static_cast<std::size_t>(stride_) +
                                   static_cast<std::size_t>(filled_);
                EncodeField(word, constants, constant_count, at);
            } else {
                ++not_fitting_;
            }
        }
        filled_ += size;
        if (filled_ >= record_size_) {
            filled_ = 0;
            if (stored_ < capacity_) {
                ++stored_;
            } else {
                ++skipped_;
            }
        }
    }

    int stored() const { return stored_; }
    int skipped() const { return skipped_; }
    int not_fitting() const { return not_fitting_; }

private:
    std::uint8_t* base_;
    std::int64_t record_size_;
    std::int64_t stride_;
    int capacity_;
    std::int64_t filled_ = 0;
    int stored_ = 0;
    int skipped_ = 0;
    int not_fitting_ = 0;
};

// Words up to the list's name; '#' words define constants on the way.
bool FindList(TextSource& source, const char* list_name, std::vector<ListConstant>& constants,
              int& constant_count, TypedListReport& report)
{
    char word[kWordCapacity];
    while (ReadWord(source, word, kReadWord, sizeof word)) {
        if (word[0] == '#') {
            constant_count = DefineConstant(word + 1, constants.data(), constant_count, source, &report);
        } else if (EqualsIgnoringCase(word, list_name)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool ReadWord(TextSource& source, char* buffer, int mode, std::size_t capacity)
{
    if (buffer == nullptr || capacity == 0) return false;
    BoundedText text(buffer, capacity);
    if (mode == kReadWord) {
        while (IsListBlank(source.peek())) source.get();
        if (source.at_end()) return false;
        while (!source.at_end() && !IsListBlank(source.peek())) text.put(source.get());
        return true;
    }
    if (source.at_end()) return false;
    for (int c = source.get(); c >= 0 && c != '\n'; c = source.get()) {
        if (c == '\r') continue;
        if (mode == kReadRestOfLineNoBlanks && (c == ' ' || c == '\t')) continue;
        text.put(c);
    }
    return true;
}

int DefineConstant(const char* name, ListConstant* table, int count, TextSource& source, TypedListReport* report)
{
    char text[kWordCapacity];
    if (!ReadWord(source, text, kReadRestOfLineNoBlanks, sizeof text)) {
        text[0] = 0;
    }
    float value = 0;
    if (text[0] == 'x' || text[0] == 'X') {
        std::uint32_t bits = 0;
        ScanHexUint(text + 1, bits);
        value = static_cast<float>(bits);
    } else {
        ScanFloat(text, value);
    }
    if (table == nullptr || count < 0 || FindConstant(name, table, count) >= 0) {
        return count;
    }
    if (count >= kMaxListConstants) {
        if (report != nullptr) ++report->constants_ignored;
        return count;
    }
    ConstantName(name, table[count].name);
    table[count].value = value;
    return count + 1;
}

float LookupConstant(const char* name, const ListConstant* table, int count)
{
    if (table == nullptr) return 0;
    const int index = FindConstant(name, table, count);
    return index >= 0 ? table[index].value : 0.0f;
}

int ReadTypedList(TextSource& source, const char* list_name, void* records, int record_size, int stride,
                  int capacity, TypedListReport* report)
{
    TypedListReport local;
    TypedListReport& out = report != nullptr ? *report : local;
    out = TypedListReport{};
    if (!source.is_open() || list_name == nullptr || record_size <= 0 || stride < record_size || capacity < 0 ||
        (records == nullptr && capacity > 0)) {
        return 0;
    }

    std::vector<ListConstant> constants(kMaxListConstants);
    int constant_count = 0;
    if (!FindList(source, list_name, constants, constant_count, out)) {
        return 0;
    }

    RecordFiller filler(records, record_size, stride, capacity);
    char word[kWordCapacity];
    while (ReadWord(source, word, kReadWord, sizeof word)) {
        if (EqualsIgnoringCase(word, "END_LIST")) {
            break;
        }
        if (std::strcmp(word, "*") == 0) {
            ReadWord(source, word, kReadRestOfLine, sizeof word);
            continue;
        }
        filler.add(word, constants.data(), constant_count);
    }
    out.records_skipped = filler.skipped();
    out.fields_not_fitting = filler.not_fitting();
    return filler.stored();
}

int ReadTypedList(const char* path, const char* list_name, void* records, int record_size, int stride,
                  int capacity, TypedListReport* report)
{
    TypedListReport local;
    TypedListReport& out = report != nullptr ? *report : local;
    out = TypedListReport{};
    TextSource source;
    if (path == nullptr || !source.open(path)) {
        return 0;
    }
    const int count = ReadTypedList(source, list_name, records, record_size, stride, capacity, &out);
    source.close();
    if (out.records_skipped > 0) {
        std::fprintf(stderr, "%s: list %s holds %d records more than the %d that fit; they are skipped\n", path,
                     list_name, out.records_skipped, capacity);
    }
    if (out.constants_ignored > 0) {
        std::fprintf(stderr, "%s: %d named constants past the first %d are ignored\n", path,
                     out.constants_ignored, kMaxListConstants);
    }
    if (out.fields_not_fitting > 0) {
        std::fprintf(stderr, "%s: list %s has %d fields that do not fit their record; they are skipped\n", path,
                     list_name, out.fields_not_fitting);
    }
    return count;
}
