#include <gtest/gtest.h>

#include "tests/sound/sound_fixture.h"

using namespace sound_test;

class Positioning : public SoundFixture {
protected:
    void SetUp() override
    {
        SoundFixture::SetUp();
        WriteWav("tone.wav", Sine(441.0, 22050, 1.0));
        ASSERT_EQ(sound.AddSample("tone.wav", 1, true, false), kSoundOk);
        Listen({0, 0, 0}, {0, 0, 1});
    }
    void Listen(std::array<float, 3> at, std::array<float, 3> front)
    {
        const float still[3] = {0, 0, 0};
        const float up[3] = {0, 1, 0};
        sound.SetListener(at.data(), still, front.data(), up);
    }
    // A positioned looping voice of instance `i` at (x, 0, z).
    void Place(int i, float x, float z, float minimum = 1.0f, float maximum = 100.0f, std::uint8_t extra = 0)
    {
        if (!sound.FindVoice(1, i, found) || !found->m_bActive) {
            ASSERT_EQ(sound.Play(1, i, kSoundKeep, kSoundKeepF, kSoundKeep, kPlayLoop | kPlayPositioned | extra), kSoundOk);
        }
        ASSERT_TRUE(sound.FindVoice(1, i, found));
        sound.SetVoiceDistance(1, i, minimum, maximum);
        sound.SetVoicePosition(1, i, x, 0.0f, z);
    }
    bool Playing(int i)
    {
        SoundSlot* s = nullptr;
        platform::AudioBufferStatus st;
        return sound.FindVoice(1, i, s) && sound.Output().status(s->m_Buffer, st) && st.playing;
    }
    SoundSlot* found = nullptr;
};

TEST_F(Positioning, OnlyTheNearestVoicesOfTheBudgetSound)
{
    // Five voices at 10, 20, 30, 40, 50 m; a budget of 4.
    for (int i = 0; i < 5; ++i)
        Place(i, 0.0f, 10.0f * (i + 1));
    sound.Update3DSounds(0.02f, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(Playing(i)) << i;
    EXPECT_FALSE(Playing(4));
    // The fifth comes nearest: it sounds again and the farthest pauses.
    Place(4, 0.0f, 5.0f);
    sound.Update3DSounds(0.02f, 4);
    EXPECT_TRUE(Playing(4));
    EXPECT_FALSE(Playing(3));
    // An always-audible voice sounds whatever its distance.
    Place(9, 0.0f, 90.0f, 1.0f, 100.0f, kPlayAlwaysAudible);
    sound.Update3DSounds(0.02f, 4);
    EXPECT_TRUE(Playing(9));
    EXPECT_TRUE(Playing(2));
    EXPECT_FALSE(Playing(3));
}

TEST_F(Positioning, LevelFallsWithDistanceAndPanFollowsTheListenersRight)
{
    struct Case {
        float x, z;
        double left, right; // expected peak gains (0.7 of the level, pan)
    };
    // Facing +z the listener's right is -x (a right-handed world, y up).
    const Case cases[] = {
        {0.0f, 0.5f, 0.7, 0.7},      // inside the minimum distance: full, centred
        {0.0f, 50.5f, 0.35, 0.35},   // halfway: half level
        {0.0f, 100.0f, 0.0, 0.0},    // at the maximum: silent
    };
    for (int n = 0; n < 3; ++n) {
        Place(0, cases[n].x, cases[n].z);
        sound.Update3DSounds(0.02f, 12);
        const std::vector<std::int16_t> pcm = Mix(0.1);
        EXPECT_NEAR(Peak(pcm, 0) / 8000.0, cases[n].left, 0.01) << n;
        EXPECT_NEAR(Peak(pcm, 1) / 8000.0, cases[n].right, 0.01) << n;
    }
    // 30 m to the right at a maximum of 100 m: pan +3000 lowers the left.
    Place(0, -30.0f, 0.0f, 1.0f, 100.0f);
    sound.Update3DSounds(0.02f, 12);
    std::int32_t pan = 0;
    sound.Output().pan(found->m_Buffer, pan);
    EXPECT_EQ(pan, 3000);
    // Turned to face -x, the same sound is straight ahead.
    Listen({0, 0, 0}, {-1, 0, 0});
    sound.Update3DSounds(0.02f, 12);
    sound.Output().pan(found->m_Buffer, pan);
    EXPECT_EQ(pan, 0);
    // Facing -z it is on the left.
    Listen({0, 0, 0}, {0, 0, -1});
    sound.Update3DSounds(0.02f, 12);
    sound.Output().pan(found->m_Buffer, pan);
    EXPECT_EQ(pan, -3000);
}

TEST_F(Positioning, EqualOrZeroDistancesAreGuarded)
{
    // Minimum and maximum equal, or both zero: full level inside, silence
    // beyond, never a division by zero.
    Place(0, 0.0f, 10.0f, 20.0f, 20.0f);
    sound.Update3DSounds(0.02f, 12);
    EXPECT_NEAR(Peak(Mix(0.1), 0) / 8000.0, 0.7, 0.01);
    Place(0, 0.0f, 30.0f, 20.0f, 20.0f);
    sound.Update3DSounds(0.02f, 12);
    EXPECT_EQ(Peak(Mix(0.1), 0), 0);
    Place(0, 0.0f, 0.0f, 0.0f, 0.0f);
    sound.Update3DSounds(0.02f, 12);
    EXPECT_EQ(Peak(Mix(0.1), 0), 0);
}

TEST_F(Positioning, DopplerRaisesThePitchOfAnApproachingSource)
{
    // Closing at 60 m/s: 2^(60/260) = 1.173.
    float z = 80.0f;
    Place(0, 0.0f, z, 1.0f, 400.0f);
    sound.Update3DSounds(0.05f, 12);
    z -= 3.0f;
    Place(0, 0.0f, z, 1.0f, 400.0f);
    sound.Update3DSounds(0.05f, 12);
    EXPECT_NEAR(Pitch(Mix(0.5), 1), 441.0 * std::exp2(60.0 / 260.0), 6.0);
    // Leaving: lower.
    z += 3.0f;
    Place(0, 0.0f, z, 1.0f, 400.0f);
    sound.Update3DSounds(0.05f, 12);
    EXPECT_NEAR(Pitch(Mix(0.5), 1), 441.0 * std::exp2(-60.0 / 260.0), 6.0);
    // A jump (beyond 0.8 x 260 m/s) is no motion.
    z -= 30.0f;
    Place(0, 0.0f, z, 1.0f, 400.0f);
    sound.Update3DSounds(0.05f, 12);
    EXPECT_NEAR(Pitch(Mix(0.5), 1), 441.0, 6.0);
}

TEST_F(Positioning, AVolumeChangeOfAPositionedVoiceWaitsForTheUpdate)
{
    Place(0, 0.0f, 0.5f);
    sound.Update3DSounds(0.02f, 12);
    std::int32_t before = 0, after = 0;
    sound.Output().volume(found->m_Buffer, before);
    ASSERT_EQ(sound.SetVoiceVolume(1, 0, 0.1f), kSoundOk);
    sound.Output().volume(found->m_Buffer, after);
    EXPECT_EQ(after, before);
    sound.Update3DSounds(0.02f, 12);
    sound.Output().volume(found->m_Buffer, after);
    EXPECT_EQ(after, static_cast<std::int32_t>(2000.0 * std::log10(0.07)));
}
