// Fuzz target: the input is a typed keyword list file. The first three bytes
// choose the caller's record layout (record size, stride, capacity); the
// rest is the text, read as a plain file and as an archive entry. The list
// "L" is read into an array of exactly the chosen capacity (AddressSanitizer
// sees any byte written past it), and the text is also walked with the word
// and line readers. Nothing may crash, overrun or hang.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/m_cparse.h"
#include "app/typed_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return 0;
    const int record_size = 1 + data[0] % 80;
    const int stride = record_size + data[1] % 16;
    const int capacity = data[2] % 16;
    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

    for (bool from_archive : {false, true}) {
        TextSource source;
        source.attach_bytes(text, from_archive);
        std::vector<std::uint8_t> records(static_cast<std::size_t>(capacity) * static_cast<std::size_t>(stride));
        TypedListReport report;
        const int count = ReadTypedList(source, "L", records.empty() ? nullptr : records.data(), record_size,
                                        stride, capacity, &report);
        if (count < 0 || count > capacity || report.records_skipped < 0) __builtin_trap();

        source.rewind();
        char word[kTokenCapacity];
        while (ReadToken(source, word)) {
        }
        source.rewind();
        while (ReadLine(source, word)) {
        }
        source.rewind();
        while (ReadWord(source, word, kReadRestOfLineNoBlanks)) {
        }
    }
    return 0;
}
