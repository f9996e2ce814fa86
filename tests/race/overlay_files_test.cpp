#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "race/overlay_files.h"
#include "tests/support/temp_dir.h"
#include "tools/datakit/overlay_writer.h"
#include "tools/datakit/world_bike_cockpit.h"

namespace {

// Fonts of fixed grids, so that the files do not depend on the installed
// faces.
std::vector<datakit::OverlayFontSpec> Fonts()
{
    datakit::OverlayFontSpec small{"Small.pcx", 14, 14, 16, 94, 33, 4, 0, 0};
    datakit::OverlayFontSpec race{"Race.pcx", 18, 18, 16, 94, 33, 5, 0, 0};
    datakit::OverlayFontSpec menu{"Menu.pcx", 20, 21, 16, 94, 33, 6, 0, 1};
    return {small, race, menu, race, small};
}

class OverlayFiles : public ::testing::Test {
protected:
    OverlayFiles() : dir_(torvane_test::make_temp_dir("overlay")), cwd_(dir_) {}

    static void Write(const std::string& name, const std::string& text)
    {
        std::ofstream(name, std::ios::binary | std::ios::trunc) << text;
    }
    // Replaces the first `from` (which must be there) by `to`.
    static std::string Edit(std::string text, const std::string& from, const std::string& to)
    {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, from.size(), to);
        return text;
    }

    std::filesystem::path dir_;
    torvane_test::ScopedCwd cwd_;
};

// The kit's overlay files read back with what the loader derives: element
// names by session, fonts, entries of the menus, scrolling rows, and the
// sprite sheets shared by name with the most frames.
TEST_F(OverlayFiles, TheKitsOverlayFilesReadBack)
{
    for (int width : {320, 640, 1024}) {
        Write("op.dat", datakit::overlay_file_text(width, Fonts()));
        struct Session {
            int type;
            bool championship, network;
            const char* list;
            const char* onboard;
        };
        for (const Session& s : {Session{0, false, false, "PRACTICE", "P_ONBOARD"},
                                 Session{2, false, true, "QUALIFY_MULTIPLAYER", "P_ONBOARD"},
                                 Session{4, true, false, "CHAMPIONSHIP", "ONBOARD"},
                                 Session{6, false, true, "SINGLE_RACE_ARCADE_MULTIPLAYER", "ONBOARD"}}) {
            ASSERT_EQ(OverlaySessionList(s.type, s.championship, s.network), s.list);
            OverlayDefinition def;
            std::string why;
            ASSERT_TRUE(ReadOverlayFile("op.dat", "Sugo", s.list, def, why)) << why;
            EXPECT_EQ(def.elements[0].name, s.onboard);
            EXPECT_EQ(def.elements[18].name, "SESSIONEND");
            EXPECT_STREQ(def.flags.name, "Flags.pcx");
            EXPECT_EQ(def.flags.frames, 6);
            EXPECT_EQ(def.flags.frame, -1);
            EXPECT_STREQ(def.lights.name, "Lights.pcx");
            EXPECT_EQ(def.lights.x, (width - 64) / 2);
            ASSERT_EQ(def.fonts.size(), 5u);
            EXPECT_STREQ(def.fonts[2].file, "Menu.pcx");
            EXPECT_EQ(def.fonts[2].cellHeight, 21);
            EXPECT_EQ(def.fonts[2].gapDrawer, 1);
            EXPECT_EQ(def.elements[2].entries, 3); // pause menu
            EXPECT_EQ(def.elements[15].entries, 2); // confirmation
            EXPECT_EQ(def.elements[6].entries, 2);  // replay panel
            EXPECT_EQ(def.elements[0].entries, 0);
            EXPECT_EQ(def.elements[2].box[7], 160);
            EXPECT_TRUE(def.elements[2].HasFill());
            EXPECT_FALSE(def.elements[0].HasFill());
            // One sheet per name: the riders' faces hold 33 frames (-32).
            int riders = 0;
            for (const OverlaySheet& sheet : def.sheets)
                if (sheet.name == "Riders.pcx") {
                    ++riders;
                    EXPECT_EQ(sheet.frames, 33);
                }
            EXPECT_EQ(riders, 1);
            for (const OverlayElement& el : def.elements)
                for (const OverlaySprite& sp : el.sprites)
                    EXPECT_EQ(def.sheets[static_cast<std::size_t>(sp.picture)].name, sp.name);
        }
    }
}

TEST(OverlaySheets, SpritesNamingOnePictureShareItWithTheMostFrames)
{
    std::vector<OverlaySheet> sheets;
    OverlaySprite a{}, b{}, c{};
    std::strcpy(a.name, "Faces.pcx");
    a.frame = -3;
    a.width = a.height = 8;
    std::strcpy(b.name, "faces.PCX");
    b.frame = -7;
    b.width = b.height = 8;
    std::strcpy(c.name, "Other.pcx");
    c.frame = 2;
    c.width = c.height = 4;
    EXPECT_EQ(RegisterOverlaySheet(sheets, a), 0);
    EXPECT_EQ(RegisterOverlaySheet(sheets, b), 0);
    EXPECT_EQ(RegisterOverlaySheet(sheets, a), 0);
    EXPECT_EQ(RegisterOverlaySheet(sheets, c), 1);
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].frames, 8);
    EXPECT_EQ(sheets[1].frames, 3);
    EXPECT_EQ(OverlayFileName(640, true), "Data\\OP640h.dat");
    EXPECT_EQ(OverlayFileName(320, false), "Data\\OP320s.dat");
}

// Damaged overlay files are refused with a reason; none is read from.
TEST_F(OverlayFiles, DamagedOverlayFilesAreRefused)
{
    const std::string good = datakit::overlay_file_text(640, Fonts());
    std::string nineteen;
    {
        // The race list with one name more and one fewer.
        const std::size_t at = good.find("SINGLE_RACE\r\n");
        ASSERT_NE(at, std::string::npos);
        nineteen = good.substr(at, good.find("END_LIST", at) - at);
    }
    struct Case {
        const char* name;
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {"20 names", Edit(good, nineteen, nineteen + "    sEXTRA\r\n"), "exactly 19"},
        {"18 names", Edit(good, nineteen, nineteen.substr(0, nineteen.rfind("    s"))), "exactly 19"},
        {"no flags", Edit(good, "FLAGS\r\n", "FLAGZ\r\n"), "\"FLAGS\""},
        {"flag sheet of no frames", Edit(good, "sFlags.pcx i6", "sFlags.pcx i0"), "frame count"},
        {"no start lights for the track", Edit(good, "Sugo\r\n", "Sugi\r\n"), "\"Sugo\""},
        {"no fonts", Edit(good, "NUM_FONTS\r\n    i5", "NUM_FONTS\r\n    i0"), "font count"},
        {"nine fonts", Edit(good, "NUM_FONTS\r\n    i5", "NUM_FONTS\r\n    i9"), "font count"},
        {"fewer fonts than counted", Edit(good, "NUM_FONTS\r\n    i5", "NUM_FONTS\r\n    i6"), "\"FONTS\""},
        {"font of no height", Edit(good, "sMenu.pcx i20 i21", "sMenu.pcx i20 i0"), "font 2"},
        {"font past character 255", Edit(good, "sMenu.pcx i20 i21 i16 i94 i33", "sMenu.pcx i20 i21 i16 i94 i200"),
         "font 2"},
        {"text in a font not loaded", Edit(good, "sWRONG_WAY i-320 i160 i2", "sWRONG_WAY i-320 i160 i5"), "text 0"},
        {"more texts counted than there are", Edit(good, "WRONGWAY_NUM\r\n    i1", "WRONGWAY_NUM\r\n    i2"),
         "\"WRONGWAY_TEXT\""},
        {"more sprites than an element holds", Edit(good, "WRONGWAY_NUM\r\n    i1 i0", "WRONGWAY_NUM\r\n    i1 i65"),
         "counts more"},
        {"negative text count", Edit(good, "WRONGWAY_NUM\r\n    i1", "WRONGWAY_NUM\r\n    i-1"), "counts more"},
        {"one count only", Edit(good, "WRONGWAY_NUM\r\n    i1 i0", "WRONGWAY_NUM\r\n    i1"), "two numbers"},
        {"sprite of no width", Edit(good, "sTracks.pcx i-11 i18", "sTracks.pcx i-11 i0"), "sprite 4"},
        {"sprite frame past any sheet", Edit(good, "sTracks.pcx i-11", "sTracks.pcx i-9999"), "sprite 4"},
        {"negative code", Edit(good, "sTracks.pcx i-11 i18 i18 i538 i164 i0", "sTracks.pcx i-11 i18 i18 i538 i164 i-1"),
         "sprite 4"},
        {"nine box values", Edit(good, "PAUSE_DBOX\r\n", "PAUSE_DBOX\r\n    i1\r\n"), "more than 8"},
        {"fill colour past 255", Edit(good, "    i160\r\nEND_LIST\r\nPAUSE_NUM", "    i999\r\nEND_LIST\r\nPAUSE_NUM"),
         "not 0 to 255"},
    };
    // A box of negative width.
    std::string negative = good;
    {
        const std::size_t at = negative.find("PAUSE_DBOX\r\n");
        ASSERT_NE(at, std::string::npos);
        const std::size_t third = negative.find("    i", negative.find("    i", negative.find("    i", at) + 1) + 1);
        negative.replace(third, 5, "    i-");
    }
    Write("op.dat", good);
    OverlayDefinition def;
    std::string why;
    ASSERT_TRUE(ReadOverlayFile("op.dat", "Sugo", "SINGLE_RACE", def, why)) << why;
    for (const Case& c : cases) {
        Write("op.dat", c.text);
        EXPECT_FALSE(ReadOverlayFile("op.dat", "Sugo", "SINGLE_RACE", def, why)) << c.name;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
        EXPECT_NE(why.find("op.dat"), std::string::npos) << c.name;
    }
    Write("op.dat", negative);
    EXPECT_FALSE(ReadOverlayFile("op.dat", "Sugo", "SINGLE_RACE", def, why));
    EXPECT_NE(why.find("box of \"PAUSE\""), std::string::npos) << why;
    EXPECT_FALSE(ReadOverlayFile("missing.dat", "Sugo", "SINGLE_RACE", def, why));
}

// The kit's cockpit files read back (the layout the cockpit writer uses is
// the one the overlay reads); damaged ones are refused.
TEST_F(OverlayFiles, CockpitFilesReadBackAndDamagedOnesAreRefused)
{
    for (int model = 0; model < 5; ++model) {
        Write("c.dat", datakit::world_cockpit_text(model));
        CockpitDefinition def;
        std::string why;
        ASSERT_TRUE(ReadCockpitFile("c.dat", def, why)) << why;
        EXPECT_EQ(def.needle.scale, 1.0f);
        EXPECT_GT(def.needle.maxRpm, 0);
        EXPECT_STREQ(def.pictures[0].name, "Speed.pcx");
        EXPECT_EQ(def.pictures[0].frames, 10);
        EXPECT_EQ(def.pictures[1].spacing, 1);
        EXPECT_STREQ(def.pictures[3].name, "RevOff.pcx");
        ASSERT_EQ(def.revLights.size(), 8u);
        EXPECT_LT(def.revLights[0].threshold, def.revLights[7].threshold);
        EXPECT_NE(std::string(def.textures[2]).find("_REVS"), std::string::npos);
        EXPECT_FLOAT_EQ(CockpitNeedleAngle(def.needle, static_cast<float>(def.needle.maxRpm) / 2.0f),
                        3.14159265f / 2.0f);
    }
    const std::string good = datakit::world_cockpit_text(0);
    std::string rpm9 = good;
    {
        const std::size_t at = rpm9.find("RPM\r\n");
        const std::size_t line = rpm9.find("\r\n", at + 5) + 2;
        rpm9.insert(rpm9.find("END_LIST", at), rpm9.substr(at + 5, line - at - 5));
    }
    std::string rpm33 = good;
    {
        const std::size_t at = rpm33.find("RPM\r\n");
        std::string lines;
        for (int k = 0; k < 33; ++k)
            lines += "    i1000 i0 i0\r\n";
        rpm33.replace(at + 5, rpm33.find("END_LIST", at) - at - 5, lines);
    }
    struct Case {
        const char* name;
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {"no needle", Edit(good, "NEEDLE\r\n", "NEEDLX\r\n"), "\"NEEDLE\""},
        {"needle without maximum", Edit(good, "f1 i", "f1 i-"), "maximum"},
        {"three pictures", Edit(good, "    sRevOff.pcx", "*   sRevOff.pcx"), "four pictures"},
        {"nine digits", Edit(good, "sSpeed.pcx i10", "sSpeed.pcx i9"), "ten digit"},
        {"picture of no width", Edit(good, "sGear.pcx i10 i8", "sGear.pcx i10 i0"), "picture 1"},
        {"more lights than frames", rpm9, "fewer frames"},
        {"33 lights", rpm33, "more than 32"},
    };
    for (const Case& c : cases) {
        Write("c.dat", c.text);
        CockpitDefinition def;
        std::string why;
        EXPECT_FALSE(ReadCockpitFile("c.dat", def, why)) << c.name;
        EXPECT_NE(why.find(c.why), std::string::npos) << c.name << ": " << why;
    }
}

// The translations replace whole texts only; more than 40 are refused.
TEST_F(OverlayFiles, TranslationsReplaceWholeTexts)
{
    Write("trad.dat", datakit::translation_file_text());
    std::vector<TranslationRecord> table;
    std::string why;
    ASSERT_TRUE(ReadTranslations("trad.dat", table, why)) << why;
    ASSERT_EQ(table.size(), 3u);
    Write("op.dat", datakit::overlay_file_text(640, Fonts()));
    OverlayDefinition def;
    ASSERT_TRUE(ReadOverlayFile("op.dat", "Sugo", "SINGLE_RACE", def, why)) << why;
    TranslateOverlayTexts(def, table);
    bool resumeLeft = false, continueFound = false, quitRace = false;
    for (const OverlayText& t : def.elements[2].texts) {
        resumeLeft |= std::strcmp(t.text, "RESUME") == 0;
        continueFound |= std::strcmp(t.text, "CONTINUE") == 0;
    }
    for (const OverlayText& t : def.elements[15].texts)
        quitRace |= std::strcmp(t.text, "QUIT_RACE?") == 0; // "QUIT" is only part of it
    EXPECT_FALSE(resumeLeft);
    EXPECT_TRUE(continueFound);
    EXPECT_TRUE(quitRace);

    std::string many = "TRAD\r\n";
    for (int k = 0; k < 41; ++k)
        many += "    sA" + std::to_string(k) + " sB\r\n";
    Write("trad.dat", many + "END_LIST\r\n");
    EXPECT_FALSE(ReadTranslations("trad.dat", table, why));
    EXPECT_NE(why.find("more than 40"), std::string::npos) << why;
}

} // namespace
