#include "engine/model/camera_facing.h"

#include "engine/base/engine.h"

namespace {

camera_facing_reader& installed_reader()
{
    static camera_facing_reader reader = nullptr;
    return reader;
}

} // namespace

void set_camera_facing_reader(camera_facing_reader reader)
{
    installed_reader() = reader;
}

bool current_camera_facing(camera_facing* out)
{
    const camera_facing_reader reader = installed_reader();
    if (!reader || !current_engine || !current_engine->camera)
        return false;
    return reader(current_engine->camera, out);
}
