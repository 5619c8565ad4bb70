#include "notes/pitch.h"

void reset_for_voice(PitchState& p) { p = PitchState{}; }
