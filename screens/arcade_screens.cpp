#include "screens/arcade_screens.h"

#include <cstdio>
#include <string>

#include "app/game_app.h"
#include "app/game_error.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "champ/game_settings.h"
#include "champ/track_records.h"
#include "menu/form.h"
#include "menu/image.h"
#include "menu/label.h"
#include "menu/picture_box.h"
#include "menu/scroll_bar.h"
#include "screens/multi_screens.h"
#include "screens/navigation.h"
#include "screens/screen_text.h"
#include "screens/weekend_screens.h"

namespace {

constexpr std::int32_t kAskLeaveArcadeChampionship = 27;

Image* FindImage(Form& form, const char* name)
{
    return dynamic_cast<Image*>(form.FindElement(name));
}

Image* TrackStrip(Form& form)
{
    return FindImage(form, "track");
}

// Puts the strip on the frame only when it shows another (the bike choice
// asks on every paint; an unchanged plate is not drawn again).
void ShowFrame(Form& form, const char* name, std::int32_t frame)
{
    const Image* image = FindImage(form, name);
    if (image && frame != image->m_Strip.m_nCurrent)
        SetFrameIfPresent(form, name, frame);
}

bool NetworkGame()
{
    return (TheGameApp().Flags & kAppFlagNetwork) != 0;
}

// The bike step or the transmission step of the bike choice.
void ShowTransmissionChoice(Form& form, bool transmission)
{
    form.HideGroup(transmission ? kBikeChoiceGroup : kTransmissionGroup);
    form.ShowGroup(transmission ? kTransmissionGroup : kBikeChoiceGroup);
    form.Invalidate();
}

// The arcade records' line of a circuit: its name, its lap record
// ("-:-:-" while it is the default) and the record's holder.
std::string RecordLine(std::int32_t track)
{
    const TrackRecord& record = TheArcadeRecords().Track(track);
    return UpperCase(kTrackNames[static_cast<std::size_t>(track)]) + "  " + MenuTimeText(record.LapRecord) + "  " +
           UpperCase(record.HolderName);
}

Label* TrackListRow(Form& form, std::int32_t track)
{
    char name[8];
    std::snprintf(name, sizeof name, "row%02d", static_cast<int>(track));
    return dynamic_cast<Label*>(form.FindElement(name));
}

// Puts the rows where the bar's position has them: the ten shown stand
// right above the bar, the first circuit shown at the top, a row step
// apart (the screen file's spacing of the first two rows, which moving
// them all keeps); the others a step further up or down each.
void LayOutTrackList(Form& form)
{
    const auto* bar = dynamic_cast<const ScrollBar*>(form.FindElement("list"));
    const Label* row0 = TrackListRow(form, 0);
    const Label* row1 = TrackListRow(form, 1);
    if (!bar || !row0 || !row1)
        return;
    const std::int32_t first = bar->FirstRowValue();
    const float step = row1->m_fTop - row0->m_fTop;
    bool moved = false;
    for (std::int32_t track = 0; track < kChampEvents; ++track) {
        Label* row = TrackListRow(form, track);
        if (!row)
            continue;
        const float top = bar->m_fTop - static_cast<float>(kTrackListShown - (track - first)) * step;
        if (top != row->m_fTop) {
            row->MoveBy(0.0f, top - row->m_fTop);
            moved = true;
        }
        const bool shown = track >= first && track < first + kTrackListShown && row->GetTop() >= kTrackListTopLimit;
        if (shown != row->IsVisibleInState()) {
            if (shown)
                row->Show();
            else
                row->Hide();
            moved = true;
        }
    }
    if (moved)
        form.Invalidate();
}

} // namespace

std::int32_t CurrentItem(const Control& control)
{
    if (const Image* image = dynamic_cast<const Image*>(&control))
        return image->m_Strip.m_nCurrent;
    if (const PictureBox* box = dynamic_cast<const PictureBox*>(&control))
        return box->CurrentItem();
    throw GameError("not found");
}

void ShowArcadeTrack(Form& form)
{
    const std::int32_t track = TheGameSettings().ArcadeTrack;
    if (auto* view = dynamic_cast<PictureBox*>(form.FindElement("OLE1")))
        view->ShowItem(track);
    Image* strip = TrackStrip(form);
    if (!strip)
        return;
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

void ArcadeBikePrepare(Form& form)
{
    std::int32_t bike = TheGameSettings().ChosenBike;
    if (NetworkGame()) {
        // The bike of the player's rider: his team's plate.
        const Championship& champ = TheChampionship();
        const std::int32_t rider = champ.PlayerRider();
        bike = rider >= 0 ? champ.FindRider(rider).Team : 0;
    }
    SetFrameIfPresent(form, "logo", bike);
    ShowTransmissionChoice(form, false);
}

bool ArcadeBikeDraw(Form& form)
{
    const Control* carousel = form.FindElement("OLE1");
    if (!carousel)
        return true;
    const std::int32_t item = CurrentItem(*carousel);
    ShowFrame(form, "logo", item);
    if (NetworkGame()) {
        // Over the bike: the notice while another player rides its team's
        // first rider (the one the bike gives).
        const bool held = item >= 0 && item < 5 && MultiRiderHeldByOther(TeamRiders(item + 1)[0]);
        for (const char* name : {"multi_forbidden_sprite", "multi_forbidden_text"})
            if (Control* notice = form.FindElement(name); notice && notice->IsVisibleInState() != held) {
                if (held)
                    notice->Show();
                else
                    notice->Hide();
                notice->Invalidate();
            }
    }
    return true;
}

bool ArcadeBikeCommand(Form& form, Control& control)
{
    GameSettings& settings = TheGameSettings();
    switch (control.m_nUserID) {
    case 1: {
        const Control* carousel = form.FindElement("OLE1");
        if (!carousel)
            throw GameError("not found");
        const std::int32_t item = CurrentItem(*carousel);
        if (item < 0 || item >= 5)
            throw GameError("out of range");
        if (NetworkGame()) {
            // The team's first rider as under the team screens: the host
            // arbitrates; the bike's number is the item as its tens.
            settings.ChosenBike = item * 10 + settings.ChosenBike % 10;
            if (!MultiTakeRider(TeamRiders(item + 1)[0]))
                return false;
        } else {
            TheChampionship().SetPlayerRider(TeamRiders(item + 1)[0]);
            settings.ChosenBike = settings.ChosenBike / 10 * 10 + item;
        }
        ShowTransmissionChoice(form, true);
        return true;
    }
    case 2:
    case 3:
        settings.GearChoice = control.m_nUserID == 3 ? 1 : 0;
        ShowTransmissionChoice(form, false);
        // An arcade championship of the network goes on to its race screen.
        if (NetworkGame() && MultiGameType() == 2)
            return GoToState(kMultiArcadeRaceState);
        return true;
    case 4:
        ShowTransmissionChoice(form, false);
        return true;
    default:
        return true;
    }
}

void ArcadeRacePrepare(Form& form)
{
    // A network race starts from the lobby: "go" says so (its row 1).
    if (NetworkGame())
        SetPageIfPresent(form, "go", 1);
    const std::int32_t event = TheChampionship().CurrentEventIndex;
    if (event < 0 || event >= kChampEvents)
        throw GameError("out of range");
    SetFrameIfPresent(form, "track", event);
    SetFrameIfPresent(form, "sprite_round", event);
    SetPageIfPresent(form, "LBL_Nation", event);
    SetPageIfPresent(form, "LBL_Circuit_info", event);
    if (Label* records = dynamic_cast<Label*>(form.FindElement("lbl_records"))) {
        std::string text;
        for (std::int32_t track = 0; track < kChampEvents; ++track)
            text += RecordLine(track) + "\n";
        records->SetText(text.c_str());
        records->Invalidate();
    }
}

bool ArcadeRaceCommand(Form& /*form*/, Control& control)
{
    if (control.m_nUserID == 2)
        return AskDialogue(kAskLeaveArcadeChampionship) != 0;
    return true;
}

void ArcadeTrackListPrepare(Form& form)
{
    for (std::int32_t track = 0; track < kChampEvents; ++track)
        if (Label* row = TrackListRow(form, track)) {
            char round[8];
            std::snprintf(round, sizeof round, "%2d  ", static_cast<int>(track + 1));
            row->SetText((round + RecordLine(track)).c_str());
        }
    LayOutTrackList(form);
}

bool ArcadeTrackListDraw(Form& form)
{
    LayOutTrackList(form);
    return true;
}
