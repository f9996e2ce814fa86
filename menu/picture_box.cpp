// The picture box: its kinds, loading from a screen element, the links to
// buttons, the commands that turn a carousel and the state it keeps.
#include "menu/picture_box.h"

#include <algorithm>
#include <cstring>

#include "app/bounded_text.h"
#include "app/form_parser.h"
#include "app/game_error.h"
#include "app/m_cparse.h"
#include "engine/base/engine.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/scene/camera.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "menu/command_button.h"
#include "menu/link_pass.h"
#include "menu/menu_manager.h"
#include "menu/state_io.h"
#include "menu/picture_box_video.h"
#include "platform/clock.h"
#include "platform/directory_listing.h"
#include "platform/file.h"

float g_fCarouselAngle = 0.0f;
float g_fCarouselPhase = 0.0f;

namespace {

struct KindName {
    const char* word;
    std::int32_t kind;
};
constexpr KindName kKindNames[] = {
    {"OLE3D", kOleCarousel},
    {"OLE3DSCENE", kOleScene},
    {"OLEVIDEO", kOleVideo},
    {"OLEVIDEOFULLSCREEN", kOleVideoFullScreen},
};

// A scene element without "SceneTime" plays over 10 ms.
constexpr float kDefaultSceneTime = 10.0f;

} // namespace

std::int32_t OleTypeFromName(const char* word)
{
    if (!word)
        return kOleNone;
    for (const KindName& entry : kKindNames)
        if (platform::equals_ignoring_case(word, entry.word))
            return entry.kind;
    return kOleNone;
}

float CarouselEase(float x)
{
    return -x * x * x;
}

PictureBox::PictureBox() : Control(kControlPictureBox) {}

PictureBox::~PictureBox()
{
    m_nLinkedButtons = 0;
    std::fill(std::begin(m_LinkedButtons), std::end(m_LinkedButtons), nullptr);
    StopVideo();
    m_pVideo.reset();
    // The items' instances stay in the model library of the manager's cache,
    // which may have been freed already: they are not touched here.
    if (m_pLightModel) {
        m_pLightModel->destroy();
        delete m_pLightModel;
        m_pLightModel = nullptr;
    }
    if (m_pView && current_engine && current_engine->frame_scene == m_pView.get())
        current_engine->frame_scene = m_pPreviousFrameView;
    m_pView.reset();
    m_pCamera.reset();
    if (m_pScene)
        m_pScene->release();
    m_pScene.reset();
    m_pAnims = nullptr;
    m_pModels = nullptr;
    m_pMaterials = nullptr;
}

bool PictureBox::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    if (!IsVisibleInState())
        return false;
    *left = std::min(*left, GetLeft());
    *top = std::min(*top, GetTop());
    *right = std::max(*right, GetRight());
    *bottom = std::max(*bottom, GetBottom());
    return true;
}

void PictureBox::Load(FormParser& parser, const char* name)
{
    Control::Load(parser, name);
    char file_name[260] = {};
    M_CParse file;
    struct Close {
        M_CParse& file;
        ~Close() { file.Release(); }
    } close{file};
    char kind_word[kTokenCapacity] = {}, second[260] = {};
    const bool has_file = parser.GetString("FileName", file_name, sizeof file_name);
    if (has_file) {
        file.Open(file_name);
        if (!file.GetToken(kind_word, sizeof kind_word) || !file.GetToken(second, sizeof second))
            throw GameError("file error");
        m_nKind = OleTypeFromName(kind_word);
    } else {
        parser.RestorePos();
        if (!parser.GetString("OLEType", kind_word, sizeof kind_word))
            throw GameError("filename not found");
        m_nKind = OleTypeFromName(kind_word);
        if (m_nKind != kOleScene && m_nKind != kOleVideoFullScreen)
            throw GameError("non disponibile direttamente sul dat per ora");
    }

    switch (m_nKind) {
    case kOleCarousel:
        LoadCarousel(file, file_name, second);
        break;
    case kOleScene: {
        char scene_name[260] = {};
        if (!parser.GetString("Scene", scene_name, sizeof scene_name))
            throw GameError("");
        float time = kDefaultSceneTime;
        if (!parser.GetFloat("SceneTime", time)) {
            parser.RestorePos();
            time = kDefaultSceneTime;
        }
        LoadScene(scene_name, time);
        break;
    }
    case kOleVideo:
        CopyBounded(m_szVideoName, sizeof m_szVideoName, second);
        OpenVideoInWindow();
        break;
    case kOleVideoFullScreen:
        if (!parser.GetString("VideoName", m_szVideoName, sizeof m_szVideoName))
            throw GameError("video name not found");
        break;
    default:
        break;
    }
}

void PictureBox::Create(std::int32_t top, std::int32_t left, std::int32_t width, std::int32_t height,
                        std::int32_t kind, const char* scene_name, float scene_time_ms)
{
    m_fStartTop = m_fTop = static_cast<float>(top);
    m_fStartLeft = m_fLeft = static_cast<float>(left);
    m_fTargetTop = m_fTop;
    m_fTargetLeft = m_fLeft;
    m_nWidth = width;
    m_nHeight = height;
    m_nKind = kind;
    if (kind != kOleScene)
        throw GameError("non ancora fatto");
    LoadScene(scene_name, scene_time_ms);
}

void PictureBox::Reset()
{
    Control::Reset();
    m_nClock = platform::time_get_time();
}

void PictureBox::OnScreenLeave()
{
    if (m_nKind == kOleVideo)
        StopVideo();
}

bool PictureBox::Paint()
{
    switch (m_nKind) {
    case kOleCarousel: return PaintCarousel();
    case kOleScene: return PaintScene();
    case kOleVideo: return PaintVideoInWindow();
    case kOleVideoFullScreen: return PaintFullScreenVideo();
    default: return true;
    }
}

// ---- Linked buttons and commands ----

void PictureBox::AddLinkedButton(CommandButton* button)
{
    if (m_nLinkedButtons >= kMaxLinkedButtons)
        throw GameError("troppi bottoni linkati");
    // The count's own slot is one past the buttons so far: slot count - 1
    // of the new count.
    m_LinkedButtons[m_nLinkedButtons++] = button;
}

void PictureBox::DisableLinkedButtons()
{
    for (int i = 0; i < m_nLinkedButtons; ++i)
        if (m_LinkedButtons[i])
            m_LinkedButtons[i]->Disable();
}

void PictureBox::EnableLinkedButtons()
{
    for (int i = 0; i < m_nLinkedButtons; ++i)
        if (m_LinkedButtons[i])
            m_LinkedButtons[i]->Enable();
}

void PictureBox::Notify(std::int32_t code)
{
    if (m_nTurnState != 0)
        return;
    std::int32_t action = kCarouselNoAction;
    for (const CommandPair& pair : m_Commands)
        if (pair.code == code)
            action = pair.action;
    if (action == kCarouselNext)
        NextItem();
    else if (action == kCarouselPrevious)
        PreviousItem();
    if (Control* linked = Linked()) {
        const LinkPass pass(m_bPassing);
        if (pass.Entered())
            linked->Notify(action);
    }
}

void PictureBox::StartTurn(std::int32_t state)
{
    m_fTurn = -1.6f;
    m_nTurnState = state;
    DisableLinkedButtons();
}

void PictureBox::NextItem()
{
    // With fewer than two items there is nothing to turn to.
    if (ItemCount() < 2)
        return;
    m_nPrevious = m_nCurrent;
    if (++m_nCurrent >= ItemCount())
        m_nCurrent = 0;
    StartTurn(2);
}

void PictureBox::PreviousItem()
{
    if (ItemCount() < 2)
        return;
    m_nPrevious = m_nCurrent;
    if (--m_nCurrent < 0)
        m_nCurrent = ItemCount() - 1;
    StartTurn(1);
}

void PictureBox::ShowItem(std::int32_t index)
{
    if (index < 0 || index >= ItemCount())
        return;
    // A turn under way ends here, its buttons usable again.
    if (m_nTurnState != 0)
        EnableLinkedButtons();
    m_nCurrent = m_nPrevious = index;
    m_nTurnState = 0;
    Invalidate();
}

// ---- State ----

void PictureBox::SaveState(platform::File& file)
{
    WriteStateWord(file, m_nCurrent);
    WriteStateWord(file, m_nPrevious);
}

void PictureBox::LoadState(platform::File& file)
{
    const std::int32_t current = ReadStateWord(file);
    const std::int32_t previous = ReadStateWord(file);
    // Items the carousel does not have are refused rather than drawn.
    if (current < 0 || previous < 0 || (current >= ItemCount() && ItemCount() > 0) ||
        (previous >= ItemCount() && ItemCount() > 0))
        throw GameError("menu state file error: no such carousel item");
    m_nCurrent = current;
    m_nPrevious = previous;
}
