#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "menu/anim_strip.h"
#include "menu/font_control.h"
#include "platform/text.h"
#include "sim/telemetry_file.h"

class Form;
class Track;

// The value ranges of a telemetry channel: the curve range is the value
// range its bytes 0..255 cover; the label range is what the plot's labels
// and value ticks read.
struct PlotChannelRange {
    float CurveMin, CurveMax;
    float LabelMin, LabelMax;
};
inline constexpr int kPlotChannelCount = 12;
// A channel's ranges. The speed labels read km/h, or mph when the
// application's miles flag (run-flag bit 5) is set.
PlotChannelRange PlotChannelRangeOf(int channel, bool miles);

// Where the circuit map of a track stands on the screen: a map point (x, z)
// is drawn at ((x - OffsetX) x ScaleX, (z - OffsetY) x ScaleY).
struct PlotMapPlacement {
    float OffsetX = -3000.0f, OffsetY = -2300.0f;
    float ScaleX = 0.13f, ScaleY = 0.13f;
};
// The placement of a track's map by the track's name (ignoring case); other
// names get the default placement.
PlotMapPlacement PlotMapPlacementFor(const std::string& track);

// The telemetry plot: compares two saved laps, up to three channels of each
// drawn as curves over the distance along the lap, with a grid and value
// labels; a distance window the player zooms and scrolls (a linked scroll
// bar named "Scroll" scrolls it); and a map of the circuit with the window's
// stretch drawn over it.
class Plot : public FontControl {
public:
    static constexpr int kMaxShown = 3;

    // One shown channel: its rectangle (right and bottom the rectangle's
    // edges), channel number and colour slot.
    struct Band {
        std::int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
        std::int32_t Channel = 0;
        std::int32_t Slot = 0;
    };
    // A colour slot: the pens of lap A and lap B (0x00BBGGRR) and the legend
    // picture that marks a channel's button.
    struct ColourSlot {
        std::uint32_t LapA = 0, LapB = 0;
        AnimStrip Legend;
        bool Used = false;
    };

    Plot();
    ~Plot() override;

    void Load(FormParser& parser, const char* name) override;
    bool Update(std::int32_t* left, std::int32_t* top, std::int32_t* right, std::int32_t* bottom) override;
    bool Draw() override;
    bool Paint() override;
    // 100 (what the linked scroll bar sends, its position as x): scrolls the
    // window to x thousandths of the lap. Other messages are ignored.
    bool OnMouse(std::int32_t x, std::int32_t y, std::int32_t message, std::int32_t keys) override;

    // Reads the two lap files of ".\menu\save\" (an empty name: none). A
    // file that cannot be read or is not a sound lap file leaves its lap
    // empty. Lap B is drawn only when both were read. The form's "LBL_Bike"
    // shows the first lap's bike; the circuit of the lap's track is loaded
    // for the map and gives the lap length; the window shows the first
    // sixth of the lap; the channels are reset. False when neither lap was
    // read.
    bool LoadLaps(const std::string& file_a, const std::string& file_b, Form* form);
    void FreeLaps();

    void ToggleChannel(std::int32_t channel);
    void AddChannel(std::int32_t channel);
    void RemoveChannel(std::int32_t channel);
    void DropOldest();
    // Only with more than one channel shown.
    void SetOverlay(bool overlay);
    void ToggleWindowBar();
    // Scales the window's width by `factor` about its centre, within the
    // lap; the window stays at least one unit wide.
    void Zoom(float factor);
    // Overlay on, no map, no channels, every colour slot free (also when
    // the screen is entered, after the control's own reset).
    void Reset() override;

    // The channel bands' rectangles: the whole control each (overlay), or
    // one horizontal band each.
    void ComputeRectangles();

    std::int32_t LapLength() const { return m_nLapLength; }
    std::int32_t WindowStart() const { return m_nStart; }
    std::int32_t WindowEnd() const { return m_nEnd; }
    std::int32_t ShownCount() const { return m_nShown; }
    const Band& Shown(int i) const { return m_Bands[i]; }
    const ColourSlot& Slot(int i) const { return m_Slots[i]; }
    bool Overlay() const { return m_bOverlay; }
    bool BothLaps() const { return m_bBothLaps; }
    bool WindowBar() const { return m_bWindowBar; }
    const std::vector<TelemetrySample>& LapA() const { return m_LapA; }
    const std::vector<TelemetrySample>& LapB() const { return m_LapB; }
    const TelemetryHeader& HeaderA() const { return m_HeaderA; }
    const Track* Circuit() const { return m_pCircuit.get(); }
    const PlotMapPlacement& Placement() const { return m_Placement; }

    // Sets the lap length and window directly (the screen's tests, and a lap
    // read without its circuit); the window is kept within the lap and at
    // least one unit wide.
    void SetWindow(std::int32_t lap_length, std::int32_t start, std::int32_t end);

    // Reads a lap file of ".\menu\save\" by its bare name (a name with a
    // folder in it is refused). False, with `why`, when it cannot be read or
    // is not a sound lap file.
    static bool ReadLap(const std::string& name, TelemetryHeader& header, std::vector<TelemetrySample>& samples,
                        std::string* why = nullptr);

    // The legend pictures of the three colour slots (105 x 20 frames).
    static const char* LegendPicture(int slot);

private:
    void PaintGrid(const Band& band);
    void PaintBand(const Band& band);
    void PaintCurve(const Band& band, const std::vector<TelemetrySample>& lap, std::uint32_t colour);
    void PaintMap();
    // A label's text with its cell's top at y, placed by `align` about x.
    void Text(const std::string& text, std::int32_t x, std::int32_t y, platform::TextAlign align);
    // Keeps the window within 0..lap length and at least one unit wide.
    void KeepWindow();
    // Tells the linked "Scroll" bar where the window stands.
    void PlaceScrollBar();

    std::unique_ptr<Track> m_pCircuit;
    PlotMapPlacement m_Placement;
    std::int32_t m_nLapLength = 1, m_nStart = 0, m_nEnd = 1;
    TelemetryHeader m_HeaderA;
    std::vector<TelemetrySample> m_LapA, m_LapB;
    std::int32_t m_nShown = 0;
    Band m_Bands[kMaxShown];
    ColourSlot m_Slots[kMaxShown];
    bool m_bOverlay = true, m_bBothLaps = false, m_bWindowBar = false;
};
