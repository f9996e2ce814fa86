#include "race/overlay_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/text_compare.h"
#include "app/typed_list.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string Quoted(const char* text)
{
    return std::string("\"") + text + "\"";
}

bool Fail(std::string& why, const char* path, const std::string& what)
{
    why = std::string(path) + ": " + what;
    return false;
}

bool Terminated(const char (&name)[32])
{
    return std::memchr(name, 0, sizeof name) != nullptr;
}

bool SideOk(std::int32_t v)
{
    return v > 0 && v <= kOverlayMaxSide;
}

// The flag and start-light sheets: one record, a named sheet of 1 or more
// frames of a positive size.
bool ReadPicture(const char* path, const char* list, OverlayPicture& out, std::string& why)
{
    TypedListReport report;
    OverlayPicture records[1]{};
    const int n = ReadTypedList(path, list, records, sizeof(OverlayPicture), sizeof(OverlayPicture), 1, &report);
    if (n != 1 || report.records_skipped)
        return Fail(why, path, "the list " + Quoted(list) + " must hold one picture");
    out = records[0];
    if (!Terminated(out.name) || out.name[0] == '\0')
        return Fail(why, path, "the picture of " + Quoted(list) + " has no name");
    if (out.frames < 1 || out.frames > kOverlayMaxFrames || !SideOk(out.width) || !SideOk(out.height))
        return Fail(why, path, "the picture of " + Quoted(list) + " has a bad frame count or size");
    out.frame = -1;
    return true;
}

bool ReadFonts(const char* path, OverlayDefinition& out, std::string& why)
{
    TypedListReport report;
    std::int32_t count[1] = {};
    if (ReadTypedList(path, "NUM_FONTS", count, 4, 4, 1, &report) != 1 || report.records_skipped)
        return Fail(why, path, "\"NUM_FONTS\" must hold one number");
    if (count[0] < 1 || count[0] > kOverlayMaxFonts)
        return Fail(why, path, "the font count " + std::to_string(count[0]) + " is not 1 to " +
                                   std::to_string(kOverlayMaxFonts));
    out.fonts.assign(static_cast<std::size_t>(count[0]), OverlayFont{});
    report = {};
    const int n = ReadTypedList(path, "FONTS", out.fonts.data(), sizeof(OverlayFont), sizeof(OverlayFont), count[0],
                                &report);
    if (n != count[0] || report.records_skipped)
        return Fail(why, path, "\"FONTS\" does not hold " + std::to_string(count[0]) + " fonts");
    for (std::size_t k = 0; k < out.fonts.size(); ++k) {
        const OverlayFont& f = out.fonts[k];
        const bool ok = Terminated(f.file) && f.file[0] && SideOk(f.cellWidth) && SideOk(f.cellHeight) &&
                        f.across >= 1 && f.count >= 1 && f.first >= 0 && f.first <= 255 &&
                        f.count <= 256 - f.first;
        if (!ok)
            return Fail(why, path, "font " + std::to_string(k) + " has a bad name or grid");
    }
    return true;
}

bool ReadElementNames(const char* path, const std::string& list, OverlayDefinition& out, std::string& why)
{
    // One more than needed, so that a longer list shows.
    char names[kOverlayElements + 1][32] = {};
    TypedListReport report;
    const int n = ReadTypedList(path, list.c_str(), names, 32, 32, kOverlayElements + 1, &report);
    if (n != kOverlayElements || report.records_skipped)
        return Fail(why, path, "the list " + Quoted(list.c_str()) + " must hold exactly 19 element names");
    for (int e = 0; e < kOverlayElements; ++e) {
        if (!Terminated(names[e]) || names[e][0] == '\0')
            return Fail(why, path, "element " + std::to_string(e) + " has no name");
        out.elements[e] = OverlayElement{};
        out.elements[e].name = names[e];
    }
    return true;
}

bool ReadBox(const char* path, OverlayElement& el, std::string& why)
{
    const std::string list = el.name + "_DBOX";
    TypedListReport report;
    el.boxValues = ReadTypedList(path, list.c_str(), el.box, 4, 4, kOverlayBoxValues, &report);
    if (report.records_skipped)
        return Fail(why, path, Quoted(list.c_str()) + " holds more than 8 values");
    if (el.box[2] < 0 || el.box[3] < 0 || el.box[2] > kOverlayMaxSide || el.box[3] > kOverlayMaxSide ||
        std::abs(static_cast<long long>(el.box[0])) > kOverlayMaxSide ||
        std::abs(static_cast<long long>(el.box[1])) > kOverlayMaxSide)
        return Fail(why, path, "the box of " + Quoted(el.name.c_str()) + " is out of the screen's range");
    for (int k = 4; k < kOverlayBoxValues; ++k)
        if (el.box[k] < 0 || el.box[k] > 255)
            return Fail(why, path, "the fill of " + Quoted(el.name.c_str()) + " is not 0 to 255");
    return true;
}

bool ReadContents(const char* path, int fonts, OverlayElement& el, std::vector<OverlaySheet>& sheets,
                  std::string& why)
{
    const std::string num = el.name + "_NUM";
    std::int32_t counts[2] = {};
    TypedListReport report;
    const int n = ReadTypedList(path, num.c_str(), counts, 4, 4, 2, &report);
    if (report.records_skipped || n == 1)
        return Fail(why, path, Quoted(num.c_str()) + " must hold two numbers");
    const int texts = counts[0], sprites = counts[1];
    if (texts < 0 || texts > kOverlayMaxTexts || sprites < 0 || sprites > kOverlayMaxSprites)
        return Fail(why, path, Quoted(num.c_str()) + " counts more texts or sprites than an element holds");

    const std::string spriteList = el.name + "_SPRITE";
    el.sprites.assign(static_cast<std::size_t>(sprites), OverlaySprite{});
    report = {};
    if (sprites > 0 && (ReadTypedList(path, spriteList.c_str(), el.sprites.data(), kOverlaySpriteFileBytes,
                                      sizeof(OverlaySprite), sprites, &report) != sprites ||
                        report.records_skipped))
        return Fail(why, path, Quoted(spriteList.c_str()) + " does not hold " + std::to_string(sprites) + " sprites");
    const std::string textList = el.name + "_TEXT";
    el.texts.assign(static_cast<std::size_t>(texts), OverlayText{});
    report = {};
    if (texts > 0 && (ReadTypedList(path, textList.c_str(), el.texts.data(), sizeof(OverlayText),
                                    sizeof(OverlayText), texts, &report) != texts ||
                      report.records_skipped))
        return Fail(why, path, Quoted(textList.c_str()) + " does not hold " + std::to_string(texts) + " texts");

    for (std::size_t k = 0; k < el.sprites.size(); ++k) {
        OverlaySprite& s = el.sprites[k];
        const bool ok = Terminated(s.name) && s.name[0] && SideOk(s.width) && SideOk(s.height) &&
                        s.frame > -kOverlayMaxFrames && s.frame < kOverlayMaxFrames && s.code >= 0 &&
                        s.y > -kOverlayMaxSide && s.y < kOverlayMaxSide && s.x > -kOverlayMaxSide &&
                        s.x < kOverlayMaxSide;
        if (!ok)
            return Fail(why, path, "sprite " + std::to_string(k) + " of " + Quoted(el.name.c_str()) +
                                       " has a bad name, size, frame or code");
        s.picture = RegisterOverlaySheet(sheets, s);
        if (IsMenuCode(s.code))
            el.entries = std::max(el.entries, EntryOfCode(s.code));
        if (s.y < 0)
            el.rowHeight = s.height;
    }
    for (std::size_t k = 0; k < el.texts.size(); ++k) {
        OverlayText& t = el.texts[k];
        const bool ok = Terminated(t.text) && t.font >= 0 && t.font < fonts && t.code >= 0 &&
                        t.x > -kOverlayMaxSide && t.x < kOverlayMaxSide && t.y > -kOverlayMaxSide &&
                        t.y < kOverlayMaxSide;
        if (!ok)
            return Fail(why, path, "text " + std::to_string(k) + " of " + Quoted(el.name.c_str()) +
                                       " has a bad font, code or place");
    }
    return true;
}

} // namespace

int RegisterOverlaySheet(std::vector<OverlaySheet>& sheets, const OverlaySprite& sprite)
{
    const int frames = sprite.frame < 0 ? -sprite.frame + 1 : sprite.frame + 1;
    for (std::size_t k = 0; k < sheets.size(); ++k) {
        if (EqualsIgnoringCase(sheets[k].name, sprite.name)) {
            if (frames > sheets[k].frames) {
                sheets[k].frames = frames;
                sheets[k].width = sprite.width;
                sheets[k].height = sprite.height;
            }
            return static_cast<int>(k);
        }
    }
    sheets.push_back(OverlaySheet{sprite.name, sprite.width, sprite.height, frames});
    return static_cast<int>(sheets.size()) - 1;
}

std::string OverlayFileName(int width, bool hardware)
{
    char name[48];
    std::snprintf(name, sizeof name, "Data\\OP%d%c.dat", width, hardware ? 'h' : 's');
    return name;
}

std::string OverlaySessionList(int session, bool championship, bool network)
{
    std::string list;
    if (session == 0)
        list = "PRACTICE";
    else if (session == 1)
        list = "FREE_PRACTICE";
    else if (session == 2)
        list = "QUALIFY";
    else
        list = championship ? "CHAMPIONSHIP" : "SINGLE_RACE";
    if (session == 6)
        list += "_ARCADE";
    if (network)
        list += "_MULTIPLAYER";
    return list;
}

bool ReadOverlayFile(const char* path, const char* trackName, const std::string& sessionList,
                     OverlayDefinition& out, std::string& why)
{
    out = OverlayDefinition{};
    if (!ReadPicture(path, "FLAGS", out.flags, why) || !ReadPicture(path, trackName, out.lights, why) ||
        !ReadFonts(path, out, why) || !ReadElementNames(path, sessionList, out, why))
        return false;
    for (OverlayElement& el : out.elements)
        if (!ReadBox(path, el, why))
            return false;
    for (OverlayElement& el : out.elements)
        if (!ReadContents(path, static_cast<int>(out.fonts.size()), el, out.sheets, why))
            return false;
    // A scrolling text row is the height of its font (the last one read
    // wins, as for sprites).
    for (OverlayElement& el : out.elements)
        for (const OverlayText& t : el.texts)
            if (t.y < 0)
                el.rowHeight = out.fonts[static_cast<std::size_t>(t.font)].cellHeight;
    return true;
}

std::string CockpitFileName(const char* model)
{
    return std::string("Gfx\\Cockpit\\") + model + "\\Cockpit.dat";
}

bool ReadCockpitFile(const char* path, CockpitDefinition& out, std::string& why)
{
    out = CockpitDefinition{};
    TypedListReport report;
    CockpitNeedle needle[1]{};
    if (ReadTypedList(path, "NEEDLE", needle, sizeof(CockpitNeedle), sizeof(CockpitNeedle), 1, &report) != 1 ||
        report.records_skipped)
        return Fail(why, path, "\"NEEDLE\" must hold one record");
    out.needle = needle[0];
    if (!std::isfinite(out.needle.scale) || out.needle.maxRpm <= 0)
        return Fail(why, path, "the needle's scale or maximum engine speed is bad");

    report = {};
    const int pictures = ReadTypedList(path, "COCKPIT", out.pictures, kCockpitPictureFileBytes,
                                       sizeof(CockpitPicture), kCockpitPictures, &report);
    if (pictures != kCockpitPictures || report.records_skipped)
        return Fail(why, path, "\"COCKPIT\" must hold four pictures");
    for (int k = 0; k < kCockpitPictures; ++k) {
        const CockpitPicture& p = out.pictures[k];
        if (!Terminated(p.name) || p.frames < 0 || p.frames > kOverlayMaxFrames)
            return Fail(why, path, "cockpit picture " + std::to_string(k) + " has a bad name or frame count");
        if (p.frames > 0 && (!p.name[0] || !SideOk(p.width) || !SideOk(p.height) || p.spacing < -p.width ||
                             p.spacing > kOverlayMaxSide))
            return Fail(why, path, "cockpit picture " + std::to_string(k) + " has a bad size or spacing");
    }
    // Digits need ten frames, one for each of '0'..'9'.
    for (int k = 0; k < 2; ++k)
        if (out.pictures[k].frames > 0 && out.pictures[k].frames < 10)
            return Fail(why, path, "cockpit picture " + std::to_string(k) + " needs ten digit frames");

    out.revLights.assign(kCockpitMaxRevLights, RevLight{});
    report = {};
    const int lights = ReadTypedList(path, "RPM", out.revLights.data(), sizeof(RevLight), sizeof(RevLight),
                                     kCockpitMaxRevLights, &report);
    if (report.records_skipped)
        return Fail(why, path, "\"RPM\" holds more than " + std::to_string(kCockpitMaxRevLights) + " rev lights");
    out.revLights.resize(static_cast<std::size_t>(lights));
    // Light k is frame k of both rev-light sheets.
    for (int k = 2; k < kCockpitPictures; ++k)
        if (out.pictures[k].frames > 0 && out.pictures[k].frames < lights)
            return Fail(why, path, "the rev-light pictures hold fewer frames than \"RPM\" has lights");

    report = {};
    const int textures = ReadTypedList(path, "TEXTURE", out.textures, 32, 32, kCockpitPictures, &report);
    if (report.records_skipped)
        return Fail(why, path, "\"TEXTURE\" holds more than four names");
    for (int k = 0; k < textures; ++k)
        if (!Terminated(out.textures[k]))
            return Fail(why, path, "a texture name is too long");
    return true;
}

float CockpitNeedleAngle(const CockpitNeedle& needle, float rpm)
{
    if (needle.maxRpm <= 0)
        return 0.0f;
    return static_cast<float>(static_cast<double>(rpm) / needle.maxRpm * needle.scale * kPi);
}

bool ReadTranslations(const char* path, std::vector<TranslationRecord>& out, std::string& why)
{
    out.assign(kOverlayMaxTranslations, TranslationRecord{});
    TypedListReport report;
    const int n = ReadTypedList(path, "TRAD", out.data(), sizeof(TranslationRecord), sizeof(TranslationRecord),
                                kOverlayMaxTranslations, &report);
    out.resize(static_cast<std::size_t>(n));
    if (report.records_skipped)
        return Fail(why, path, "\"TRAD\" holds more than 40 translations");
    for (const TranslationRecord& r : out)
        if (!std::memchr(r.from, 0, sizeof r.from) || !std::memchr(r.to, 0, sizeof r.to))
            return Fail(why, path, "a translation is too long");
    return true;
}

void TranslateOverlayTexts(OverlayDefinition& overlay, const std::vector<TranslationRecord>& table)
{
    for (OverlayElement& el : overlay.elements)
        for (OverlayText& t : el.texts)
            for (const TranslationRecord& r : table)
                if (std::strcmp(t.text, r.from) == 0) {
                    std::memcpy(t.text, r.to, sizeof t.text);
                    break;
                }
}
