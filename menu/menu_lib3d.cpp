// The menu manager's cache of 3D library sets, which the picture boxes'
// carousels share.
#include <cstdio>
#include <string>

#include "app/game_error.h"
#include "engine/model/anim_lib.h"
#include "engine/model/model_lib.h"
#include "engine/model/mtr_lib.h"
#include "engine/render/render_device.h"
#include "menu/menu_manager.h"
#include "platform/directory_listing.h"
#include "platform/file.h"

namespace {

bool SoftwareRenderer()
{
    const render_device* renderer = installed_render_device();
    return renderer && renderer->render_type == kRenderSoftware;
}

[[noreturn]] void CannotRead(const std::string& path)
{
    ThrowGameError("open_lib_file %s", path.c_str());
}

// Reads a material file with every material into the head of the chain.
void AddMaterials(mtr_lib*& chain, const std::string& path)
{
    auto* lib = new mtr_lib(path.c_str());
    lib->next = chain;
    chain = lib;
    const int kind = SoftwareRenderer() ? material_kind_atlas : material_kind_surface;
    if (lib->try_open(path.c_str()) != mtt_status::ok || lib->try_add_all_materials(kind, 0, 0) != mtt_status::ok)
        CannotRead(path);
}

} // namespace

MenuManager::Lib3D::Lib3D() = default;
MenuManager::Lib3D::Lib3D(Lib3D&& other) noexcept
    : name(std::move(other.name)), materials(other.materials), anims(std::move(other.anims)),
      models(std::move(other.models))
{
    other.materials = nullptr;
}

MenuManager::Lib3D::~Lib3D()
{
    // The models first: their instances hold links into the animations and
    // references to the materials.
    models.reset();
    anims.reset();
    while (materials) {
        mtr_lib* next = materials->next;
        delete materials;
        materials = next;
    }
}

void MenuManager::GetLib3D(const char* name, mtr_lib** materials, anim_lib** anims, model_lib** models)
{
    const std::string base = name ? name : "";
    for (const Lib3D& set : m_Lib3D)
        if (platform::equals_ignoring_case(set.name, base)) {
            *materials = set.materials;
            *anims = set.anims.get();
            *models = set.models.get();
            return;
        }
    if (Lib3DCount() + 1 >= kMaxLib3D)
        throw GameError("troppe lib 3d");

    Lib3D set;
    set.name = base;
    const bool software = SoftwareRenderer();
    // The detail levels' materials live in a file of their own; a set that
    // has one needs it, or its models' lower levels find no material.
    const std::string detail = base + (software ? ".MLP" : ".MLT");
    if (platform::File probe; probe.open(detail.c_str(), "rb")) {
        probe.close();
        AddMaterials(set.materials, detail);
    }
    AddMaterials(set.materials, base + (software ? ".MTP" : ".MTT"));
    set.anims = std::make_unique<anim_lib>(base.c_str());
    const std::string anm = base + ".ANM";
    if (set.anims->try_open(anm.c_str()) != anm_status::ok || set.anims->try_load_all() != anm_status::ok)
        CannotRead(anm);
    set.models = std::make_unique<model_lib>(base.c_str());
    const std::string mdl = base + ".MDL";
    if (set.models->try_open(mdl.c_str()) != mdl_status::ok || set.models->try_load_all(1) != mdl_status::ok)
        CannotRead(mdl);
    set.models->link_anims(set.anims.get());
    m_Lib3D.push_back(std::move(set));
    const Lib3D& added = m_Lib3D.back();
    *materials = added.materials;
    *anims = added.anims.get();
    *models = added.models.get();
}
