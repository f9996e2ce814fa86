#include "tools/datakit/sound_set_writer.h"

namespace datakit {

void add_sound_set_list(TypedListWriter& out, std::string_view model, const std::vector<SoundLayerSpec>& layers)
{
    out.begin_list(model);
    for (const SoundLayerSpec& l : layers) {
        out.record({TypedField::s(l.name), TypedField::i(l.slot), TypedField::i(l.low), TypedField::i(l.full_from),
                    TypedField::i(l.full_to), TypedField::i(l.high), TypedField::i(l.fine_tune),
                    TypedField::i(l.pitch_low), TypedField::i(l.pitch_high), TypedField::i(l.wobble),
                    TypedField::f(l.wobble_period), TypedField::f(l.volume_low), TypedField::f(l.volume_high),
                    TypedField::b(l.enabled)});
    }
    out.end_list();
}

} // namespace datakit
