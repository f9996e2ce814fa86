#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct mdl_cloth;
struct model_part;
class model_node;

// Cloth: the vertices of one mesh node as mass points joined by damped
// springs. The model library reads the particles and springs with the mesh
// (model_part::cloth); a cloth is built from that definition, bound to its
// mesh node by init, and advanced by step, which writes the particles'
// positions back into the mesh's rest vertices, from where the ordinary
// mesh pipeline draws them. The simulation runs in double precision and is
// deterministic: the same definition, node and calls give the same bits.
//
// Who calls it: the model's set-up, once its nodes exist, builds each
// mesh node's cloth from its definition and binds it (init), when the
// scene library has installed it (install_cloth_setup); the node keeps
// it (node_cloth). Nothing steps it yet: whoever animates the cloth calls
// step with its time span.
//
// The positions written back are world positions: the mesh's rest vertices
// then hold the cloth where the world has it, and the model's mesh (shared
// by every instance of the model) shows the last cloth stepped.

// Particle states.
inline constexpr std::int32_t cloth_particle_free = 1;     // moved by springs, gravity and drag
inline constexpr std::int32_t cloth_particle_driven = 2;   // follows its rest position carried by the node
// Any other state: driven at the start of a step, then moved by its springs.

inline constexpr std::size_t cloth_links_max = 8;

// Library settings of every spring.
inline constexpr double cloth_spring_stiffness = 300.0;
inline constexpr double cloth_spring_damping = 12.5;

// At most this many sub-steps per call: a larger count is lowered to it
// and the span shared among them.
inline constexpr std::uint32_t cloth_max_substeps = 10000;

// Spring ends closer than this have no direction: the spring gives no
// force until they part.
inline constexpr double cloth_min_spring_length = 1e-9;

// Four doubles, of which the fourth is not read.
struct cloth_vector {
    double x = 0.0, y = 0.0, z = 0.0, w = 0.0;
};

// A spring end a particle is linked to: the spring's number and its side
// (0 end A, 1 end B).
struct cloth_link {
    std::uint32_t spring = 0;
    std::uint32_t side = 0;
};

struct cloth_particle {
    cloth_vector position;      // world space
    cloth_vector velocity;
    cloth_vector acceleration;
    cloth_vector rest;          // the mesh vertex, mesh space
    double mass = 0.0;
    cloth_vector force;         // external force of the current step
    std::int32_t state = cloth_particle_free;
    std::uint32_t link_count = 0;
    std::array<cloth_link, cloth_links_max> links{};
};

struct cloth_spring_end {
    std::array<double, 3> acceleration{};   // what this spring gives its particle
    std::int32_t particle = -1;             // the particle linked to this end; -1 none
};

struct cloth_spring {
    cloth_spring_end end[2];                // A, B
    double stiffness = cloth_spring_stiffness;
    double damping = cloth_spring_damping;
    double rest_length = 0.0;
};

class cloth {
public:
    // The particles and springs as the model library read them: each
    // particle's state and external force, each spring's rest length, and
    // the links between them (an end claimed by two particles keeps the
    // later). Gravity 140.0, drag 0.8, time 0; no node yet.
    explicit cloth(const mdl_cloth& definition);

    // Binds the cloth to a mesh node: every particle is put at its vertex
    // carried by the node's world matrix, with no velocity nor
    // acceleration, its rest position the vertex and mass 2.1; then gravity
    // 0.5 and drag 4.0. A node that is not a mesh, or has no geometry, shows
    // the engine's box ("cloth::init", "\nERROR Mesh not found!: \n") and
    // ends the program with status 1, as does a mesh whose vertex count
    // differs from the particle count (the model loader refuses both).
    void init(model_node* node);

    // Advances the simulation by `span` in sub-steps of span / steps: the
    // number of sub-steps is the integer ceil(steps) (at most
    // cloth_max_substeps). A span or a step count that is zero, negative or
    // not finite runs no sub-step; the positions are still written back and
    // the external forces cleared. Does nothing before init.
    void step(double span, double steps);

    model_node* node = nullptr;
    model_part* geometry = nullptr;
    double time = 0.0;          // simulated time reached so far
    double gravity = 140.0;
    double drag = 0.8;
    std::vector<cloth_particle> particles;
    std::vector<cloth_spring> springs;

private:
    void drive(double span);
    void forces();
    void integrate(double h);
    void write_back();

    // Per face: the normal of its first three corners' particles.
    std::vector<cloth_vector> face_normals_;
    // Per face: its first three corners as particle numbers.
    std::vector<std::array<std::uint32_t, 3>> face_corners_;
    // Per vertex: the faces of its face list (face_lists_[first_[i] ..
    // first_[i + 1]]).
    std::vector<std::uint32_t> face_lists_;
    std::vector<std::uint32_t> first_;
};

// Installs the model set-up that gives every new mesh node with a cloth
// definition its cloth, bound to the node (model_node::cloth_state).
void install_cloth_setup();
// The cloth of a mesh node, or null.
cloth* node_cloth(model_node* node);
