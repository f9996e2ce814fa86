#pragma once

#include <filesystem>
#include <string>

#include "platform/video.h"

namespace datakit {

// The menus' demo videos, in the menu folder: a flight round a podium
// scene drawn by the game's own engine (its software rasteriser at 320 x
// 240), 15 frames a second for 2 s, with the sound of a bike passing.
inline constexpr const char* kDemoIntroVideo = "video\\intro.avi";
inline constexpr int kDemoVideoWidth = 320;
inline constexpr int kDemoVideoHeight = 240;
inline constexpr int kDemoVideoFrameRate = 15;
inline constexpr int kDemoVideoFrames = 30;

// The frames and sound of the intro video: the scene "<root>/menu/3d/a1"
// (written first) seen from a camera flying round it. Empty frames when the
// engine cannot draw (no display service).
platform::VideoSource demo_intro_video_source(const std::filesystem::path& root);

// Writes "<root>/menu/video/intro.avi" (after the podium scenes). Without
// the video libraries nothing is written and the game's videos end at once.
bool write_demo_videos(const std::filesystem::path& root, std::string& error);

} // namespace datakit
