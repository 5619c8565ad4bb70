// Owns everything the converter writes: the output itself, the measure text collected while
// collecting is on, and the store of finished measures that "copy" replays. Knows nothing of
// tokens or notes; the driver says when a measure is collected, filed and replayed.
#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

constexpr int kMaxMeasures = 5000;        // measure numbers 1 to 5000 per voice
constexpr size_t kMeasureTextMax = 5007;  // characters of one stored measure

/// What the store holds for one measure number.
enum class StoredMeasure {
  kNone,      // not closed yet in this voice
  kText,      // the measure's text, ready to be replayed
  kUnopened,  // closed, but not opened by its own measure number: its text was never collected
  kTooLong,   // collected, but longer than kMeasureTextMax
};

struct MeasureEntry {
  StoredMeasure state = StoredMeasure::kNone;
  std::string text;  // kept between voices so that filing reuses its memory
};

struct Sink {
  explicit Sink(std::ostream& output);
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;

  std::ostream& out;
  bool tavix_out_buffering = false;  // collecting: tavix_out also appends to measure_buf
  // The measure text: a fixed buffer, as it may never hold more than kMeasureTextMax
  // characters, and every note line is appended to it.
  char measure_buf[kMeasureTextMax];
  size_t measure_len = 0;
  bool measure_buf_overflow = false;  // more was collected than measure_buf may hold
  std::string_view measure_text() const { return {measure_buf, measure_len}; }
  std::vector<MeasureEntry> generated_measures;  // index = measure number
  int highest_filed = 0;  // clearing the store touches only the entries a voice used

  // Output is gathered in blocks: one write per block instead of one per line. A fixed block
  // rather than a vector, so that adding a line is a bounds test and a copy.
  std::unique_ptr<char[]> pending;
  size_t pending_len = 0;
};

/// The one path to the output: writes `text` and, while collecting, appends it to the
/// measure text.
void tavix_out(Sink& s, std::string_view text);

/// Writes what is gathered; a failed write ends the run instead of passing as success.
void flush_output(Sink& s);

void empty_measure_text(Sink& s);
void file_measure_text(Sink& s, int measure);
void file_unopened_measure(Sink& s, int measure);
void file_copy_of_measure(Sink& s, int stored, int measure);
void replay_measure(Sink& s, int stored);
void clear_store(Sink& s);

/// What the store holds under `measure`; kNone outside 1 to kMaxMeasures.
StoredMeasure stored_state(const Sink& s, int measure);
