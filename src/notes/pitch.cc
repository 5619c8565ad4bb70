#include "notes/pitch.h"

namespace pn2tavix::detail {

void reset_for_voice(PitchState& p) { p = PitchState{}; }

}  // namespace pn2tavix::detail
