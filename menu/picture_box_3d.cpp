// The picture box's 3D kinds: the model carousel (its file, turntable and
// slides) and the scene that plays once.
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>

#include "app/command_name.h"
#include "app/game_error.h"
#include "app/m_cparse.h"
#include "engine/base/engine.h"
#include "engine/base/name_hash.h"
#include "engine/model/anim_lib.h"
#include "engine/model/ml_modelinfo.h"
#include "engine/model/model_lib.h"
#include "engine/model/model_node.h"
#include "engine/render/rast.h"
#include "engine/render/render_device.h"
#include "engine/scene/camera.h"
#include "engine/scene/lights.h"
#include "engine/scene/mesh_draw_hooks.h"
#include "engine/scene/scene.h"
#include "engine/scene/scene_view.h"
#include "menu/menu_manager.h"
#include "menu/picture_box.h"
#include "platform/clock.h"
#include "platform/float_conv.h"

namespace {

// The carousel's camera sees 30 degrees across, the scene's 50.
constexpr float kCarouselFov = 0.5235988f;
constexpr float kSceneFov = 0.87266463f;
constexpr float kFarDistance = 1000.0f;
// The turntable turns, and the items' animation runs, by this much per ms.
constexpr float kTurntableRate = 0.0005f;
constexpr float kFullTurn = 6.28f;
// A turn's parameter runs from -1.6 towards 0 by this much per ms.
constexpr float kTurnRate = 0.004f;
constexpr float kTurnStart = -1.6f;
// The slide is over once it is this close to its place.
constexpr float kSlideArrived = 0.01f;
// Items stand this far off the turntable's axis.
constexpr float kItemRadius = 0.6f;
// The front fork is shown raked by 20 degrees and a little compressed.
constexpr float kForkRake = -0.34906587f;
constexpr float kForkCompression = 0.1f;
// Menu states where the turntable stands still and the slides are wider.
constexpr std::int32_t kStillStates[] = {4, 304};
constexpr float kStillSlide = 7.0f;
// The directional light's level: dimmer on the 8-bit renderer, whose shade
// table brightens.
constexpr float kLightLevel = 0.5f;
constexpr float kDimLightLevel = 0.1f;
constexpr float kLightRange = 100000000.0f;
constexpr std::int32_t kDirectionalLight = 3;

bool SoftwareRenderer()
{
    const render_device* renderer = installed_render_device();
    return renderer && renderer->render_type == kRenderSoftware;
}

std::uint32_t MaterialSetWord(float set)
{
    return std::bit_cast<std::uint32_t>(set);
}

// The words from the parser's position to the end of its file.
std::int32_t WordsLeft(M_CParse& file)
{
    file.SavePos();
    char word[kTokenCapacity];
    std::int32_t count = 0;
    while (file.GetToken(word, sizeof word))
        ++count;
    file.LoadPos();
    return count;
}

// A section's count, which must be 0 or more and leave room in the file for
// `words_each` words per entry.
std::int32_t ReadCount(M_CParse& file, const char* section, const char* file_name, std::int32_t words_each,
                       const char* missing)
{
    std::int32_t count = 0;
    if (!file.GetIntToken(count))
        throw GameError(missing);
    if (count < 0 || count > WordsLeft(file) / words_each)
        ThrowGameError("%s count %d does not fit the file %s", section, count, file_name);
    return count;
}

void InstallDrawing()
{
    install_mesh_draw_hooks();
    rast_set_screen(static_cast<float>(640), static_cast<float>(480));
}

} // namespace

void PictureBox::MakeLight(float level, float x, float y, float z)
{
    light_set(m_Light, kDirectionalLight, level, level, level, kLightRange, 0.0f, 0.0f);
    m_pLightModel = model_lib::make_simple_model(&m_Light);
    const float length = std::sqrt(x * x + y * y + z * z);
    m_pLightModel->set_position(x / length, y / length, z / length, 1.0f);
    m_pLightModel->prev = m_pLightModel->next = nullptr;
}

void PictureBox::LoadCarousel(M_CParse& file, const char* file_name, const char* library)
{
    m_pCamera = std::make_unique<::camera>();
    float at[6] = {};
    for (float& value : at)
        if (!file.GetFloatToken(value))
            throw GameError("file error");
    m_pCamera->position = {at[0], at[1], at[2], 1.0f};
    m_pCamera->target = {at[3], at[4], at[5], 1.0f};
    m_pCamera->set_fov(kCarouselFov);
    m_pView = std::make_unique<scene_view>(nullptr, nullptr, 0, m_pCamera.get(), GetLeft(), GetTop(), m_nWidth,
                                           m_nHeight);
    InstallDrawing();
    MenuManager* manager = GetMenuManager();
    if (!manager)
        throw GameError("a carousel is loaded without a menu manager");
    manager->GetLib3D(library, &m_pMaterials, &m_pAnims, &m_pModels);

    ReadCarouselItems(file, file_name);
    MakeLight(SoftwareRenderer() ? kDimLightLevel : kLightLevel, 0.0f, 2990.0f, 4930.0f);
    m_pView->frustum.near_z = m_pView->frustum.near_z_copy = 0.0f;
    m_pView->frustum.far_z = -kFarDistance;
    m_pCamera->far = m_pCamera->far_base = kFarDistance;

    // The optional sections follow in their order, each searched from the
    // end of the one before.
    if (file.FindBegin("IC"))
        ReadCarouselCommands(file, file_name);
    if (file.FindBegin("animation"))
        ReadCarouselAnimations(file, file_name);
    if (file.FindBegin("animtime")) {
        std::int32_t time = 0;
        if (file.GetIntToken(time))
            m_nSceneTime = time;
    }
    render_device* renderer = installed_render_device();
    if (file.FindBegin("shrinktextures")) {
        if (renderer)
            renderer->upload_textures(100);
    } else if (renderer && current_engine && current_engine->deferred_textures) {
        // Outside the main menu's load group (which makes its textures
        // resident when its last screen has loaded) the items' textures
        // are made resident now, or the 3D device would draw nothing.
        renderer->upload_textures(0);
    }
}

void PictureBox::ReadCarouselItems(M_CParse& file, const char* file_name)
{
    if (!file.FindBegin("models"))
        throw GameError("");
    const std::int32_t count = ReadCount(file, "models", file_name, 2, "");
    m_Items.assign(static_cast<std::size_t>(count), Item{});
    for (Item& item : m_Items) {
        char model[kTokenCapacity];
        float set = 0.0f;
        if (!file.GetToken(model, sizeof model) || !file.GetFloatToken(set))
            throw GameError("model not found");
        item.instance = m_pModels->create_instance(model, m_pMaterials, 1);
        if (!item.instance)
            throw GameError("model not found");
        item.material_set = set;
        if (model_node* pivot = item.instance->find_node(name_hash("FRONT_PIVOT")); pivot && !pivot->is_compact())
            pivot->angles = {kForkRake, 0.0f, 0.0f, pivot->angles.w};
        if (model_node* fork = item.instance->find_node(name_hash("FRONT_SUSP")))
            fork->local_position.y -= kForkCompression;
        item.instance->set_material_set(MaterialSetWord(set));
        item.instance->set_flags(2);
        item.instance->anim_time = 0.0f;
        item.instance->clear_flags(model_transforms_valid);
    }
}

void PictureBox::ReadCarouselCommands(M_CParse& file, const char* file_name)
{
    const std::int32_t count = ReadCount(file, "IC", file_name, 2, "IC count missing");
    m_Commands.clear();
    for (std::int32_t i = 0; i < count; ++i) {
        std::int32_t code = 0;
        char word[kTokenCapacity];
        if (!file.GetIntToken(code) || !file.GetToken(word, sizeof word))
            throw GameError("cmd not found");
        m_Commands.push_back({code, FindCommandName(word)});
    }
}

void PictureBox::ReadCarouselAnimations(M_CParse& file, const char* file_name)
{
    const std::int32_t count = ReadCount(file, "animation", file_name, 1, "numero animazioni non presente");
    // Each name is meant for the item of its place: more names than items
    // would name items that are not there.
    if (count > ItemCount())
        ThrowGameError("%d animations for %d items in %s", count, ItemCount(), file_name);
    for (std::int32_t i = 0; i < count; ++i) {
        char name[kTokenCapacity];
        if (!file.GetToken(name, sizeof name))
            throw GameError("");
        if (!m_pAnims || m_pAnims->link_count == 0)
            continue;
        ml_modelinfo* instance = m_Items[static_cast<std::size_t>(i)].instance;
        char cut[32] = {};
        std::snprintf(cut, sizeof cut, "%s", name);
        instance->lnk_anim_by_name(m_pAnims, name, 0, 0);
        instance->set_curanim(name_hash(cut));
    }
}

void PictureBox::LoadScene(const char* name, float time_ms)
{
    m_pCamera = std::make_unique<::camera>();
    m_pCamera->position = {-1.0f, 1.0f, 6.0f, 1.0f};
    m_pCamera->target = {-1.0f, 1.0f, 5.0f, 1.0f};
    m_pScene = std::make_unique<::scene>();
    m_pView = std::make_unique<scene_view>(nullptr, nullptr, 0, m_pCamera.get(), GetLeft(), GetTop(), m_nWidth,
                                           m_nHeight);
    InstallDrawing();
    m_pScene->load(name, SoftwareRenderer() ? scene::material_kind_mtp : scene::material_kind_mtt, 0, 1);
    m_pView->world = m_pScene.get();
    if (render_device* renderer = installed_render_device())
        renderer->upload_textures(0);
    // The scene's time divides its paint's clock: below 1 ms it is 1 ms.
    m_nSceneTime = platform::trunc_clamped(time_ms, 1, std::numeric_limits<std::int32_t>::max());
    m_pCamera->set_fov(kSceneFov);
    MakeLight(kDimLightLevel, 1.0f, 1.0f, 5.0f);
    m_pView->add_instance(m_pLightModel);
    m_pView->frustum.near_z = m_pView->frustum.near_z_copy = 0.0f;
    m_pView->frustum.far_z = -kFarDistance;
    m_pCamera->far = m_pCamera->far_base = kFarDistance;
}

void PictureBox::PlaceItem(std::int32_t index, float angle)
{
    if (index < 0 || index >= ItemCount())
        return;
    mat_rot_y(&m_Turn, angle);
    ml_modelinfo* instance = m_Items[static_cast<std::size_t>(index)].instance;
    instance->set_ext_matrix(&m_Turn);
    // (0, 0, -0.6) carried through the turn.
    instance->position = {-kItemRadius * m_Turn.m[2][0], 0.0f, -kItemRadius * m_Turn.m[2][2], instance->position.w};
    instance->clear_flags(model_transforms_valid);
}

void PictureBox::DrawView()
{
    m_pView->prepare();
    m_pView->draw();
    if (render_device* renderer = installed_render_device())
        renderer->draw_scene();
    rast_flush();
    if (current_engine) {
        if (current_engine->frame_scene != m_pView.get())
            m_pPreviousFrameView = current_engine->frame_scene;
        current_engine->frame_scene = m_pView.get();
    }
}

bool PictureBox::PaintCarousel()
{
    if (current_engine)
        current_engine->set_factors(0.5f, 0.5f);
    if (!m_pView)
        throw GameError("");
    const std::uint32_t now = platform::time_get_time();
    const float dt = static_cast<float>(platform::elapsed_ms(m_nClock, now));
    m_pView->instances = nullptr;

    bool still = false;
    if (const MenuManager* manager = GetMenuManager())
        for (const std::int32_t state : kStillStates)
            still = still || manager->m_nState == state;
    const float k = still ? kStillSlide : 1.0f;
    auto advance_turntable = [&] {
        g_fCarouselAngle += kTurntableRate * dt;
        if (g_fCarouselAngle > kFullTurn)
            g_fCarouselAngle -= kFullTurn;
    };
    auto advance_phase = [&] {
        g_fCarouselPhase += kTurntableRate * dt;
        if (g_fCarouselPhase >= 1.0f)
            g_fCarouselPhase -= std::floor(g_fCarouselPhase);
    };
    auto animate = [&](std::int32_t index) {
        if (index < 0 || index >= ItemCount())
            return;
        ml_modelinfo* instance = m_Items[static_cast<std::size_t>(index)].instance;
        instance->anim_time = g_fCarouselPhase;
        instance->clear_flags(model_transforms_valid);
    };
    auto item = [&](std::int32_t index) -> ml_modelinfo* {
        return index >= 0 && index < ItemCount() ? m_Items[static_cast<std::size_t>(index)].instance : nullptr;
    };

    if (m_nTurnState == 0) {
        m_pView->add_instance(item(m_nCurrent));
        m_pView->add_instance(m_pLightModel);
        advance_turntable();
        m_nClock = now;
        PlaceItem(m_nCurrent, still ? 0.0f : g_fCarouselAngle);
        advance_phase();
        animate(m_nCurrent);
        Invalidate();
    } else {
        m_nClock = now;
        m_fTurn += kTurnRate * dt;
        advance_turntable();
        m_pView->add_instance(m_pLightModel);
        const float angle = still ? 0.0f : g_fCarouselAngle;
        PlaceItem(m_nCurrent, angle);
        PlaceItem(m_nPrevious, angle);
        const float e = CarouselEase(m_fTurn);
        const float e0 = CarouselEase(kTurnStart);
        const float towards = m_nTurnState == 2 ? 1.0f : -1.0f;
        if (ml_modelinfo* current = item(m_nCurrent)) {
            current->position.x += towards * k * e;
            current->clear_flags(model_transforms_valid);
        }
        if (ml_modelinfo* previous = item(m_nPrevious)) {
            previous->position.x -= towards * k * (e0 - e);
            previous->clear_flags(model_transforms_valid);
        }
        m_pView->add_instance(item(m_nCurrent));
        m_pView->add_instance(item(m_nPrevious));
        advance_phase();
        animate(m_nCurrent);
        animate(m_nPrevious);
        if (k * e <= kSlideArrived) {
            m_nTurnState = 0;
            EnableLinkedButtons();
        }
    }
    if (m_nRedraw == 0)
        return false;
    DrawView();
    return true;
}

bool PictureBox::PaintScene()
{
    if (!m_pView || !m_pScene)
        throw GameError("");
    const std::uint32_t now = platform::time_get_time();
    m_fTurn += static_cast<float>(platform::elapsed_ms(m_nClock, now)) / static_cast<float>(m_nSceneTime);
    m_nClock = now;
    if (!m_pScene->model_libs.empty())
        for (ml_modelinfo* model = m_pScene->model_libs.front()->models; model; model = model->next) {
            model->anim_time = m_fTurn;
            model->clear_flags(model_transforms_valid);
            model->update_transforms(m_fTurn);
        }
    DrawView();
    if (m_fTurn > 1.0f)
        if (MenuManager* manager = GetMenuManager())
            manager->ExecuteCommand(0);
    return true;
}
