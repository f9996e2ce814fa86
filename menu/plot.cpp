#include "menu/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "app/game_app.h"
#include "champ/save_slots.h"
#include "menu/form.h"
#include "menu/label.h"
#include "menu/scroll_bar.h"
#include "menu/window.h"
#include "platform/directory_listing.h"
#include "sim/track.h"

namespace {

// The channels' curve ranges (the values their bytes span, as the race
// records them) and the ranges their labels read.
constexpr PlotChannelRange kRanges[kPlotChannelCount] = {
    {0.0f, 127.0f, 0.0f, 100.0f},                          // throttle, in percent
    {0.0f, 127.0f, 0.0f, 100.0f},                          // brake
    {0.0f, 6.0f, 0.0f, 6.0f},                              // gear
    {0.0f, 94.44445f, 0.0f, 340.0f},                       // speed, m/s read as km/h
    {0.0f, 16000.0f, 0.0f, 16000.0f},                      // revs
    {-1.5707964f, 1.5707964f, -90.0f, 90.0f},              // roll, radians read as degrees
    {-0.3926991f, 0.3926991f, -22.5f, 22.5f},              // pitch
    {-29.41995f, 29.41995f, -29.41995f, 29.41995f},        // acceleration
    {-0.2f, 0.2f, -0.2f, 0.2f},                            // front travel
    {-0.5f, 0.5f, -0.5f, 0.5f},                            // front speed
    {-0.1f, 0.1f, -0.1f, 0.1f},                            // rear travel
    {-0.5f, 0.5f, -0.5f, 0.5f},                            // rear speed
};
constexpr float kTopSpeedMph = 210.8f;

struct NamedPlacement {
    const char* name;
    PlotMapPlacement placement;
};
constexpr NamedPlacement kPlacements[] = {
    {"A1ring", {-1900.0f, -1200.0f, 0.25f, 0.25f}},   {"albacete", {-1050.0f, -900.0f, 0.3f, 0.3f}},
    {"Assen", {-1800.0f, -1300.0f, 0.18f, 0.18f}},    {"brands", {-1300.0f, -600.0f, 0.25f, 0.25f}},
    {"donigton", {-1300.0f, -1000.0f, 0.25f, 0.25f}}, {"hocken", {-4000.0f, -2400.0f, 0.1f, 0.1f}},
    {"island", {-2100.0f, -1450.0f, 0.17f, 0.17f}},   {"misano", {-1650.0f, -1050.0f, 0.23f, 0.23f}},
    {"laguna", {-1500.0f, -450.0f, 0.3f, 0.3f}},      {"Monza", {-2150.0f, -1850.0f, 0.18f, 0.18f}},
    {"sentul", {-2400.0f, -1500.0f, 0.16f, 0.16f}},   {"sugo", {-1400.0f, -550.0f, 0.3f, 0.3f}},
};

const char* const kLegendPictures[Plot::kMaxShown] = {"SSprites\\color_00.pcx", "SSprites\\color_01.pcx",
                                                      "SSprites\\color_02.pcx"};
constexpr std::uint32_t kPens[Plot::kMaxShown][2] = {
    {0x1D1DFF, 0x1C1C6E}, {0x31F0FF, 0x1C5D65}, {0x23E76A, 0x1C421C}};
constexpr std::int32_t kLegendWidth = 105, kLegendHeight = 20;

} // namespace

PlotChannelRange PlotChannelRangeOf(int channel, bool miles)
{
    PlotChannelRange range = kRanges[std::clamp(channel, 0, kPlotChannelCount - 1)];
    if (channel == kTelemetrySpeed && miles)
        range.LabelMax = kTopSpeedMph;
    return range;
}

PlotMapPlacement PlotMapPlacementFor(const std::string& track)
{
    for (const NamedPlacement& p : kPlacements)
        if (platform::equals_ignoring_case(track, p.name))
            return p.placement;
    return {};
}

bool Plot::ReadLap(const std::string& name, TelemetryHeader& header, std::vector<TelemetrySample>& samples,
                   std::string* why)
{
    if (name.empty() || name.find_first_of("/\\:") != std::string::npos || name.find("..") != std::string::npos) {
        if (why)
            *why = "not a lap file name";
        return false;
    }
    return ReadTelemetryFile(MakeSavePath(name.c_str()), &header, &samples, why);
}

const char* Plot::LegendPicture(int slot)
{
    return kLegendPictures[std::clamp(slot, 0, kMaxShown - 1)];
}

Plot::Plot() : FontControl(kControlPlot)
{
    for (int i = 0; i < kMaxShown; ++i) {
        m_Slots[i].LapA = kPens[i][0];
        m_Slots[i].LapB = kPens[i][1];
    }
    Reset();
}

Plot::~Plot() = default;

void Plot::Load(FormParser& parser, const char* name)
{
    FontControl::Load(parser, name);
    SetFont("Arial", 80, 80, 0, m_nFontLogical);
    m_nFontKind = kFontWindows;
    m_pFace = nullptr;
    for (ColourSlot& slot : m_Slots)
        slot.Legend.Load(kLegendPictures[&slot - m_Slots], kLegendWidth, kLegendHeight);
}

bool Plot::Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom)
{
    UpdateSlide();
    Invalidate();
    GrowDirty(left, top, right, bottom);
    return true;
}

bool Plot::Draw()
{
    return Paint();
}

void Plot::Reset()
{
    Control::Reset();
    m_bOverlay = true;
    m_bWindowBar = false;
    m_nShown = 0;
    for (ColourSlot& slot : m_Slots)
        slot.Used = false;
    ComputeRectangles();
    Invalidate();
}

void Plot::ComputeRectangles()
{
    const std::int32_t height = m_nHeight;
    for (std::int32_t i = 0; i < m_nShown; ++i) {
        Band& band = m_Bands[i];
        band.Left = GetLeft();
        band.Right = GetRight();
        if (m_bOverlay || m_nShown == 0) {
            band.Top = GetTop();
            band.Bottom = GetBottom();
        } else {
            band.Top = GetTop() + i * height / m_nShown;
            band.Bottom = GetTop() + (i + 1) * height / m_nShown;
        }
    }
}

void Plot::AddChannel(std::int32_t channel)
{
    if (channel < 0 || channel >= kPlotChannelCount)
        return;
    if (m_nShown >= kMaxShown)
        DropOldest();
    std::int32_t slot = 0;
    while (slot < kMaxShown && m_Slots[slot].Used)
        ++slot;
    if (slot == kMaxShown)
        return;
    m_Slots[slot].Used = true;
    m_Bands[m_nShown] = Band{0, 0, 0, 0, channel, slot};
    ++m_nShown;
    ComputeRectangles();
    Invalidate();
}

void Plot::RemoveChannel(std::int32_t channel)
{
    for (std::int32_t i = 0; i < m_nShown; ++i) {
        if (m_Bands[i].Channel != channel)
            continue;
        m_Slots[m_Bands[i].Slot].Used = false;
        std::copy(m_Bands + i + 1, m_Bands + m_nShown, m_Bands + i);
        --m_nShown;
        if (m_nShown == 1)
            m_bOverlay = true;
        ComputeRectangles();
        Invalidate();
        return;
    }
}

void Plot::DropOldest()
{
    if (m_nShown > 0)
        RemoveChannel(m_Bands[0].Channel);
}

void Plot::ToggleChannel(std::int32_t channel)
{
    for (std::int32_t i = 0; i < m_nShown; ++i)
        if (m_Bands[i].Channel == channel) {
            RemoveChannel(channel);
            return;
        }
    AddChannel(channel);
}

void Plot::SetOverlay(bool overlay)
{
    if (m_nShown <= 1)
        return;
    m_bOverlay = overlay;
    ComputeRectangles();
    Invalidate();
}

void Plot::ToggleWindowBar()
{
    m_bWindowBar = !m_bWindowBar;
    Invalidate();
}

void Plot::KeepWindow()
{
    m_nLapLength = std::max(m_nLapLength, 1);
    m_nStart = std::clamp(m_nStart, 0, m_nLapLength - 1);
    m_nEnd = std::clamp(m_nEnd, m_nStart + 1, m_nLapLength);
}

void Plot::SetWindow(std::int32_t lap_length, std::int32_t start, std::int32_t end)
{
    m_nLapLength = lap_length;
    m_nStart = start;
    m_nEnd = end;
    KeepWindow();
    Invalidate();
}

void Plot::Zoom(float factor)
{
    const std::int64_t width = static_cast<std::int64_t>(m_nEnd) - m_nStart;
    const double centre = static_cast<double>(m_nStart + width / 2);
    const double half = static_cast<double>(width) * factor / 2.0;
    double start = std::trunc(centre - half + 0.5), end = std::trunc(centre + half + 0.5);
    // At least 0 and at most the lap length; a factor that is not a number
    // shows the whole lap.
    if (!(start >= 0.0))
        start = 0.0;
    if (!(end <= m_nLapLength))
        end = m_nLapLength;
    m_nStart = static_cast<std::int32_t>(std::min<double>(start, m_nLapLength));
    m_nEnd = static_cast<std::int32_t>(std::max(end, 0.0));
    // Zoomed in as far as it goes, the window keeps one unit.
    if (m_nEnd - m_nStart < 1) {
        m_nEnd = std::min(m_nStart + 1, m_nLapLength);
        m_nStart = m_nEnd - 1;
    }
    KeepWindow();
    PlaceScrollBar();
    Invalidate();
}

void Plot::PlaceScrollBar()
{
    if (!m_pOwner)
        return;
    auto* bar = dynamic_cast<ScrollBar*>(m_pOwner->FindElement("Scroll"));
    if (!bar)
        return;
    const std::int64_t width = static_cast<std::int64_t>(m_nEnd) - m_nStart;
    const std::int64_t room = width >= m_nLapLength ? 1 : m_nLapLength - width;
    auto position = static_cast<std::int32_t>(std::floor(static_cast<double>(m_nStart) * 1000.0 / room + 0.5));
    // The bar stands in its middle when there is nowhere to scroll (and,
    // as the screens have it, at the lap's start too).
    if (position == 0)
        position = 500;
    bar->m_nPosition = position;
    bar->Invalidate();
}

bool Plot::OnMouse(std::int32_t x, std::int32_t /*y*/, std::int32_t message, std::int32_t /*keys*/)
{
    if (message != kScrollToPosition)
        return true;
    // The window keeps its width and moves so that x thousandths of the
    // lap's free room lie before it.
    const std::int64_t width = static_cast<std::int64_t>(m_nEnd) - m_nStart;
    const std::int64_t room = std::max<std::int64_t>(m_nLapLength - width, 0);
    const std::int64_t at = std::clamp<std::int32_t>(x, 0, 1000);
    m_nStart = static_cast<std::int32_t>(room * at / 1000);
    m_nEnd = static_cast<std::int32_t>(m_nStart + width);
    KeepWindow();
    Invalidate();
    return true;
}

bool Plot::LoadLaps(const std::string& file_a, const std::string& file_b, Form* form)
{
    FreeLaps();
    TelemetryHeader header_b;
    const bool read_a = ReadLap(file_a, m_HeaderA, m_LapA);
    const bool read_b = ReadLap(file_b, header_b, m_LapB);
    if (!read_a && read_b) {
        // A lone second lap is drawn as the first.
        m_HeaderA = header_b;
        m_LapA.swap(m_LapB);
    }
    m_bBothLaps = read_a && read_b;
    if (!read_a && !read_b)
        m_HeaderA = TelemetryHeader{};

    if (form)
        if (auto* bike = dynamic_cast<::Label*>(form->FindElement("LBL_Bike"))) {
            // The bike's row, kept within the label's rows: a bike index from
            // a file may be anything.
            const std::int64_t last = std::max<std::int32_t>(bike->RowCount() - 1, 0);
            const auto row = static_cast<std::int32_t>(std::min<std::int64_t>(m_HeaderA.Model, last));
            bike->m_nSelectedRow = row;
            bike->SetCurrentRow(row);
            bike->SetFirstRow(row);
        }

    const std::string track = m_HeaderA.TrackNameText();
    m_Placement = PlotMapPlacementFor(track);
    m_pCircuit = std::make_unique<Track>();
    bool circuit = false;
    try {
        circuit = !track.empty() && m_pCircuit->Load(track.c_str()) && !m_pCircuit->IsEmpty();
    } catch (const std::exception&) {
        circuit = false;
    }
    if (!circuit)
        m_pCircuit.reset();
    // The lap length is the circuit's; without a circuit, the farthest
    // distance the laps reach.
    double length = circuit ? std::floor(static_cast<double>(m_pCircuit->Length)) : 0.0;
    if (!(length >= 1.0)) {
        length = 0.0;
        for (const std::vector<TelemetrySample>* lap : {&m_LapA, &m_LapB})
            for (const TelemetrySample& s : *lap)
                if (std::isfinite(s.Distance))
                    length = std::max(length, std::floor(static_cast<double>(s.Distance)));
    }
    m_nLapLength = static_cast<std::int32_t>(std::clamp(length, 1.0, 1.0e9));
    m_nStart = 0;
    m_nEnd = m_nLapLength / 6;
    KeepWindow();
    Reset();
    return read_a || read_b;
}

void Plot::FreeLaps()
{
    m_LapA.clear();
    m_LapA.shrink_to_fit();
    m_LapB.clear();
    m_LapB.shrink_to_fit();
    m_bBothLaps = false;
    m_pCircuit.reset();
    Invalidate();
}
