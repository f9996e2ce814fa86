#include "screens/menu_scenes.h"

#include <bit>
#include <cstdio>
#include <exception>

#include "app/typed_list.h"
#include "champ/champ_objects.h"
#include "champ/championship.h"
#include "engine/base/name_hash.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/scene/scene.h"
#include "menu/form.h"
#include "menu/menu_manager.h"
#include "menu/picture_box.h"
#include "menu/window.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "platform/random.h"
#include "sim/grid_entry.h"

namespace {

// 3 x (3 x kind + place) + variant.
constexpr PodiumScene kPodiumScenes[18] = {
    {"a1", 7000}, {"aa1", 7000}, {"ac1", 11000}, {"a2", 7000}, {"aa2", 7000}, {"ac2", 11000},
    {"a3", 7000}, {"aa3", 7000}, {"ac3", 11000}, {"s1", 7000}, {"sa1", 7000}, {"sc1", 11000},
    {"s2", 7000}, {"sa2", 7000}, {"sc2", 11000}, {"s3", 7000}, {"sa3", 7000}, {"sc3", 11000},
};
constexpr const char* kSceneBox = "OLE1";
constexpr const char* kPodiumModels[3] = {"AXX_WINNER", "AXX_2ND", "AXX_3RD"};
constexpr const char* kInfoFile = "Data\\Info.dat";
constexpr const char* kBikeList = "BIKES";
// Championship game modes from which the podium is a championship's.
constexpr std::int32_t kFirstChampionshipMode = 2;

constexpr const char* kCreditsWindow = "WCredits";
constexpr std::uint32_t kCreditsStillMs = 2000;
constexpr std::uint32_t kCreditsStepMs = 30;
// The scroll-one-pixel message of a window.
constexpr std::int32_t kWindowScrollStep = 101;

bool g_bCreditsStarted = false;
std::int32_t g_nCreditsPhase = 0;
std::uint32_t g_nCreditsTime = 0;

bool SeasonEnded(const Form& form)
{
    // A screen is checked before it is loaded, when it has no owner yet.
    const MenuManager* manager = form.m_pOwner ? form.m_pOwner : CurrentMenuManager();
    if (!manager)
        return false;
    return manager->m_nState == kSeasonEndStates[0] || manager->m_nState == kSeasonEndStates[1];
}

// The player's place, 0 the winner; -1 when it cannot be found.
std::int32_t PlayerPlace(const Form& form)
{
    try {
        Championship& champ = TheChampionship();
        const std::int32_t player = champ.PlayerRider();
        if (SeasonEnded(form))
            return champ.GetStandingPosition(player);
        const RiderPlacing placing = champ.FindRiderPosition(player);
        return placing.Position == kNoPosition ? -1 : placing.Position;
    } catch (const std::exception&) {
        return -1;
    }
}

PictureBox* SceneBox(Form& form)
{
    Control* box = form.FindElement(kSceneBox);
    return box && box->m_nType == kControlPictureBox ? static_cast<PictureBox*>(box) : nullptr;
}

} // namespace

const PodiumScene& PodiumSceneFor(int kind, int place, int variant)
{
    return kPodiumScenes[3 * (3 * kind + place) + variant];
}

bool AddPodiumScene(Form& form)
{
    const std::int32_t place = PlayerPlace(form);
    if (place < 0 || place > 2)
        return false;
    std::int32_t kind = 0;
    try {
        kind = TheChampionship().GameMode >= kFirstChampionshipMode ? 1 : 0;
    } catch (const std::exception&) {
        return false;
    }
    const int variant = SeasonEnded(form) ? 2 : platform::rand() % 2;
    const PodiumScene& entry = PodiumSceneFor(kind, place, variant);
    char path[64];
    std::snprintf(path, sizeof path, "menu\\3d\\%s", entry.name);
    // A scene added on an earlier entry that was not left goes first.
    if (form.FindElement(kSceneBox))
        form.Clear();
    auto* box = static_cast<PictureBox*>(form.AddElement(kControlPictureBox, nullptr, kSceneBox));
    box->Create(0, 0, 640, 480, kOleScene, path, entry.time_ms);
    return true;
}

void FillPodium(Form& form)
{
    PictureBox* box = SceneBox(form);
    if (!box || !box->Scene())
        return;
    try {
        const scene& world = *box->Scene();
        Championship& champ = TheChampionship();
        GridEntry bikes[kPitSlotCount] = {};
        const int count = ReadTypedList(kInfoFile, kBikeList, bikes, sizeof(GridEntry), sizeof(GridEntry),
                                        kPitSlotCount);
        const bool season = SeasonEnded(form);
        for (int p = 0; p < 3; ++p) {
            ml_modelinfo* model = world.find_model(name_hash(kPodiumModels[p]));
            if (!model)
                continue;
            std::int32_t rider = -1;
            if (season) {
                std::int32_t points = 0;
                champ.GetRiderTotals(p, rider, points);
            } else {
                rider = champ.GetResultAtPosition(p).RiderId;
            }
            if (rider < 0 || rider >= count)
                continue;
            model->set_material_set(std::bit_cast<std::uint32_t>(bikes[rider].BikeVariant));
        }
    } catch (const std::exception&) {
        // A podium without its colours is still a podium.
    }
}

bool ReleaseMenuScene(Form& form)
{
    form.Clear();
    return true;
}

bool DrawCredits(Form& form)
{
    const std::uint32_t now = platform::time_get_time();
    if (!g_bCreditsStarted) {
        g_bCreditsStarted = true;
        g_nCreditsPhase = 0;
        g_nCreditsTime = now;
    }
    if (g_nCreditsPhase == 0 && platform::elapsed_ms(g_nCreditsTime, now) >= kCreditsStillMs) {
        g_nCreditsPhase = 1;
        g_nCreditsTime = now;
    }
    if (g_nCreditsPhase == 1 && platform::elapsed_ms(g_nCreditsTime, now) >= kCreditsStepMs) {
        g_nCreditsTime = now;
        if (Control* window = form.FindElement(kCreditsWindow))
            window->OnMouse(0, 0, kWindowScrollStep, 0);
    }
    return true;
}

void RestartCredits()
{
    g_bCreditsStarted = false;
    g_nCreditsPhase = 0;
}
