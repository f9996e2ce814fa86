#include "screens/arcade_screens.h"

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "menu/form.h"
#include "menu/image.h"
#include "screens/multi_screens.h"

namespace {

Image* TrackStrip(Form& form)
{
    return dynamic_cast<Image*>(form.FindElement("track"));
}

} // namespace

std::int32_t CurrentItem(const Control& control)
{
    if (const Image* image = dynamic_cast<const Image*>(&control))
        return image->m_Strip.m_nCurrent;
    throw GameError("not found");
}

void ShowArcadeTrack(Form& form)
{
    Image* strip = TrackStrip(form);
    if (!strip)
        return;
    const std::int32_t track = TheGameSettings().ArcadeTrack;
    if (track >= 0 && track < strip->m_Strip.Count()) {
        strip->m_Strip.SetState(track);
        strip->Invalidate();
    }
}

bool ArcadeTrackCommand(Form& form)
{
    Image* strip = TrackStrip(form);
    if (!strip)
        throw GameError("not found");
    const std::int32_t track = CurrentItem(*strip);
    if (track < 0 || track >= kChampEvents)
        throw GameError("out of range");
    GameApp& app = TheGameApp();
    TheGameSettings().ArcadeTrack = track;
    if (app.Flags & kAppFlagNetwork) {
        CopyField(app.m_szTrack, kTrackNames[static_cast<std::size_t>(track)]);
        MultiChooseTrack(track); // the lobby's track
        return true;
    }
    Championship& champ = TheChampionship();
    champ.GameMode = 0;
    champ.CurrentEventIndex = track;
    return true;
}
