#include "engine/base/render_facts.h"

render_facts& engine_render_facts()
{
    static render_facts facts;
    return facts;
}
