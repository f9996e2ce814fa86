#include <cstdio>

#include "app/game_app.h"
#include "engine/render/render_device.h"
#include "race/hud.h"
#include "race/hud_content.h"
#include "race/race.h"
#include "sim/bike.h"

// Loading the overlay: its definition file, the cockpit files of the bike
// models, and the sheets and fonts they name.

namespace {

// Graphics flag: the cockpits of all five models, not only the player's.
constexpr std::uint32_t kGfxFlagAllCockpits = 0x100;

bool LoadSheet(lib2d_picture& picture, const std::string& file, int w, int h, int frames)
{
    return picture.load(file.c_str(), w, h, frames, frames) == 1;
}

} // namespace

void Hud::Free()
{
    // Pictures, fonts and surfaces release themselves with their owner.
    m_pContent.reset();
}

bool Hud::CockpitLoad(const char* file)
{
    Free();
    m_LoadError.clear();
    auto content = std::make_unique<HudContent>();
    const auto fail = [&](const std::string& why) {
        m_LoadError = why;
        std::fprintf(stderr, "The race overlay is not shown: %s\n", why.c_str());
        return false;
    };
    const render_device* device = installed_render_device();
    const int width = device && device->draw_width > 0 ? device->draw_width : 640;

    // The cockpits: the first player's model (else the viewed or first
    // bike's), or every model with the graphics flag. A model whose cockpit
    // file is missing or damaged has no cockpit; the overlay goes on.
    if (m_race.RiderCount() > 0) {
        const Bike* chosen = nullptr;
        for (int i = 0; i < m_race.RiderCount() && !chosen; ++i)
            if (m_race.m_pBikes[i].Flags & kBikeHuman)
                chosen = &m_race.m_pBikes[i];
        if (!chosen)
            chosen = m_pViewedBike ? m_pViewedBike : &m_race.m_pBikes[0];
        const bool all = (m_race.m_uGfxFlags & kGfxFlagAllCockpits) != 0;
        for (int m = 0; m < kBikeModelCount; ++m) {
            if (!all && (!chosen->GridEntry || chosen->GridEntry->Model != m))
                continue;
            const char* folder = m_race.m_BikeModels[m].Maker.ModelName;
            HudContent::Cockpit& c = content->cockpits[m];
            std::string why;
            if (!folder[0] || !ReadCockpitFile(CockpitFileName(folder).c_str(), c.def, why)) {
                std::fprintf(stderr, "No cockpit for bike model %d: %s\n", m,
                             folder[0] ? why.c_str() : "the model has no name");
                continue;
            }
            bool ok = true;
            for (int k = 0; k < kCockpitPictures && ok; ++k) {
                const CockpitPicture& p = c.def.pictures[k];
                if (p.frames > 0)
                    ok = LoadSheet(c.pictures[k], std::string("Gfx\\Cockpit\\") + folder + "\\" + p.name, p.width,
                                   p.height, p.frames);
            }
            c.loaded = ok;
        }
    }

    std::string why;
    OverlayDefinition& def = content->def;
    const std::string session =
        OverlaySessionList(m_race.m_nSessionType, (m_race.LiveFlags() & kRaceFlagChampionship) != 0,
                           m_race.NetworkGame());
    if (!ReadOverlayFile(file, m_race.m_szTrackName, session, def, why))
        return fail(why);
    if (!LoadSheet(content->flagSheet, std::string("Gfx\\Cockpit\\") + def.flags.name, def.flags.width,
                   def.flags.height, def.flags.frames))
        return fail(std::string("the flag sheet \"") + def.flags.name + "\" did not load");
    if (!LoadSheet(content->lightSheet, std::string("Gfx\\Cockpit\\Light\\") + def.lights.name, def.lights.width,
                   def.lights.height, def.lights.frames))
        return fail(std::string("the start-light sheet \"") + def.lights.name + "\" did not load");
    const bool small = width == 320;
    if (!LoadSheet(content->pointer, small ? "Gfx\\Cockpit\\lmouse.pcx" : "Gfx\\Cockpit\\mouse.pcx", small ? 16 : 32,
                   small ? 16 : 32, 3))
        return fail("the pointer sheet did not load");
    for (const OverlayFont& f : def.fonts) {
        auto font = std::make_unique<lib2d_font>();
        if (font->load((std::string("Gfx\\Fonts\\") + f.file).c_str(), f.cellWidth, f.cellHeight, f.across, f.count,
                       f.first) != 1)
            return fail(std::string("the font \"") + f.file + "\" did not load");
        content->fonts.push_back(std::move(font));
    }
    const bool software = !device || device->render_type == kRenderSoftware;
    for (int e = 0; e < kOverlayElements; ++e) {
        const OverlayElement& el = def.elements[e];
        if (el.HasFill() && !software)
            content->boxFills[e] = std::make_unique<lib2d_surface>(el.box[4] / 255.0f, el.box[5] / 255.0f,
                                                                   el.box[6] / 255.0f, el.box[7] / 255.0f);
    }
    m_fFadeLevel = m_fFadeTarget = 0.0f;
    m_fDimLevel = m_fDimTarget = 0.0f;
    m_fSoundVolume = 1.0f;
    if (!software)
        for (int k = 0; k < HudContent::kFadeSteps; ++k)
            content->fades[k] = std::make_unique<lib2d_surface>(0.0f, 0.0f, 0.0f, static_cast<float>(k + 1) / 8.0f);
    for (const OverlaySheet& s : def.sheets) {
        auto picture = std::make_unique<lib2d_picture>();
        if (!LoadSheet(*picture, "gfx\\Cockpit\\" + s.name, s.width, s.height, s.frames))
            return fail("the sprite sheet \"" + s.name + "\" did not load");
        content->sheets.push_back(std::move(picture));
    }
    const GameApp& app = TheGameApp();
    if (app.m_nLanguage != 0) {
        std::vector<TranslationRecord> table;
        if (ReadTranslations(kTranslationFile, table, why))
            TranslateOverlayTexts(def, table);
        else
            std::fprintf(stderr, "Overlay texts not translated: %s\n", why.c_str());
    }
    m_pContent = std::move(content);
    m_nLitLights = -1;
    return true;
}
