#include "app/form_parser.h"

#include <cstring>

#include "app/bounded_text.h"
#include "app/game_error.h"
#include "app/text_compare.h"
#include "app/text_number.h"
#include "app/typed_list.h"

namespace {

// The screen file's name: the screen name cut at the last '.' of its last
// component (a '.' in a folder name such as ".\menu\" is no extension), then
// the extension given.
std::string ScreenFileName(const char* screen_name, const char* extension)
{
    std::string name = screen_name != nullptr ? screen_name : "";
    const std::size_t separator = name.find_last_of("\\/");
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        name.erase(dot);
    }
    return name + extension;
}

} // namespace

void FormParser::LoadForm(const char* screen_name)
{
    Close();
    const char* screen = screen_name != nullptr ? screen_name : "";
    m_FileName = ScreenFileName(screen, ".dat");
    if (!m_Main.open(m_FileName)) {
        const std::string file = m_FileName;
        Close();
        ThrowGameError("File not found : %s", file.c_str());
    }
    // The defaults file: the same name with the extension ".pat"; it need
    // not exist.
    m_Defaults.open(ScreenFileName(screen, ".pat"));
    try {
        ReadHeader(screen);
    } catch (...) {
        Close();
        throw;
    }
}

void FormParser::ReadHeader(const char* screen)
{
    char word[kTokenCapacity];
    if (!ReadToken(m_Main, word, sizeof word) || !EqualsIgnoringCase(word, "tvnmenu")) {
        throw GameError("version error");
    }
    // The version number follows; it is kept but not compared.
    const std::int64_t after_header = m_Main.tell();
    float version = 0;
    if (ReadToken(m_Main, word, sizeof word) && ScanFloat(word, version) > 0) {
        m_Version = version;
    } else {
        m_Main.seek(after_header);
    }

    bool found_begin = false;
    while (ReadToken(m_Main, word, sizeof word)) {
        if (EqualsIgnoringCase(word, "Begin")) {
            found_begin = true;
            break;
        }
    }
    char type[kTokenCapacity];
    char name[kTokenCapacity];
    if (!found_begin || !ReadToken(m_Main, type, sizeof type) || !EqualsIgnoringCase(type, "form") ||
        !ReadToken(m_Main, name, sizeof name)) {
        throw GameError("form not found");
    }
    m_FormName = name;

    if (!GetColor("BackColor", BackColor)) RestorePos();
    if (!GetString("BackGround", BackGround)) RestorePos();
    if (!GetColor("ForeColor", ForeColor)) RestorePos();
    if (!GetInt("ScaleHeight", ScaleHeight)) {
        ThrowGameError("ScaleHeight not found in %s", screen);
    }
    if (!GetInt("ScaleLeft", ScaleLeft)) {
        RestorePos();
        ScaleLeft = 0;
    }
    if (!GetInt("ScaleTop", ScaleTop)) {
        RestorePos();
        ScaleTop = 0;
    }
    if (!GetInt("ScaleWidth", ScaleWidth)) {
        ThrowGameError("ScaleWidth not found in %s", screen);
    }
}

void FormParser::Close()
{
    m_Main.close();
    m_Defaults.close();
    m_FileName.clear();
    m_FormName.clear();
    BackGround.clear();
    m_MarkedPos = 0;
    m_Version = 0;
    ScaleHeight = ScaleWidth = ScaleLeft = ScaleTop = 0;
    BackColor = ForeColor = 0;
}

bool FormParser::FindKeyIn(TextSource& source, const char* key)
{
    if (!source.is_open()) return false;
    m_MarkedPos = source.tell();
    char word[kTokenCapacity];
    while (ReadToken(source, word, sizeof word)) {
        if (EqualsIgnoringCase(word, key)) {
            return true;
        }
        if (EqualsIgnoringCase(word, "begin") || EqualsIgnoringCase(word, "end")) {
            break;
        }
    }
    source.seek(m_MarkedPos);
    return false;
}

bool FormParser::ValueIn(TextSource& source, const char* key, char* value, std::size_t capacity)
{
    if (!FindKeyIn(source, key)) return false;
    char equals[kTokenCapacity];
    if (ReadToken(source, equals, sizeof equals) && ReadToken(source, value, capacity)) {
        return true;
    }
    source.seek(m_MarkedPos);
    return false;
}

bool FormParser::LineValueIn(TextSource& source, const char* key, char* value, std::size_t capacity)
{
    if (!FindKeyIn(source, key)) return false;
    char equals[kTokenCapacity];
    if (ReadToken(source, equals, sizeof equals) && ReadWord(source, value, kReadRestOfLine, capacity)) {
        return true;
    }
    source.seek(m_MarkedPos);
    return false;
}

bool FormParser::FindKey(const char* key)
{
    return FindKeyIn(m_Main, key);
}

bool FormParser::GetLong(const char* key, std::int32_t& out)
{
    char value[kTokenCapacity];
    if (!ValueIn(m_Main, key, value, sizeof value)) return false;
    out = TextToInt(value);
    return true;
}

bool FormParser::GetInt(const char* key, std::int32_t& out)
{
    return GetLong(key, out);
}

bool FormParser::GetIntAsFloat(const char* key, float& out)
{
    std::int32_t value = 0;
    if (!GetInt(key, value)) return false;
    out = static_cast<float>(value);
    return true;
}

bool FormParser::GetBool(const char* key, bool& out)
{
    std::int32_t value = 0;
    if (!GetLong(key, value)) return false;
    out = value == 1;
    return true;
}

bool FormParser::GetString(const char* key, char* out, std::size_t capacity)
{
    char value[kTokenCapacity];
    if (out == nullptr || capacity == 0 || !ValueIn(m_Main, key, value, sizeof value)) return false;
    CopyBounded(out, capacity, value);
    return true;
}

bool FormParser::GetString(const char* key, std::string& out)
{
    char value[kTokenCapacity];
    if (!ValueIn(m_Main, key, value, sizeof value)) return false;
    out = value;
    return true;
}

bool FormParser::GetFloat(const char* key, float& out)
{
    char value[kTokenCapacity];
    if (!ValueIn(m_Main, key, value, sizeof value)) return false;
    out = TextToFloat(value);
    return true;
}

bool FormParser::GetColor(const char* key, std::uint32_t& out)
{
    char value[kTokenCapacity];
    if (!ValueIn(m_Main, key, value, sizeof value)) return false;
    // Six digits and the closing marker at least; a shorter text holds no
    // colour.
    const std::size_t length = std::strlen(value);
    std::uint32_t colour = 0;
    if (length >= 7) {
        char digits[7];
        std::memcpy(digits, value + length - 7, 6);
        digits[6] = 0;
        if (ScanHexUint(digits, colour) > 0) {
            out = colour;
            return true;
        }
    }
    m_Main.seek(m_MarkedPos);
    return false;
}

bool FormParser::GetInt3(const char* key, std::int32_t& a, std::int32_t& b, std::int32_t& c)
{
    char line[kTokenCapacity];
    if (!LineValueIn(m_Main, key, line, sizeof line)) return false;
    std::int32_t values[3];
    const char* at = line;
    for (std::int32_t& value : values) {
        const std::size_t used = ScanAnyBaseInt(at, value);
        if (used == 0) {
            m_Main.seek(m_MarkedPos);
            return false;
        }
        at += used;
    }
    a = values[0];
    b = values[1];
    c = values[2];
    return true;
}

bool FormParser::GetFloat3(const char* key, float& a, float& b, float& c)
{
    char line[kTokenCapacity];
    if (!LineValueIn(m_Main, key, line, sizeof line)) return false;
    float values[3];
    const char* at = line;
    for (float& value : values) {
        const std::size_t used = ScanFloat(at, value);
        if (used == 0) {
            m_Main.seek(m_MarkedPos);
            return false;
        }
        at += used;
    }
    a = values[0];
    b = values[1];
    c = values[2];
    return true;
}

bool FormParser::ReadBeginIn(TextSource& source, char* type, char* name, std::size_t capacity)
{
    if (!source.is_open()) return false;
    char word[kTokenCapacity];
    while (ReadToken(source, word, sizeof word)) {
        if (EqualsIgnoringCase(word, "Begin")) {
            return ReadToken(source, type, capacity) && ReadToken(source, name, capacity);
        }
    }
    return false;
}

bool FormParser::FindBlockIn(TextSource& source, const char* type, char* name, std::size_t capacity)
{
    char found_type[kTokenCapacity];
    char found_name[kTokenCapacity];
    const std::string wanted_name = name != nullptr ? name : "";
    while (ReadBeginIn(source, found_type, found_name, sizeof found_type)) {
        const bool type_matches = type == nullptr || EqualsIgnoringCase(found_type, type);
        const bool name_matches = wanted_name.empty() || EqualsIgnoringCase(found_name, wanted_name.c_str());
        if (type_matches && name_matches) {
            CopyBounded(name, capacity, found_name);
            return true;
        }
    }
    return false;
}

bool FormParser::ReadBegin(char* type, char* name, std::size_t capacity)
{
    if (type == nullptr || name == nullptr || capacity == 0) return false;
    return ReadBeginIn(m_Main, type, name, capacity);
}

bool FormParser::FindBlock(const char* type, char* name, std::size_t capacity)
{
    return FindBlockIn(m_Main, type, name, capacity);
}

bool FormParser::GetDefault(const char* block_name, const char* key, char* out, std::size_t capacity)
{
    return GetDefault(nullptr, block_name, key, out, capacity);
}

bool FormParser::GetDefault(const char* type, const char* block_name, const char* key, char* out,
                            std::size_t capacity)
{
    if (!m_Defaults.is_open() || out == nullptr || capacity == 0) return false;
    const std::int64_t marked = m_MarkedPos;
    m_Defaults.rewind();
    char name[kTokenCapacity];
    CopyBounded(name, sizeof name, block_name != nullptr ? block_name : "");
    char value[kTokenCapacity];
    const bool found = FindBlockIn(m_Defaults, type, name, sizeof name) &&
                       ValueIn(m_Defaults, key, value, sizeof value);
    m_MarkedPos = marked;
    if (found) {
        CopyBounded(out, capacity, value);
    }
    return found;
}

bool FormParser::NextToken(char* buffer, std::size_t capacity)
{
    if (!m_Main.is_open()) return false;
    return ReadToken(m_Main, buffer, capacity);
}

void FormParser::MarkPos()
{
    m_MarkedPos = m_Main.tell();
}

void FormParser::RestorePos()
{
    Seek(m_MarkedPos);
}

void FormParser::Seek(std::int64_t position)
{
    if (m_Main.is_open()) ReturnToPosition(m_Main, position);
}

std::int64_t FormParser::Scale(std::int32_t value) const
{
    if (m_ScaleDivisor == 0) return value;
    return static_cast<std::int64_t>(value) * ScaleWidth / m_ScaleDivisor;
}
