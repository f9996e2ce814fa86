#include "race/trackside_cameras.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/typed_list.h"
#include "platform/atomic_file.h"

namespace {

bool Finite(float v)
{
    return std::isfinite(v);
}

// Why the record cannot be a camera, or null when it can.
const char* RecordFault(const TvCamera& c)
{
    if (!Finite(c.X) || !Finite(c.Y) || !Finite(c.Z) || !Finite(c.From) || !Finite(c.To) || !Finite(c.FocMin) ||
        !Finite(c.FocMax) || !Finite(c.FakeZoom))
        return "a value is not a number";
    if (c.From < 0.0f || c.To < 0.0f)
        return "a negative distance";
    if (c.FocMin <= 0.0f || c.FocMax >= 180.0f || c.FocMin > c.FocMax)
        return "field-of-view limits outside (0, 180) degrees or the wrong way round";
    if (c.FakeZoom < 0.0f || c.FakeZoom > 1.0f)
        return "a zoom fraction outside [0, 1]";
    return nullptr;
}

std::string ThreeLetters(const char* trackName)
{
    std::string prefix;
    for (int i = 0; i < 3 && trackName && trackName[i]; ++i)
        prefix += trackName[i];
    return prefix;
}

} // namespace

bool TvCameraCovers(const TvCamera& camera, float d)
{
    if (camera.From <= camera.To)
        return camera.From <= d && d < camera.To;
    return d >= camera.From || d < camera.To;
}

int FindTvCamera(const TvCamera* cameras, int count, float d)
{
    for (int i = 0; i < count; ++i)
        if (TvCameraCovers(cameras[i], d))
            return i;
    return -1;
}

int LoadTvCameras(const char* path, TvCamera* cameras, int capacity, std::string* error)
{
    if (capacity > kMaxTvCameras)
        capacity = kMaxTvCameras;
    if (capacity <= 0)
        return 0;
    TvCamera read[kMaxTvCameras];
    std::memset(read, 0, sizeof read);
    const int count = ReadTypedList(path, "CAMERAS", read, static_cast<int>(sizeof(TvCamera)),
                                    static_cast<int>(sizeof(TvCamera)), capacity);
    for (int i = 0; i < count; ++i) {
        read[i].Name[sizeof read[i].Name - 1] = '\0';
        if (const char* fault = RecordFault(read[i])) {
            if (error) {
                char text[160];
                std::snprintf(text, sizeof text, "camera %d of \"%s\": %s", i, path, fault);
                *error = text;
            }
            return 0;
        }
    }
    for (int i = 0; i < count; ++i) {
        read[i].FocMin *= kDegreesToRadians;
        read[i].FocMax *= kDegreesToRadians;
        cameras[i] = read[i];
    }
    return count;
}

std::string TvCameraFileText(const TvCamera* cameras, int count)
{
    std::string text = "CAMERAS\n";
    text += "* Nome\t\tX\t\tY\t\tZ\t\tFrom\tTo\t\tFoc.Min\tFoc.Max\tFake Zoom\n";
    char line[512];
    for (int i = 0; i < count; ++i) {
        const TvCamera& c = cameras[i];
        std::snprintf(line, sizeof line, "sCAM%d\tf%f\tf%f\tf%f\tf%f\tf%f\tf%f\tf%f\tf%f\n", i,
                      static_cast<double>(c.X), static_cast<double>(c.Y), static_cast<double>(c.Z),
                      static_cast<double>(c.From), static_cast<double>(c.To),
                      static_cast<double>(c.FocMin * kRadiansToDegrees),
                      static_cast<double>(c.FocMax * kRadiansToDegrees), static_cast<double>(c.FakeZoom));
        text += line;
    }
    text += "END_LIST\n";
    return text;
}

bool SaveTvCameras(const std::string& nativePath, const TvCamera* cameras, int count, std::string* error)
{
    if (count < 0 || count > kMaxTvCameras) {
        if (error)
            *error = "camera count out of range";
        return false;
    }
    const std::string text = TvCameraFileText(cameras, count);
    return platform::write_file_atomic(nativePath, text.data(), text.size(), error);
}

std::string TrackCameraFileName(const char* trackName)
{
    return "Data\\Tracks\\" + ThreeLetters(trackName) + "_cam.dat";
}

std::string EditorCameraFileName(const char* trackName)
{
    return ThreeLetters(trackName) + "_cam.dat";
}
