#include "engine/base/texture_record.h"

texture_surface_ops& texture_surfaces()
{
    static texture_surface_ops ops;
    return ops;
}
