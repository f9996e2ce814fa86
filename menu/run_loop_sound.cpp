#include "menu/run_loop_sound.h"

#include "app/game_app.h"
#include "champ/game_settings.h"
#include "sound/sound_library.h"

namespace {

// The music stream the menus and the races play on.
constexpr int kMusicStream = 0;

} // namespace

bool StartSoundFromSettings(GameApp& app, GameSettings& settings, SoundLibrary* sound)
{
    if (!settings.Audio.Sound)
        return false;
    // The output plays for whichever window has the focus: no window is
    // handed over.
    if (!sound || (!sound->Initialised() && sound->Init(nullptr, false) != kSoundOk)) {
        settings.Audio.Sound = 0;
        settings.SetAppFlags(app);
        return false;
    }
    sound->SetMusicVolume(settings.Audio.SoundVolume);
    sound->SetStreamVolume(settings.Audio.MusicVolume, kMusicStream);
    return true;
}
