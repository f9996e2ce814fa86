#pragma once

#include <cstdint>
#include <vector>

class lib2d_picture;

namespace platform {
class File;
}

// A strip of sprite frames: one picture, or every picture "<prefix>*.pcx"
// (on disk, else numbered entries of the main archive), in name order, each
// taken from the current menu manager's sprite cache (the pictures stay in
// the cache when the strip is freed). With the two-halves flag the second
// half of the frames is the selected look of the first.
class AnimStrip {
public:
    AnimStrip() = default;
    ~AnimStrip() { Free(); }
    AnimStrip(const AnimStrip&) = delete;
    AnimStrip& operator=(const AnimStrip&) = delete;

    // Throws "frame not found %s" when no frame exists, "Main mixer file not
    // found" when the frames are looked for in an archive that cannot be
    // opened, and what the sprite cache throws.
    void Load(const char* name, std::int32_t frame_width, std::int32_t frame_height);
    void Free();
    // Draws the current frame (of the selected half when selected) at (x, y).
    void Draw(std::int32_t x, std::int32_t y) const;
    void NextFrame();
    void PrevFrame();
    // Throws "out of range in SetState" for a frame outside the loaded ones.
    void SetState(std::int32_t frame);
    // The frame, or the nearest the strip has (nothing while it has none):
    // for looks that ask for frames a short strip lacks.
    void SetFrameClamped(std::int32_t frame);
    void GetSize(std::int32_t& width, std::int32_t& height) const
    {
        width = m_nFrameWidth;
        height = m_nFrameHeight;
    }
    void SaveState(platform::File& file) const;
    void LoadState(platform::File& file);
    // Clips every frame to the rectangle (right and bottom exclusive).
    void DrawBackground(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

    std::int32_t Count() const { return static_cast<std::int32_t>(m_Frames.size()); }
    // The frame Draw shows: the current one, in the second half when selected.
    std::int32_t ShownFrame() const;
    // How far the visible pixels of the widest frame reach from the frame's
    // left edge (0 without frames).
    std::int32_t VisibleRight() const;

    std::vector<lib2d_picture*> m_Frames;
    std::int32_t m_nCurrent = 0;
    std::int32_t m_nFrameWidth = 0, m_nFrameHeight = 0;
    bool m_bTwoHalves = false;
    bool m_bSelected = false;

private:
    // The frames NextFrame and PrevFrame cycle through.
    std::int32_t CycleLength() const;
};
