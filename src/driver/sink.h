// Owns everything the converter writes: the output itself, the measure text and events
// collected while collecting is on, and the store of finished measures that "copy" replays,
// each its text and its events together. Knows nothing of tokens or notes; the driver says
// when a measure is collected, filed and replayed.
#pragma once

#include <cstddef>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "base/limits.h"
#include "pn2tavix/message.h"

namespace pn2tavix::detail {

constexpr size_t kOutputBlock = 64 * 1024;  // bytes gathered for one write

/// What the store holds for one measure number.
enum class StoredMeasure {
  kNone,      // not closed yet in this voice
  kText,      // the measure's text, ready to be replayed
  kUnopened,  // closed, but not opened by its own measure number: its text was never collected
  kTooLong,   // collected, but longer than kMeasureTextMax
};

/// Something written in a measure that playing or drawing the piece needs, for a caller that
/// asked for them. Kept with the measure's text, so that "copy" repeats both.
struct MeasureEvent {
  enum class Kind : unsigned char { kNote, kRest, kTempo, kMeasureLength };
  Kind kind = Kind::kNote;
  char letter = 0;               // kNote: 'a' to 'g', as written out
  char accidental = 0;           // kNote: '+' or '-'; 0 for none
  int octave = 0;                // kNote: 2 to 7
  int semitone = 0;              // kNote: 0 for c2 to 60 for c7
  long long start = 0;           // 192nds from the start of the measure
  long long length = 0;          // kNote, kRest: 192nds
  long long measure_length = 0;  // 192nds that the measure holds; 0 before any "units"
  // kNote: the 384ths of it left silent; kTempo: the "$tempo" written; kMeasureLength: 64ths.
  long long value = 0;
  int note_value = 0;    // kNote, kRest: as written (1, 2, 4 ... 64); 0 for a whole-measure rest
  int dots = 0;          // kNote, kRest
  bool triplet = false;  // kNote, kRest
  bool whole_measure = false;  // kRest: written by "rest N"
  Position at;                 // the token or statement that wrote it
  std::uint64_t token_length = 0;
};

struct MeasureEntry {
  StoredMeasure state = StoredMeasure::kNone;
  std::string text;                  // kept between voices so that filing reuses its memory
  std::vector<MeasureEvent> events;  // only for a caller that asked for them
};

struct Sink {
  /// Writes to a stream buffer (standard output, or a caller's stream).
  explicit Sink(std::streambuf* output);
  /// Appends to a caller's string; with nullptr the output is made and dropped.
  explicit Sink(std::string* output);
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  std::streambuf* out_buf = nullptr;
  std::string* out_text = nullptr;
  // Collecting: what is written also belongs to the measure text. Turned on and off by
  // start_collecting and stop_collecting.
  bool tavix_out_buffering = false;
  // The measure text: a fixed buffer, as it may never hold more than kMeasureTextMax
  // characters. Output joins it in runs, from the output block (see collected_up_to).
  char measure_buf[kMeasureTextMax];
  size_t measure_len = 0;
  std::vector<MeasureEvent> measure_events;      // collected with the measure text
  bool measure_buf_overflow = false;             // more was collected than measure_buf may hold
  std::vector<MeasureEntry> generated_measures;  // index = measure number; grown as filed
  int highest_filed = 0;  // clearing the store touches only the entries a voice used

  // Output is gathered in blocks: one write per block instead of one per line. A fixed block
  // rather than a vector, so that adding a line is a bounds test and a copy.
  std::unique_ptr<char[]> pending;
  size_t pending_len = 0;
  // While collecting, the output block from here on belongs to the measure text but is not
  // yet in measure_buf. It joins in one run when the measure is filed or the block written,
  // rather than line by line while each line, just formed, is still on its way to memory:
  // 5 % fewer instructions and 6 % less processor time (bench/README.md, "The module's round").
  size_t collected_up_to = 0;

  // Set for good once a write fails: nothing more is written, and the conversion reports the
  // failure (write_error is the system's error number, or 0 where it gave none).
  bool failed = false;
  int write_error = 0;
  // Set while the caller's stream buffer is being called: an exception that it throws leaves
  // this set, so that whoever catches it knows it came from writing.
  bool in_caller_stream = false;
};

/// Writes `text` and, while collecting, adds it to the measure text. Every line is written
/// through it but a note's, which is formed in place (open_line) and collected in the same way.
void tavix_out(Sink& s, std::string_view text);

/// Writes what is gathered; a failed write sets `failed` instead of passing as success.
void flush_output(Sink& s);

/// Room for a line of at most `max` characters (at most kOutputBlock) in the output block
/// itself: a note's line is formed where it is written, with no copy (formed apart and copied,
/// 5 % more instructions and processor time: bench/README.md, "The module's round"). The line
/// counts as written, like one given to tavix_out, once close_line says how long it is.
inline char* open_line(Sink& s, size_t max) {
  if (kOutputBlock - s.pending_len < max) flush_output(s);
  return s.pending.get() + s.pending_len;
}
inline void close_line(Sink& s, size_t len) { s.pending_len += len; }

void start_collecting(Sink& s);
void stop_collecting(Sink& s);
/// Adds an event to the measure's, while collecting. Past kMeasureEventsMax the measure is too
/// long to store: marked so, rather than kept growing with the input.
inline void collect_event(Sink& s, const MeasureEvent& e) {
  if (!s.tavix_out_buffering) return;
  if (s.measure_events.size() < kMeasureEventsMax) {
    s.measure_events.push_back(e);
  } else {
    s.measure_buf_overflow = true;
  }
}
/// The measure text collected so far.
std::string_view measure_text(Sink& s);
/// Forgets the measure text and events collected.
void empty_measure_text(Sink& s);
/// Files the measure text and events collected under `measure`, and ends the measure: collecting
/// stops, and the measure text and events are empty again.
void file_measure_text(Sink& s, int measure);
void file_unopened_measure(Sink& s, int measure);
void file_copy_of_measure(Sink& s, int stored, int measure);
/// Writes the text of stored measure `stored` again, and gives its events, for the caller to
/// repeat as those of the measure being written.
const std::vector<MeasureEvent>& replay_measure(Sink& s, int stored);
void clear_store(Sink& s);

/// What the store holds under `measure`; kNone outside 1 to kMaxMeasures.
StoredMeasure stored_state(const Sink& s, int measure);

}  // namespace pn2tavix::detail
