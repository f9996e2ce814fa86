#include <gtest/gtest.h>

#include "sound/sound_library.h"

TEST(SoundLibrary, NotStartedItDoesNothingAndSaysSo)
{
    SoundLibrary sound;
    EXPECT_FALSE(sound.Initialised());
    EXPECT_EQ(sound.Shutdown(), kSoundCannotShutdown);
    EXPECT_EQ(sound.m_nCurrentSet, -1);
    EXPECT_EQ(sound.m_fEffectsVolume, 1.0f);
}

TEST(SoundLibrary, ResultTexts)
{
    EXPECT_STREQ(SoundLibrary::GetErrorText(kSoundOk), "OK");
    EXPECT_STREQ(SoundLibrary::GetErrorText(kSoundTooManySamples), "Too many samples loaded (increase SND_MAXSAMP)");
    EXPECT_STREQ(SoundLibrary::GetErrorText(kSoundCannotShutdown), "Cannot uninitialize Sound Driver");
    EXPECT_STREQ(SoundLibrary::GetErrorText(10), "Unknown or undefined error");
    EXPECT_STREQ(SoundLibrary::GetErrorText(-1), "Unknown or undefined error");
}
