// The piece as it sounds and as it is written, in whole numbers: what a player, a MIDI writer
// or a drawing of the score needs, read from the same conversion that writes the tavix text.
//
// Time is counted in ticks, 96 to a quarter note (the text's "$resolution 96"), so 384 to a
// whole note and 2 to each 192nd that a measure counts. Every voice starts at tick 0: voices
// sound together.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pn2tavix/message.h"

namespace pn2tavix {

inline constexpr int kTicksPerQuarter = 96;
inline constexpr int kHeadTempo = 67;  // quarter notes a minute until a voice's first "$tempo"

/// A note or rest value as the token wrote it.
struct WrittenValue {
  int value = 0;         // the note value as written (1, 2, 4, ... 64); 0 for a whole-measure rest
  int dots = 0;          // 0, 1 or 2
  bool triplet = false;  // a triplet: its line says "/Ln:96/"
};

/// A "$tempo" line: from `tick` on, its voice plays `tempo` quarter notes a minute.
struct TempoChange {
  std::int64_t tick = 0;
  int tempo = kHeadTempo;  // the number the line writes (may be negative where the input was)
  int measure = 0;
  Position at;  // the "tempo" statement; for a copied measure, the one copied
};

/// One voice's set-up, as its channel block writes it.
struct TimedVoice {
  std::int64_t voice = 0;           // 1 for the first
  std::string title;                // the title that started it, as read
  int pan = 0;                      // 0 (left) to 127 (right)
  std::string patch;                // "flute"
  int program = 73;                 // the General MIDI program of `patch`, from 0 (73 is the flute)
  int reverb = 0;                   // "$reverb", 0 to 127
  int chorus = 0;                   // "$chorus", 0 to 127
  std::int64_t end = 0;             // the tick after its last note, rest or measure
  std::vector<TempoChange> tempos;  // in order of ticks
};

/// A note that sounds.
struct TimedNote {
  std::int64_t voice = 0;
  int measure = 0;
  std::int64_t start = 0;     // tick from the start of the piece
  std::int64_t length = 0;    // ticks: n × 6 for "/Ln:64/", n × 4 for "/Ln:96/"
  std::int64_t sounding = 0;  // ticks that sound: the length less its "$shorten"
  int key = 60;               // MIDI key number, c5 (middle C) = 60
  char letter = 'c';          // the name written: 'a' to 'g'
  char accidental = 0;        // '+' or '-'; 0 for none
  int octave = 5;             // 2 to 7
  WrittenValue written;
  Position at;  // the token that wrote it: for a copied measure, the token copied
  std::uint64_t token_length = 0;
};

/// A rest: a rest token, or a whole-measure rest written by "rest N".
struct TimedRest {
  std::int64_t voice = 0;
  int measure = 0;
  std::int64_t start = 0;
  std::int64_t length = 0;
  bool whole_measure = false;  // written by "rest N"
  WrittenValue written;
  Position at;  // the rest token, or the "rest" statement
  std::uint64_t token_length = 0;
};

/// A change that the score shows: a clef, a key signature or a measure length ("units").
struct TimedChange {
  enum class Kind { kClef, kKey, kMeasureLength };
  std::int64_t voice = 0;
  std::int64_t tick = 0;
  int measure = 0;
  Kind kind = Kind::kClef;
  // kClef: 0 treble, 1 alto, 2 tenor, 3 bass; kKey: sharps (> 0) or flats (< 0), 0 for none;
  // kMeasureLength: the measure's length in 64ths, as "$time_sig N/64" writes it.
  long long value = 0;
  Position at;
};

/// A measure closed by a bar line, "rest" or "copy", including empty and whole-rest ones.
struct TimedMeasure {
  enum class Kind { kWritten, kWholeRest, kCopy };
  std::int64_t voice = 0;
  int number = 0;
  std::int64_t start = 0;
  std::int64_t length = 0;  // ticks that its notes and rests fill
  Kind kind = Kind::kWritten;
  int copied_from = 0;  // kCopy: the measure repeated
};

/// Everything that sounding or drawing the piece needs; each list in the order of the text.
struct Timeline {
  std::vector<TimedVoice> voices;
  std::vector<TimedNote> notes;
  std::vector<TimedRest> rests;
  std::vector<TimedChange> changes;
  std::vector<TimedMeasure> measures;
};

}  // namespace pn2tavix
