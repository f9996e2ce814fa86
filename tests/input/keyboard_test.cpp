#include <set>

#include <gtest/gtest.h>

#include "platform/key_codes.h"

namespace {

// The keyboard gives the key numbers the game uses: PC scan codes with 0x80
// added for extended keys. SDL scan codes are the USB usage numbers.
TEST(KeyNumbers, FromPhysicalKeys)
{
    struct Case {
        int sdl;
        int key;
        const char* what;
    };
    const Case cases[] = {
        {4, 0x1E, "A"},           {29, 0x2C, "Z"},          {30, 0x02, "1"},          {39, 0x0B, "0"},
        {40, 0x1C, "Return"},     {41, 0x01, "Escape"},     {42, 0x0E, "Backspace"},  {44, 0x39, "Space"},
        {54, 0x33, "Comma"},      {55, 0x34, "Period"},     {58, 0x3B, "F1"},         {69, 0x58, "F12"},
        {70, 0xB7, "PrintScreen"},{72, 0xC5, "Pause"},      {73, 0xD2, "Insert"},     {74, 0xC7, "Home"},
        {75, 0xC9, "PageUp"},     {76, 0xD3, "Delete"},     {77, 0xCF, "End"},        {78, 0xD1, "PageDown"},
        {79, 0xCD, "Right"},      {80, 0xCB, "Left"},       {81, 0xD0, "Down"},       {82, 0xC8, "Up"},
        {83, 0x45, "NumLock"},    {84, 0xB5, "KP /"},       {85, 0x37, "KP *"},       {86, 0x4A, "KP -"},
        {87, 0x4E, "KP +"},       {88, 0x9C, "KP Enter"},   {89, 0x4F, "KP 1"},       {93, 0x4C, "KP 5"},
        {97, 0x49, "KP 9"},       {98, 0x52, "KP 0"},       {99, 0x53, "KP ."},       {103, 0x8D, "KP ="},
        {133, 0xB3, "KP ,"},      {135, 0x73, "Ro"},        {136, 0x70, "Kana"},      {137, 0x7D, "Yen"},
        {138, 0x79, "Convert"},   {139, 0x7B, "NoConvert"}, {224, 0x1D, "LCtrl"},     {225, 0x2A, "LShift"},
        {226, 0x38, "LAlt"},      {227, 0xDB, "LGui"},      {228, 0x9D, "RCtrl"},     {229, 0x36, "RShift"},
        {230, 0xB8, "RAlt"},      {231, 0xDC, "RGui"},      {101, 0xDD, "Menu"},      {127, 0xA0, "Mute"},
        {128, 0xB0, "Volume up"}, {129, 0xAE, "Volume down"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::pc_scan_code_from_sdl_scancode(c.sdl).key_number(), c.key) << c.what;
    EXPECT_EQ(platform::pc_scan_code_from_sdl_scancode(0).key_number(), 0);
    EXPECT_EQ(platform::pc_scan_code_from_sdl_scancode(5000).key_number(), 0);
}

// No two different physical keys share a key number, except the keys that
// are one key on a PC keyboard (the two backslash positions, the two mute
// keys, the home-page keys, SysRq on PrintScreen).
TEST(KeyNumbers, AreDistinct)
{
    const std::set<int> aliases = {50, 154, 262, 269};
    std::set<int> seen;
    for (int sdl = 0; sdl < 512; ++sdl) {
        const int key = platform::pc_scan_code_from_sdl_scancode(sdl).key_number();
        if (key == 0 || aliases.count(sdl))
            continue;
        EXPECT_TRUE(seen.insert(key).second) << "SDL scan code " << sdl << " repeats key number " << key;
    }
    EXPECT_GT(seen.size(), 120u);
}

} // namespace
