#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/game_app.h"
#include "engine/render/render_device.h"
#include "input/input_manager.h"
#include "platform/clock.h"
#include "platform/float_conv.h"
#include "race/hud.h"
#include "race/hud_content.h"
#include "race/race.h"
#include "sim/bike.h"

// The overlay's drawing: elements (boxes, sprites, texts, scrolling
// lists), the start lights, the race flag, the fade, the cockpit's rev
// lights and read-outs; and the menus' entries.

namespace {

// Messages that go when their timer reaches 0.
constexpr std::uint32_t kTimedMessages = 0x5F00;
// Message timers advance by at most this much a frame.
constexpr float kTimerStepLimit = 0.1f;

// Keys as the keyboard reports them.
constexpr int kKeyReturn = 0x1C;
constexpr int kKeyPadEnter = 0x9C;
constexpr int kKeyLeft = 0xCB;
constexpr int kKeyRight = 0xCD;
// The stick steps a menu beyond this deflection, at most once per repeat.
constexpr float kStickDeadZone = 0.3f;
constexpr std::uint32_t kStickRepeatMs = 500;

constexpr int kElementStartSequence = 4;
constexpr int kElementFinishStandings = 7;
constexpr int kElementViewedFinish = 14;

// The screen when something can be drawn on it.
render_device* DrawableScreen()
{
    render_device* d = installed_render_device();
    if (!d || d->paused || !d->surfaces_valid || d->back_buffer.empty() || d->draw_width <= 0 ||
        d->draw_height <= 0)
        return nullptr;
    return d;
}

int MaskShift(std::uint32_t mask)
{
    int s = 0;
    while (mask && !(mask & 1u)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

InputManager* Input()
{
    return TheInputManager();
}

void QueueCommand(std::int32_t code)
{
    if (InputManager* input = Input())
        input->QueueRaceCommand(code);
}

// The clipping rectangle of the screen (pictures and fonts clip it to the
// back buffer themselves).
constexpr int kWhole = INT_MAX / 2;

} // namespace

int NearestPaletteEntry(const render_device& device, int r, int g, int b)
{
    int best = 0;
    long long bestDistance = LLONG_MAX;
    for (int i = 0; i < 256; ++i) {
        const long long dr = device.palette_rgb[i][0] - r, dg = device.palette_rgb[i][1] - g,
                        db = device.palette_rgb[i][2] - b;
        const long long d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

namespace {

struct Span {
    int left, right, top, bottom;
};

bool ClipToScreen(const render_device& d, int x, int y, int w, int h, Span& s)
{
    const long long l = std::max<long long>(x, 0), t = std::max<long long>(y, 0);
    const long long r = std::min<long long>(static_cast<long long>(x) + w, d.draw_width);
    const long long b = std::min<long long>(static_cast<long long>(y) + h, d.draw_height);
    if (l >= r || t >= b)
        return false;
    s = {static_cast<int>(l), static_cast<int>(r), static_cast<int>(t), static_cast<int>(b)};
    return true;
}

// A change of every pixel of a 16-bit screen that maps each channel's old
// value to a new one on its own: the new value of each channel is looked up
// in a table of what every old value of that channel becomes, made once for
// the whole area (the channels have at most a few dozen values, the area
// many thousand pixels).
class ChannelMap16 {
public:
    template <class Map>
    ChannelMap16(const render_device& d, Map map)
    {
        const std::uint32_t masks[3] = {d.red_mask, d.green_mask, d.blue_mask};
        m_keep = ~(masks[0] | masks[1] | masks[2]);
        for (int c = 0; c < 3; ++c) {
            // A pixel has 16 bits: only a mask's low 16 bits find values.
            m_mask[c] = masks[c] & 0xFFFFu;
            m_shift[c] = MaskShift(masks[c]);
            const std::uint32_t top = masks[c] >> m_shift[c];
            const std::uint32_t last = m_mask[c] >> m_shift[c];
            m_table[c].resize(static_cast<std::size_t>(last) + 1);
            for (std::uint32_t dst = 0; dst <= last; ++dst)
                m_table[c][dst] = static_cast<std::uint16_t>((map(c, dst, top) << m_shift[c]) & masks[c]);
        }
    }

    void Apply(render_device& d, const Span& s) const
    {
        const std::uint16_t* t0 = m_table[0].data();
        const std::uint16_t* t1 = m_table[1].data();
        const std::uint16_t* t2 = m_table[2].data();
        for (int y = s.top; y < s.bottom; ++y) {
            std::uint8_t* row = d.back_buffer.data() + static_cast<std::size_t>(y) * d.back_pitch;
            for (int x = s.left; x < s.right; ++x) {
                std::uint16_t v;
                std::memcpy(&v, row + 2 * x, 2);
                const std::uint16_t w = static_cast<std::uint16_t>(
                    (v & m_keep) | t0[(v & m_mask[0]) >> m_shift[0]] | t1[(v & m_mask[1]) >> m_shift[1]] |
                    t2[(v & m_mask[2]) >> m_shift[2]]);
                std::memcpy(row + 2 * x, &w, 2);
            }
        }
    }

private:
    std::uint32_t m_keep = 0;
    std::uint32_t m_mask[3] = {};
    int m_shift[3] = {};
    std::vector<std::uint16_t> m_table[3];
};

void Blend16(render_device& d, const Span& s, int r, int g, int b, int a)
{
    const int src[3] = {r, g, b};
    const ChannelMap16 blend(d, [&](int c, std::uint32_t dst, std::uint32_t top) {
        const std::uint32_t s8 = (static_cast<std::uint32_t>(src[c]) * top + 127) / 255;
        return (dst * static_cast<std::uint32_t>(255 - a) + s8 * static_cast<std::uint32_t>(a) + 127) / 255;
    });
    blend.Apply(d, s);
}

void Cover8(render_device& d, const Span& s, int index, int coverage)
{
    for (int y = s.top; y < s.bottom; ++y) {
        std::uint8_t* row = d.back_buffer.data() + static_cast<std::size_t>(y) * d.back_pitch;
        for (int x = s.left; x < s.right; ++x)
            if (kOverlayCoverRank[(y & 1) * 4 + (x & 3)] < coverage)
                row[x] = static_cast<std::uint8_t>(index);
    }
}

} // namespace

void FillScreenRect(render_device& device, int x, int y, int w, int h, int r, int g, int b, int a)
{
    Span s;
    if (w <= 0 || h <= 0 || !ClipToScreen(device, x, y, w, h, s))
        return;
    a = std::clamp(a, 0, 255);
    if (device.screen_depth == 16)
        Blend16(device, s, r, g, b, a);
    else if (device.screen_depth == 8)
        Cover8(device, s, NearestPaletteEntry(device, r, g, b), (a * 8 + 127) / 255);
}

void FadeScreen(render_device& device, int eighths)
{
    Span s;
    eighths = std::clamp(eighths, 0, 8);
    if (!ClipToScreen(device, 0, 0, device.draw_width, device.draw_height, s))
        return;
    if (device.screen_depth == 8) {
        Cover8(device, s, device.darkest_index, eighths);
        return;
    }
    if (device.screen_depth != 16)
        return;
    const ChannelMap16 fade(device, [&](int, std::uint32_t c, std::uint32_t) {
        return c * static_cast<std::uint32_t>(8 - eighths) / 8;
    });
    fade.Apply(device, s);
}

int Hud::EntryCount(int element) const
{
    if (!m_pContent || element < 0 || element >= kMessageCount)
        return 0;
    return m_pContent->def.elements[element].entries;
}

bool Hud::AnyEntriesUpTo(int element) const
{
    for (int e = 0; e <= element && e < kMessageCount; ++e)
        if (EntryCount(e) > 0)
            return true;
    return false;
}

Bike* Hud::StandingBike(int index) const
{
    if (index < 0 || index >= m_race.RiderCount())
        return nullptr;
    const int bike = m_race.m_StandingOrder[static_cast<std::size_t>(index)];
    if (bike < 0 || bike >= m_race.RiderCount())
        return nullptr;
    return &m_race.m_pBikes[bike];
}

int Hud::RiderId(const Bike* bike) const
{
    if (!bike)
        return 0;
    const GameApp& app = TheGameApp();
    const int index = bike->Index;
    if (index < 0 || index >= 32)
        return 0;
    return app.m_RiderIds[index];
}

std::string Hud::RiderName(const Bike* bike) const
{
    if (!bike)
        return {};
    if (bike->RiderEntry)
        return std::string(bike->RiderEntry->Name, strnlen(bike->RiderEntry->Name, sizeof bike->RiderEntry->Name));
    if (m_RiderNames)
        return m_RiderNames(RiderId(bike));
    return {};
}

// What a raise captures for the texts of its element.
void Hud::Capture(int element)
{
    Bike* viewed = m_pViewedBike;
    Bike* leader = StandingBike(0);
    switch (element) {
    case 8:
    case 14:
        m_nCapturedPosition = viewed ? viewed->RacePosition : 0;
        break;
    case 10:
        m_pLeader = leader;
        break;
    case 12:
        // The bike one place ahead, or the viewed bike itself when it leads.
        m_pCompared = viewed;
        if (viewed && viewed->RacePosition > 1)
            if (Bike* ahead = StandingBike(viewed->RacePosition - 2))
                m_pCompared = ahead;
        m_pLeader = leader;
        m_nCapturedPosition = viewed ? viewed->RacePosition : 0;
        {
            const InputManager* input = Input();
            m_fRemaining = std::max(0.0f, 3600.0f - (input ? input->m_fRaceClock : 0.0f));
        }
        break;
    default:
        break;
    }
}

void Hud::DrawStartLights()
{
    OverlayPicture& rec = m_pContent->def.lights;
    if (m_nStartLight < 0 || !(m_uMessages & kHudOnboard) || !DrawableScreen())
        return;
    rec.frame = m_nStartLight;
    m_pContent->lightSheet.set_rect(0, kWhole, 0, kWhole);
    m_pContent->lightSheet.draw(rec.x, rec.y, m_nStartLight);
}

void Hud::DrawFlag()
{
    OverlayPicture& rec = m_pContent->def.flags;
    rec.frame = m_nFlagFrame;
    if (m_nFlagFrame < 0 || (m_race.LiveFlags() & kRaceSessionOver) || !DrawableScreen())
        return;
    const InputManager* input = Input();
    const float clock = input ? input->m_fRaceClock : 0.0f;
    // Every odd half second of the race clock.
    if ((static_cast<long long>(std::floor(clock * 2.0f)) & 1) == 0)
        return;
    m_pContent->flagSheet.set_rect(0, kWhole, 0, kWhole);
    m_pContent->flagSheet.draw(rec.x, rec.y, m_nFlagFrame);
}

void Hud::DrawFade()
{
    if (m_fFadeLevel <= 0.0f)
        return;
    const int surface = std::max(static_cast<int>(8.0f * m_fFadeLevel) - 1, 0);
    render_device* d = DrawableScreen();
    if (!d)
        return;
    if (d->render_type == kRenderSoftware) {
        FadeScreen(*d, std::min(surface + 1, 8));
        return;
    }
    if (lib2d_surface* s = m_pContent->fades[std::min(surface, HudContent::kFadeSteps - 1)].get())
        s->draw(0.0f, 0.0f, static_cast<float>(d->draw_width), static_cast<float>(d->draw_height));
}

// The pointer shows when the mouse moves while a menu is up, and follows it
// at three times its movement; moving it drops the keyboard's selection.
void Hud::MovePointer()
{
    HudContent& c = *m_pContent;
    bool menu = false;
    for (int e = 0; e < kMessageCount; ++e)
        if ((m_uMessages & m_uEnabled & (1u << e)) && EntryCount(e) > 0)
            menu = true;
    const InputManager* input = Input();
    if (!menu || !input) {
        c.pointerShown = false;
        return;
    }
    const int dx = input->m_MouseState.lX, dy = input->m_MouseState.lY;
    if (std::abs(static_cast<long long>(dx)) + std::abs(static_cast<long long>(dy)) >= 2)
        c.pointerShown = true;
    if (!c.pointerShown)
        return;
    const render_device* d = installed_render_device();
    const int w = d && d->draw_width > 0 ? d->draw_width : 640, h = d && d->draw_height > 0 ? d->draw_height : 480;
    c.pointerX = static_cast<int>(std::clamp(static_cast<long long>(c.pointerX) + 3LL * dx, 0LL, w - 1LL));
    c.pointerY = static_cast<int>(std::clamp(static_cast<long long>(c.pointerY) + 3LL * dy, 0LL, h - 1LL));
    if (dx != 0 || dy != 0)
        m_nSelected = 0;
}

void Hud::DrawPointer()
{
    HudContent& c = *m_pContent;
    if (!c.pointerShown || !DrawableScreen())
        return;
    c.pointer.set_rect(0, kWhole, 0, kWhole);
    c.pointer.draw(c.pointerX, c.pointerY, m_nSelected != 0 ? 2 : 0);
}

// The arrow keys step the selection on the frame they go down; the first
// joystick's stick, when pushed further than the keys, steps it at most once
// every half second while it is held beyond 0.3 (unless the controls use the
// mouse). Enter, the joystick's first button or, with the pointer shown,
// the left mouse button activates the selected entry. The selection wraps
// within 1..entries and skips numbers no sprite of the element carries.
int Hud::StepSelection(int element)
{
    InputManager* input = Input();
    if (!input)
        return 0;
    const OverlayElement& el = m_pContent->def.elements[element];
    float deflection = input->KeyPressed(kKeyRight) ? 1.0f : (input->KeyPressed(kKeyLeft) ? -1.0f : 0.0f);
    bool fromStick = false;
    bool button = false;
    if (!(input->m_dwMode & kInputModeMouse) && input->JoystickCount() > 0) {
        const platform::JoystickState& pad = input->Joystick(0).State;
        const float stick = std::clamp(static_cast<float>(pad.axis[0] - platform::kJoystickAxisCentre) /
                                           static_cast<float>(platform::kJoystickAxisCentre),
                                       -1.0f, 1.0f);
        if (std::fabs(stick) > std::fabs(deflection)) {
            deflection = stick;
            fromStick = true;
        }
        button = (pad.button[0] & 0x80) != 0;
    }
    if (std::fabs(deflection) >= kStickDeadZone)
        m_pContent->pointerShown = false;
    int step = 0;
    if (std::fabs(deflection) > kStickDeadZone) {
        const std::uint32_t now = platform::time_get_time();
        if (!fromStick || now - m_uLastStick >= kStickRepeatMs) {
            step = deflection > 0.0f ? 1 : -1;
            if (fromStick)
                m_uLastStick = now;
        }
    }
    if (step != 0 && el.entries > 0) {
        int entry = m_nSelected;
        for (int tries = 0; tries < el.entries; ++tries) {
            entry += step;
            if (entry > el.entries)
                entry = 1;
            if (entry < 1)
                entry = el.entries;
            bool carried = false;
            for (const OverlaySprite& s : el.sprites)
                if (IsMenuCode(s.code) && EntryOfCode(s.code) == entry)
                    carried = true;
            if (carried)
                break;
        }
        m_nSelected = entry;
    }
    const bool click = m_pContent->pointerShown && (input->m_MouseState.rgbButtons[0] & 0x80);
    return (input->KeyPressed(kKeyReturn) || input->KeyPressed(kKeyPadEnter) || button || click) && m_nSelected != 0
               ? 1
               : 0;
}

namespace {

// Whether a sprite or text of `code` is drawn: rider rows need a rider, menu
// entries follow the selection (even codes while selected, odd while not).
bool CodeShown(int code, int page, int riders, int selected)
{
    if (code == 0)
        return true;
    if (code < kCodeMenuFirst)
        return code - 1 + 4 * page < riders;
    const bool isSelected = EntryOfCode(code) == selected;
    return (code % 2 == 0) == isSelected;
}

} // namespace

bool Hud::Draw(int e)
{
    if (e < 0 || e >= kMessageCount)
        return false;
    const std::uint32_t bit = 1u << e;
    const float frameTime = std::max(m_race.m_Camera.m_fFrameTime, 0.0f);
    m_fTimer[e] = std::min(m_fTimer[e] + std::min(frameTime, kTimerStepLimit), m_fDuration[e]);
    if (m_fTimer[e] >= 0.0f && (bit & kTimedMessages)) {
        Clear(bit);
        return false;
    }
    if (!m_pContent)
        return false;
    render_device* d = DrawableScreen();
    if (!d)
        return false;

    OverlayElement& el = m_pContent->def.elements[e];
    const int activated = el.entries > 0 ? StepSelection(e) : 0;

    const int bx = el.box[0], by = el.box[1], bw = el.box[2], bh = el.box[3];
    if (el.HasFill()) {
        if (d->render_type == kRenderSoftware)
            FillScreenRect(*d, bx, by, bw, bh, el.box[4], el.box[5], el.box[6], el.box[7]);
        else if (lib2d_surface* fill = m_pContent->boxFills[e].get())
            fill->draw(static_cast<float>(bx), static_cast<float>(by), static_cast<float>(bw),
                       static_cast<float>(bh));
    }

    // Scrolling lists: while the timer runs the rows move up by the phase
    // during the first period of every five. Only an element with a
    // scrolling list moves the list page (the menus' page entries keep it
    // otherwise).
    int scroll = 0;
    const int period = bh + el.rowHeight;
    if (m_fTimer[e] >= 0.0f && period > 0 && el.rowHeight > 0) {
        const long long phase = static_cast<long long>(static_cast<float>(period) * m_fTimer[e]) % (5LL * period);
        if (phase < period)
            scroll = static_cast<int>(phase);
        m_nPage = static_cast<int>(static_cast<long long>((m_fTimer[e] + 4.0f) * static_cast<float>(period)) /
                                   (5LL * period));
    }

    const bool network = m_race.NetworkGame() && !(m_race.m_uRunFlags & kAppFlagNetworkHost);
    const int riders = m_race.RiderCount();
    for (std::size_t k = 0; k < el.sprites.size(); ++k) {
        const OverlaySprite& s = el.sprites[k];
        const bool menu = IsMenuCode(s.code) && s.code <= 1000;
        if (menu && network)
            continue;
        if (!CodeShown(s.code, m_nPage, riders, m_nSelected))
            continue;
        int frame = s.frame;
        if (frame < 0 || e == kElementFinishStandings) {
            const int index = static_cast<int>(k);
            if (e == kElementStartSequence && s.frame == -17) {
                const Bike* b = StandingBike(index % 4 + 4 * m_nPage);
                if (!b)
                    continue;
                frame = RiderId(b);
            } else if (e == kElementFinishStandings) {
                const Bike* b = StandingBike(index % 6 + 6 * m_nPage);
                if (!b || !(b->Status & kBikeFinished))
                    continue;
                frame = s.frame == 0 ? 0 : RiderId(b);
            } else if (e >= 8 && e <= 10) {
                frame = RiderId(m_pCompared);
            } else if (e == kElementViewedFinish) {
                frame = RiderId(m_pViewedBike);
            } else {
                frame = m_race.m_nTrackIndex;
            }
        }
        if (s.picture < 0 || s.picture >= static_cast<int>(m_pContent->sheets.size()))
            continue;
        lib2d_picture& sheet = *m_pContent->sheets[static_cast<std::size_t>(s.picture)];
        int y = s.y < 0 ? by + (-s.y) - scroll : s.y;
        if (menu && m_pContent->pointerShown && m_pContent->pointerX >= s.x && m_pContent->pointerX < s.x + s.width &&
            m_pContent->pointerY >= y && m_pContent->pointerY < y + s.height)
            m_nSelected = EntryOfCode(s.code);
        if (s.y < 0) {
            sheet.set_rect(bx, bx + bw, by, by + bh);
        } else {
            sheet.set_rect(0, kWhole, 0, kWhole);
        }
        sheet.draw(s.x, y, frame);
    }

    for (const OverlayText& t : el.texts) {
        const bool menu = IsMenuCode(t.code) && t.code <= 1000;
        if (menu && network)
            continue;
        if (!CodeShown(t.code, m_nPage, riders, m_nSelected))
            continue;
        int highlighted = -1;
        const std::string text = ExpandText(e, t.text, &highlighted);
        int y = t.y < 0 ? by + (-t.y) - scroll : t.y;
        std::size_t from = 0;
        for (int line = 0; from <= text.size(); ++line) {
            const std::size_t end = std::min(text.find('\n', from), text.size());
            const std::string piece = text.substr(from, end - from);
            int fontIndex = t.font;
            if (line == highlighted && fontIndex + 1 < static_cast<int>(m_pContent->fonts.size()))
                ++fontIndex;
            lib2d_font& font = *m_pContent->fonts[static_cast<std::size_t>(fontIndex)];
            const OverlayFont& rec = m_pContent->def.fonts[static_cast<std::size_t>(fontIndex)];
            if (t.y < 0)
                font.set_clip(bx, bx + bw, by, by + bh);
            else
                font.set_clip(0, kWhole, 0, kWhole);
            int x = t.x;
            if (t.x < 0)
                x = -t.x - font.text_width(piece.c_str(), rec.space, rec.spacing) / 2;
            if (!piece.empty()) {
                if (m_TextWatch)
                    m_TextWatch(e, piece);
                if (rec.gapDrawer)
                    font.draw_text_gap(piece.c_str(), x, y, rec.space, rec.spacing);
                else
                    font.draw_text(piece.c_str(), x, y, rec.space, rec.spacing);
            }
            if (end >= text.size())
                break;
            from = end + 1;
            y += bh / 16 > 0 ? bh / 16 : font.cell_height;
        }
    }
    return activated != 0;
}

void Hud::RunEntry(int element, int entry)
{
    InputManager* input = Input();
    const int riders = m_race.RiderCount();
    switch (element) {
    case 2: // pause menu
        if (entry == 1) {
            EnableMessages(kHudOnboard | kHudTrackside);
            Clear(kHudPauseMenu | kHudRaceMenu);
            if (input)
                input->m_bPaused = 0;
            m_fDimTarget = 0.0f;
        } else if (entry == 2) {
            QueueCommand(m_race.m_nSessionType > 2 ? kRaceCommandRestart : kRaceCommandPark);
        } else if (entry == 3) {
            Clear(kHudPauseMenu);
            Raise(kHudConfirm);
        }
        break;
    case 3: // race menu
    case 5: // results menu
        if (entry >= 1 && entry <= 3) {
            static constexpr std::int32_t kCommands[3] = {kRaceCommandRestart, kRaceCommandEndReplay,
                                                          kRaceCommandEnd};
            QueueCommand(kCommands[entry - 1]);
        } else if (entry >= 4 && entry <= 7) {
            static constexpr int kMoves[4] = {-16, -1, 1, 16};
            m_nPage = std::max(0, std::min(m_nPage + kMoves[entry - 4], riders - 16));
        }
        break;
    case 6: // replay panel: the camera and viewed-bike entries and closing
        if (entry == 1 || entry == 2) {
            m_race.m_Camera.CycleMode(entry == 1 ? -1 : 1);
        } else if ((entry == 3 || entry == 4) && m_pViewedBike) {
            const int place = m_pViewedBike->RacePosition - 1 + (entry == 3 ? -1 : 1);
            if (Bike* b = StandingBike(place))
                m_race.m_Camera.FollowBike(b);
        } else if (entry == 15) {
            Clear(kHudReplayPanel);
        } else if (entry == 17) {
            // Leaving the replay: a replay loaded from a file ends the run;
            // the race's own replay stops and the race menu comes back.
            if (input && (input->m_dwMode & kInputModeLoaded)) {
                QueueCommand(kRaceCommandEnd);
            } else {
                if (input)
                    input->m_dwMode &= ~kInputModePlaying;
                Clear(kHudReplayPanel);
                Raise(kHudRaceMenu);
            }
        }
        if (input && entry >= 5 && entry <= 12) {
            // Play or pause, from the start, then the steps back and on.
            static constexpr int kCommands[8] = {2, 9, 7, 8, 6, 3, 5, 4};
            input->ReplayCommand(kCommands[entry - 5]);
            if (entry >= 7)
                m_bLatch = false; // held, they step again every frame
        } else if (input && entry == 14 && input->SaveReplay()) {
            Raise(kHudReplaySaved);
        }
        break;
    case 15: // confirmation
        if (entry == 1) {
            QueueCommand(kRaceCommandEnd);
        } else if (entry == 2) {
            Clear(kHudConfirm);
            Raise(kHudPauseMenu);
        }
        break;
    default:
        break;
    }
}

// A race without riders edits its trackside cameras: the editor's eye and
// the current camera's number, range and lens limits in font 4 down the
// left edge. Metres and degrees are rounded to the nearest whole number:
// the limits are kept in radians, and 2 or 80 degrees come back a hair
// short of whole, which truncation would print as 1 and 79.
void Hud::DrawEditorReadOuts()
{
    constexpr std::size_t kFont = 4;
    constexpr int kX = 10;
    if (!DrawableScreen() || m_pContent->fonts.size() <= kFont)
        return;
    lib2d_font& font = *m_pContent->fonts[kFont];
    const OverlayFont& rec = m_pContent->def.fonts[kFont];
    font.set_clip(0, kWhole, 0, kWhole);
    const auto line = [&](int y, const char* format, auto... values) {
        char text[96];
        std::snprintf(text, sizeof text, format, values...);
        if (rec.gapDrawer)
            font.draw_text_gap(text, kX, y, rec.space, rec.spacing);
        else
            font.draw_text(text, kX, y, rec.space, rec.spacing);
    };
    const CameraEditor& editor = m_race.m_CameraEditor;
    line(10, "X:%f", static_cast<double>(editor.m_Eye.x));
    line(40, "Z:%f", static_cast<double>(editor.m_Eye.z));
    line(70, "Y:%f", static_cast<double>(editor.m_Eye.y));
    const int current = editor.Current();
    if (current < 0 || current >= editor.Count())
        return;
    const TvCamera& camera = editor.Cameras()[current];
    const auto whole = [](float v) { return platform::trunc_to_int(std::floor(static_cast<double>(v) + 0.5)); };
    line(100, "%d/%d %d", current + 1, editor.Count(), whole(editor.m_fFov * kRadiansToDegrees));
    line(130, "T[%d:%d]", whole(camera.From), whole(camera.To));
    line(160, "F[%d:%d]", whole(camera.FocMin * kRadiansToDegrees), whole(camera.FocMax * kRadiansToDegrees));
}

void Hud::DrawCockpit()
{
    if (!m_pContent || !m_pViewedBike || !m_pViewedBike->GridEntry || !DrawableScreen())
        return;
    const int model = m_pViewedBike->GridEntry->Model;
    if (model < 0 || model >= kBikeModelCount || !m_pContent->cockpits[model].loaded)
        return;
    HudContent::Cockpit& c = m_pContent->cockpits[model];
    const CockpitDefinition& def = c.def;
    const int lights = static_cast<int>(def.revLights.size());
    if (def.pictures[2].frames > 0) {
        lib2d_picture& lit = c.pictures[2];
        lib2d_picture& unlit = c.pictures[3];
        lit.set_rect(0, kWhole, 0, kWhole);
        unlit.set_rect(0, kWhole, 0, kWhole);
        const auto drawLight = [&](int k, bool on) {
            const RevLight& r = def.revLights[static_cast<std::size_t>(k)];
            (on ? lit : unlit).draw(r.x, r.y, k);
        };
        if (m_nLitLights < 0) {
            for (int k = 0; k < lights; ++k)
                drawLight(k, false);
            m_nLitLights = 0;
        }
        const long long rpm = static_cast<long long>(m_pViewedBike->Rpm);
        int n = 0;
        while (n < lights && def.revLights[static_cast<std::size_t>(n)].threshold < rpm)
            ++n;
        while (m_nLitLights < n)
            drawLight(m_nLitLights++, true);
        while (m_nLitLights > n)
            drawLight(--m_nLitLights, false);
    }
    const auto readOut = [&](int k, const char* text) {
        const CockpitPicture& p = def.pictures[k];
        c.pictures[k].set_rect(0, kWhole, 0, kWhole);
        int x = p.x;
        for (const char* ch = text; *ch; ++ch) {
            if (*ch >= '0' && *ch <= '9')
                c.pictures[k].draw(x, p.y, *ch - '0');
            x += p.width + p.spacing;
        }
    };
    char text[16];
    if (def.pictures[0].frames > 0) {
        const float factor = (m_race.m_uRunFlags & kAppFlagMiles) ? 2.232f : 3.6f;
        const float speed = std::clamp(m_pViewedBike->Speed * factor, -99.0f, 999.0f);
        std::snprintf(text, sizeof text, "%03d", static_cast<int>(speed));
        readOut(0, text);
    }
    if (def.pictures[1].frames > 0) {
        std::snprintf(text, sizeof text, "%02d", m_pViewedBike->Gear + 1);
        readOut(1, text);
    }
}
