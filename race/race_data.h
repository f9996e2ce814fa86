#pragma once

#include <cstddef>
#include <cstdint>

// The race's data lists: file and list names, the records read from them and
// the room the race keeps for each. Every list is read with the capacity of
// its destination, so a file that holds more values than the race has room
// for cannot overrun it (the extra values are left out and reported on the
// error output).

// Files.
inline constexpr const char* kInfoFile = "Data\\Info.dat";
inline constexpr const char* kDetailsFile = "Data\\Details.dat";
inline constexpr const char* kTimesFile = "Data\\Times.dat";
inline constexpr const char* kSmokesFile = "Data\\Smokes.dat";
inline constexpr const char* kAiFile = "Data\\AI.dat";

// Lists.
inline constexpr const char* kSmokeList = "SMOKE";
inline constexpr const char* kBikeTableList = "BIKES";
inline constexpr const char* kRiderTimesList = "RIDERS_TIMES";
inline constexpr const char* kMarkerCountList = "NUM_MARKERS";
inline constexpr const char* kMarkersList = "MARKERS";

// Level-of-detail distances of the track and of the bikes: ten each, every
// one 100000 m unless the list gives it.
inline constexpr int kLodDistances = 10;
inline constexpr float kFarLodDistance = 100000.0f;

// The track's priority values ("<track>_PRIORITY"): the first is the mesh
// priority of particles and practice arches.
inline constexpr int kTrackPriorityValues = 8;

// Reference lap times of the computer riders: rider ids 0..17 by track index
// 0..11.
inline constexpr int kTimedRiders = 18;
inline constexpr int kTimedTracks = 12;
inline constexpr int kRiderTimeValues = kTimedRiders * kTimedTracks;

// Sound markers of a track ("???_snd.dat"): at most this many are kept.
inline constexpr int kMaxSoundMarkers = 256;

// The track list names and the detail lists by detail level 0..5; "%s" is
// the device suffix ("_HW" for a hardware 3D device, else "_SW").
inline constexpr const char* kTrackDetailFormat = "TRACK%s";
inline constexpr const char* kBikeDetailFormats[6] = {
    "BIKES_LOW0%s", "BIKES_LOW1%s", "BIKES_MEDIUM2%s", "BIKES_MEDIUM3%s", "BIKES_HIGH4%s", "BIKES_HIGH5%s",
};
inline constexpr const char* kPlayerDetailFormats[6] = {
    "PLAYER_LOW0%s", "PLAYER_LOW1%s", "PLAYER_MEDIUM2%s", "PLAYER_MEDIUM3%s", "PLAYER_HIGH4%s", "PLAYER_HIGH5%s",
};
inline constexpr const char* kHardwareSuffix = "_HW";
inline constexpr const char* kSoftwareSuffix = "_SW";

// Weather suffixes of the track scene record ("<track><weather><device>").
inline constexpr const char* kWeatherSuffixes[3] = {"_SUNNY", "_RAIN", "_FOG"};

// The twelve circuits of the season, in track index order.
inline constexpr const char* kSeasonTracks[12] = {
    "Island", "Misano", "Donigton", "Hocken", "Monza", "Laguna",
    "Brands", "a1ring", "Assen", "Albacete", "Sugo", "Sentul",
};

// A positioned sound of the track: x, y, z.
struct SoundMarker {
    float X = 0.0f;
    float Y = 0.0f;
    float Z = 0.0f;
};
static_assert(sizeof(SoundMarker) == 12, "a sound marker is three floats");

// The lighting and fog of a track's scene, by weather and device: the list
// "<track>_SUNNY_SW" and its kin of "Data\Details.dat" (typed fields
// f i i f f f f f f f f f f f f f).
struct TrackSceneRecord {
    float EngineFactor = 0.0f;
    std::int32_t MarkKeys[2] = {};
    float LightPosition[3] = {};
    float LightColour[3] = {};
    float FogStart = 0.0f;
    float FogEnd = 0.0f;
    float FogColour[3] = {};
    float FogSwitch = 0.0f;
    float HeightThreshold = 0.0f;
};
static_assert(sizeof(TrackSceneRecord) == 64, "a track scene record is sixteen values");
inline constexpr int kTrackSceneValues = 16;
