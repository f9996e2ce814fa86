#pragma once

#include <cstdint>

#include "engine/base/clip_vertex.h"
#include "engine/base/pipeline_records.h"
#include "engine/base/vec4.h"
#include "engine/scene/mesh_draw.h"

class engine;
class model_node;
struct mtr_texture;
struct raster_material;
struct scn_light;

// Depth-sorted drawing on the software path (render type 1). There is no
// depth buffer: a transformed mesh's visible faces are filed into 2000
// depth buckets by a key from their mean view depth, and after every
// instance of the frame the buckets are walked in order and each face is
// built, clipped, lit and handed to the game's rasteriser.
//
// Key of a face: 16384 x (mean corner z + depth bias + sort layer) - 4096000,
// computed in double and held to the int32 range. View z is negative in
// front of the camera, so far faces have low keys and are drawn first;
// later faces overwrite earlier ones. Its bucket is the key plus
// zsort_bucket_offset, held to 0 .. 0xF9C000 and shifted right by 13
// (0 .. 1998; bucket 1999 stays empty): mean depths from the eye (bucket
// 1998) to 999 units in front of it (bucket 0) spread over the buckets,
// half a unit each; farther faces share bucket 0. Within a bucket entries
// are in ascending order of their own (unclamped) keys and equal keys keep
// the order they were filed in, so the drawing order is the order of the
// keys whatever bucket they fall in.

inline constexpr std::int32_t zsort_key_limit = 0xF9C000;
inline constexpr int zsort_bucket_shift = 13;
// The key of a face at mean depth 0 (16384 x 0 - 4096000) moved to the top
// of the bucket range.
inline constexpr std::int64_t zsort_bucket_offset = std::int64_t{zsort_key_limit} + 4096000;

// The key of a face whose corners have view depths z[0..count-1].
std::int32_t zsort_key(const float* z, int count, std::int32_t bias, std::int32_t layer);
// The bucket of a key (0 .. 1998).
int zsort_bucket(std::int32_t key);

// Starts a frame: the arena positions, the vertex count and the entry
// count back to 0. The scene view's prepare calls it in the software type.
void zsort_begin_frame(mesh_frame& frame);

// Empties every bucket; nothing without a bucket table.
void zsort_clear(engine& context);

// Files the visible faces of the mesh whose vertices the last transform
// wrote at frame.work / frame.screen (the arena's current positions): a face
// is filed when normal . (eye - P0) > 0 and the AND of its corners'
// outcodes is 0. When nothing was filed the mesh's vertices are given back
// (frame.in_use lowered by frame.written) and the positions stay; otherwise
// the current position moves on to frame.next_free. At most
// face_entry_count entries are filed per frame: further faces are dropped
// and counted in frame.entries_dropped (and in the run's fault counts).
// Returns the number of faces filed.
int zsort_add_faces(mesh_frame& frame, const model_part& mesh, const vec4& eye, const model_node& node);

// Files one triangle of a patch grid (the tessellator's clip vertices:
// words 1-4 the clip position, 9-10 u and v, 20 the light value) for the
// patch node `node`: its three vertices are projected into three new arena
// vertices (their outcodes beside them) and the triangle is filed under the
// key of its corners' view depths (no bias; the sort layer added) as an
// entry without a face. A triangle wholly outside one plane, one the arena
// has no room for, and one beyond the entry array (counted as a dropped
// face) are not filed. Returns 1 when filed.
int zsort_add_triangle(mesh_frame& frame, clip_vertex* const corners[3], const model_node& node);

// The patch tessellator's sink on the software path: points are lit with
// the node's lights and the patch material as on the 3D device's path,
// triangles are filed by zsort_add_triangle. The buckets draw a patch
// triangle with the first frame of the node's patch material and the light
// its corners were given, clipped and rasterised like a mesh face.
class zsort_patch_sink final : public patch_sink {
public:
    zsort_patch_sink(mesh_frame& frame, const model_node& node, const light_material& material,
                     scn_light* const* lights)
        : frame_(frame), node_(node), material_(material), lights_(lights)
    {
    }
    float light_point(const vec4& position, const vec4& normal) override;
    void triangle(clip_vertex* const corners[3], const mtr_texture* frame) override;
    int triangles_filed() const { return filed_; }

private:
    mesh_frame& frame_;
    const model_node& node_;
    light_material material_;
    scn_light* const* lights_;
    int filed_ = 0;
};

// Files one entry into its bucket.
void zsort_insert(engine& context, zsort_entry* entry);

// Draws every bucket from 0 to 1999 in list order, then empties them.
// `view` gives the clip record and projection (its renderer is not used),
// `lights` the frame's lights (the first one's direction and intensity light
// the nodes of the lazy lighting mode). Nothing without a bucket table.
// Returns the faces drawn.
int zsort_draw(engine& context, const mesh_view& view, scn_light* const* lights);

// The rasteriser's material for a texture frame of a software-path material
// library: texels from the frame's atlas pixels (rows 256 bytes apart), its
// span word as the texture mask, its pixel type as the fill mode and its
// colour word as the blend page. A null frame gives an empty material (the
// rasteriser draws nothing with it).
raster_material raster_material_of(const mtr_texture* frame);

// Draws one face of `count` built corners (light in word 20) whose corners'
// outcodes OR to `or_code` (their AND being 0): unclipped, scaled for the
// rasteriser and drawn as a polygon (`polygon_rasteriser`) or as triangles
// (a quad as (0, 1, 2) and (0, 2, 3)); otherwise clipped, projected and
// handed to poly_raster or poly_raster_fan. 1 when something was handed
// over, 0 when clipping left nothing.
int raster_face(const mesh_view& view, clip_vertex* corners, int count, std::uint32_t or_code,
                const mtr_texture* frame, bool polygon_rasteriser);

// The software emitters of clipped polygons: every vertex is scaled (x and y
// by the rasteriser's scale values, u and v by the texel scales su, sv),
// then the polygon goes to rast_polygon (poly_raster) or as the fan (0, i,
// i + 1) to the triangle rasteriser chosen by the option byte
// (poly_raster_fan).
void poly_raster(clip_vertex* vertices, int count, const raster_material& material, float su, float sv);
void poly_raster_fan(clip_vertex* vertices, int count, const raster_material& material, float su, float sv);

struct zsort_fault_counts {
    unsigned long dropped_faces = 0;   // faces beyond the entry array's 16000
};
const zsort_fault_counts& zsort_faults();
void zsort_reset_faults();
