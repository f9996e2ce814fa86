#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/m_cparse.h"
#include "app/text_source.h"

// The keyed property reader of menu screen files. A screen file starts with
// the header word "tvnmenu" and a version, then nested blocks
// "Begin <type> <name>" ... "end" holding lines "Key = value"; '#' starts a
// comment to the end of its line and words compare without regard to case.
// The first block is the form itself ("Begin form <name>").
//
// Keys are found in file order: a lookup reads forward from where the reader
// stands and never past the next "begin" or "end" word; a found key leaves
// the reader behind its value, a missing one leaves it where the lookup
// began. A second file, the screen's name with the extension ".pat", holds
// default blocks from which a control takes keys its own block lacks.
class FormParser {
public:
    FormParser() = default;
    FormParser(const FormParser&) = delete;
    FormParser& operator=(const FormParser&) = delete;

    // Opens "<screen name cut at its extension>.dat" (and its ".pat" defaults
    // file when there is one) from disk or an archive, checks the header and
    // the form block and reads the form's keys. Throws GameError
    // "File not found : <file>", "version error", "form not found",
    // "ScaleHeight not found in <screen>" or "ScaleWidth not found in <screen>".
    void LoadForm(const char* screen_name);

    // Closes both files; clears the names and the background.
    void Close();

    // Reads words until one equals the key (true, standing behind it); false
    // at the next "begin" or "end" word or at the end, back where it began.
    // Either way the marked position is where the lookup began.
    bool FindKey(const char* key);

    // Typed lookups: false when no file is open or the key (or its value) is
    // missing, the reader then standing where the lookup began. The word
    // after the key (the "=") is skipped, then the value is read.
    bool GetLong(const char* key, std::int32_t& out);       // atol
    bool GetInt(const char* key, std::int32_t& out);        // atoi
    bool GetIntAsFloat(const char* key, float& out);
    bool GetBool(const char* key, bool& out);               // GetLong == 1
    bool GetString(const char* key, char* out, std::size_t capacity = kTokenCapacity);
    bool GetString(const char* key, std::string& out);
    bool GetFloat(const char* key, float& out);
    // "&H00BBGGRR&": the six digits before the closing marker, as hexadecimal
    // (0xBBGGRR). A text too short to hold them is no colour (false).
    bool GetColor(const char* key, std::uint32_t& out);
    // Three numbers on the rest of the key's line ("%i" rules: 0x hex, a
    // leading 0 octal); all three must be there.
    bool GetInt3(const char* key, std::int32_t& a, std::int32_t& b, std::int32_t& c);
    bool GetFloat3(const char* key, float& a, float& b, float& c);

    // Skips to the next "Begin" and reads the type and name words after it.
    bool ReadBegin(char* type, char* name, std::size_t capacity = kTokenCapacity);
    // Reads block headers until one matches; a null (or, for the name, empty)
    // argument matches any. The matching name is copied back into `name`.
    bool FindBlock(const char* type, char* name, std::size_t capacity = kTokenCapacity);

    // The key's value from the named block of the defaults file, searched
    // from its start; the screen file's position and mark stay as they were.
    // False when there is no defaults file, no such block or no such key.
    bool GetDefault(const char* block_name, const char* key, char* out, std::size_t capacity = kTokenCapacity);
    // The same, also matching the block's type (null: any type).
    bool GetDefault(const char* type, const char* block_name, const char* key, char* out,
                    std::size_t capacity = kTokenCapacity);

    // The next word, comments skipped.
    bool NextToken(char* buffer, std::size_t capacity = kTokenCapacity);

    // The marked position: set by MarkPos and by every lookup. RestorePos
    // and Seek move there (a failed move in an archive entry throws
    // "Error in mixer.seekfile").
    void MarkPos();
    void RestorePos();
    void Seek(std::int64_t position);
    std::int64_t MarkedPos() const { return m_MarkedPos; }
    std::int64_t Tell() const { return m_Main.tell(); }

    // value x ScaleWidth / scale divisor; the value itself while no divisor
    // is set.
    void SetScaleDivisor(std::int32_t divisor) { m_ScaleDivisor = divisor; }
    std::int64_t Scale(std::int32_t value) const;

    bool IsOpen() const { return m_Main.is_open(); }
    bool IsArchive() const { return m_Main.from_archive(); }
    bool HasDefaults() const { return m_Defaults.is_open(); }
    const std::string& FileName() const { return m_FileName; }
    const std::string& FormName() const { return m_FormName; }
    float Version() const { return m_Version; }

    // The form's own properties, read by LoadForm.
    std::int32_t ScaleHeight = 0;
    std::int32_t ScaleWidth = 0;
    std::int32_t ScaleLeft = 0;
    std::int32_t ScaleTop = 0;
    std::string BackGround;
    std::uint32_t BackColor = 0;
    std::uint32_t ForeColor = 0;

private:
    bool FindKeyIn(TextSource& source, const char* key);
    // Finds the key, skips the "=", reads the value word.
    bool ValueIn(TextSource& source, const char* key, char* value, std::size_t capacity);
    // Finds the key, skips the "=", reads the rest of the line.
    bool LineValueIn(TextSource& source, const char* key, char* value, std::size_t capacity);
    bool ReadBeginIn(TextSource& source, char* type, char* name, std::size_t capacity);
    bool FindBlockIn(TextSource& source, const char* type, char* name, std::size_t capacity);
    void ReadHeader(const char* screen_name);

    std::string m_FileName;
    TextSource m_Main;
    TextSource m_Defaults;
    std::int32_t m_ScaleDivisor = 0;
    std::int64_t m_MarkedPos = 0;
    std::string m_FormName;
    float m_Version = 0;
};
