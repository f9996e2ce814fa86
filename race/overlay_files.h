#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The race overlay's definition files, read as typed keyword lists:
//
// - the overlay file "Data\OP<width><h|s>.dat" (h: a hardware 3D device):
//   the race-flag sheet ("FLAGS"), the start-light sheet (a list named after
//   the track), the fonts ("NUM_FONTS", "FONTS"), the session's list of 19
//   element names and, per element, its box ("<name>_DBOX"), its counts
//   ("<name>_NUM": texts, sprites), sprites ("<name>_SPRITE") and texts
//   ("<name>_TEXT");
// - one cockpit file per bike model, "Gfx\Cockpit\<model>\Cockpit.dat":
//   "NEEDLE", "COCKPIT" (four pictures), "RPM" (rev lights), "TEXTURE";
// - the translation list "TRAD" of "data\trad.dat".
//
// The readers here only read and check the records; the overlay (Hud)
// loads the pictures and fonts they name. Every count is read at the
// capacity of the array it fills and every value an index or a size is
// checked, so a damaged file is refused with a reason instead of being
// drawn from.

inline constexpr int kOverlayElements = 19;
inline constexpr int kOverlayMaxFonts = 8;
inline constexpr int kOverlayMaxSprites = 64;  // per element
inline constexpr int kOverlayMaxTexts = 64;    // per element
inline constexpr int kOverlayBoxValues = 8;
// Frames of one sheet at most (a sprite's frame -n asks for n + 1).
inline constexpr int kOverlayMaxFrames = 256;
inline constexpr int kOverlayMaxTranslations = 40;
inline constexpr int kCockpitPictures = 4;
inline constexpr int kCockpitMaxRevLights = 32;
// The largest picture or box side in screen pixels.
inline constexpr int kOverlayMaxSide = 4096;

// A sheet drawn at one place (the race flags, the start lights). `frame` is
// the running frame (-1: hidden); `spare` is read and kept.
struct OverlayPicture {
    char name[32];
    std::int32_t frames;
    std::int32_t width, height;
    std::int32_t x, y;
    std::int32_t frame;
    std::int32_t spare;
};
static_assert(sizeof(OverlayPicture) == 60);

// A font: its sheet "Gfx\Fonts\<file>", the five values of the font loader
// (cell width, cell height, cells across, count, first character), the two
// values of every draw (blank advance, spacing) and the drawer (non-zero:
// glyphs at their own widths with a gap, else the kerned drawer).
struct OverlayFont {
    char file[32];
    std::int32_t cellWidth, cellHeight, across, count, first;
    std::int32_t space, spacing;
    std::int32_t gapDrawer;
};
static_assert(sizeof(OverlayFont) == 64);

// A sprite: 56 bytes from the file, then the index of its shared picture.
struct OverlaySprite {
    char name[32];
    std::int32_t frame;   // >= 0: that frame; < 0: chosen at draw time, the sheet holds |frame| + 1
    std::int32_t width, height;
    std::int32_t x, y;    // y < 0: a row of the element's scrolling list at |y|
    std::int32_t code;
    std::int32_t picture; // filled by the loader
};
static_assert(sizeof(OverlaySprite) == 60);
inline constexpr int kOverlaySpriteFileBytes = 56;

struct OverlayText {
    char text[32];
    std::int32_t x, y;    // x < 0: centred on |x|; y < 0: a scrolling row at |y|
    std::int32_t font;    // the next font draws the highlighted row
    std::int32_t code;
};
static_assert(sizeof(OverlayText) == 48);

// One element of the overlay: its box, fill and contents, and what the
// loader derives from them.
struct OverlayElement {
    std::string name;
    std::int32_t box[kOverlayBoxValues] = {}; // x, y, width, height, red, green, blue, alpha
    int boxValues = 0;                        // values read; a fill exists when any was
    std::vector<OverlaySprite> sprites;
    std::vector<OverlayText> texts;
    int entries = 0;    // selectable entries: the highest entry number of its sprites
    int rowHeight = 0;  // of its scrolling list
    bool HasFill() const { return boxValues > 0; }
};

// Sprite and text codes.
inline constexpr int kCodeMenuFirst = 10;
inline bool IsMenuCode(int code) { return code >= kCodeMenuFirst; }
inline int EntryOfCode(int code) { return (code % 1000) / 10; }

// A picture the sprites share (one per distinct name; the most frames wins).
struct OverlaySheet {
    std::string name;
    std::int32_t width = 0, height = 0;
    std::int32_t frames = 1;
};

struct OverlayDefinition {
    OverlayPicture flags{};
    OverlayPicture lights{};
    std::vector<OverlayFont> fonts;
    OverlayElement elements[kOverlayElements];
    std::vector<OverlaySheet> sheets;
};

// The sharing rule: the sprite's picture is the sheet of its name, grown to
// the sprite's frame count; a new name adds a sheet. Returns its index.
int RegisterOverlaySheet(std::vector<OverlaySheet>& sheets, const OverlaySprite& sprite);

// "Data\OP<width><h|s>.dat".
std::string OverlayFileName(int width, bool hardware);

// The session list's name: "PRACTICE" (session 0), "FREE_PRACTICE" (1),
// "QUALIFY" (2), else "CHAMPIONSHIP" or "SINGLE_RACE", then "_ARCADE" in
// session 6 and "_MULTIPLAYER" in a network game.
std::string OverlaySessionList(int session, bool championship, bool network);

// Reads and checks the overlay file. False with `why` ("<file>: <what>") on
// the first fault; `out` is then partly filled and not to be used.
bool ReadOverlayFile(const char* path, const char* trackName, const std::string& sessionList,
                     OverlayDefinition& out, std::string& why);

// A cockpit picture: 56 bytes from the file (a fifteenth word is not read).
struct CockpitPicture {
    char name[32];
    std::int32_t frames, width, height, x, y, spacing;
    std::int32_t unread;
};
static_assert(sizeof(CockpitPicture) == 60);
inline constexpr int kCockpitPictureFileBytes = 56;

struct RevLight {
    std::int32_t threshold, x, y;
};
static_assert(sizeof(RevLight) == 12);

struct CockpitNeedle {
    float scale;
    std::int32_t maxRpm;
};
static_assert(sizeof(CockpitNeedle) == 8);

struct CockpitDefinition {
    CockpitNeedle needle{};
    CockpitPicture pictures[kCockpitPictures]{};
    std::vector<RevLight> revLights;
    char textures[kCockpitPictures][32]{};
};

// "Gfx\Cockpit\<model>\Cockpit.dat".
std::string CockpitFileName(const char* model);

// Reads and checks a cockpit file (pictures 0 speed digits, 1 gear digits,
// 2 lit and 3 unlit rev lights; a picture without frames is not drawn).
bool ReadCockpitFile(const char* path, CockpitDefinition& out, std::string& why);

// The needle's angle in radians for an engine speed: rpm / max x scale x pi
// (0 for a needle without a maximum).
float CockpitNeedleAngle(const CockpitNeedle& needle, float rpm);

struct TranslationRecord {
    char from[32];
    char to[32];
};
static_assert(sizeof(TranslationRecord) == 64);

inline constexpr const char* kTranslationFile = "data\\trad.dat";

// Reads "TRAD" (at most 40 records; more are refused).
bool ReadTranslations(const char* path, std::vector<TranslationRecord>& out, std::string& why);

// Replaces every element text equal to a record's first string by its second.
void TranslateOverlayTexts(OverlayDefinition& overlay, const std::vector<TranslationRecord>& table);
