// Owns everything the converter writes: the output itself, the measure text collected while
// collecting is on, and the store of finished measures that "copy" replays. Knows nothing of
// tokens or notes; the driver says when a measure is collected, filed and replayed.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/line.h"

constexpr int kMaxMeasures = 5000;          // measure numbers 1 to 5000 per voice
constexpr size_t kMeasureTextMax = 5007;    // characters of one stored measure
constexpr size_t kOutputBlock = 64 * 1024;  // bytes gathered for one write
// Room past the end of the output block and of the measure text: a short line is copied there
// by one move of this fixed size, a few vector moves instead of a call to memcpy.
constexpr size_t kShortLine = 64;

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
  char measure_buf[kMeasureTextMax + kShortLine];
  size_t measure_len = 0;
  bool measure_buf_overflow = false;  // more was collected than measure_buf may hold
  std::string_view measure_text() const { return {measure_buf, measure_len}; }
  std::vector<MeasureEntry> generated_measures;  // index = measure number
  int highest_filed = 0;  // clearing the store touches only the entries a voice used

  // Output is gathered in blocks: one write per block instead of one per line. A fixed block
  // rather than a vector, so that adding a line is a bounds test and a copy.
  std::unique_ptr<char[]> pending;  // kOutputBlock bytes and kShortLine to spare
  size_t pending_len = 0;
};

/// The one path to the output: writes `text` and, while collecting, appends it to the
/// measure text.
void tavix_out(Sink& s, std::string_view text);

/// The same for a line formed in a LineBuf. Nearly every line written is a short one of a
/// note: it is copied whole, as a block of kShortLine bytes of which only its own count.
template <size_t N>
void tavix_out(Sink& s, const LineBuf<N>& line) {
  const size_t len = line.len;
  if constexpr (N >= kShortLine) {
    const bool to_measure = s.tavix_out_buffering & !s.measure_buf_overflow;
    if (len <= kShortLine && s.pending_len + len <= kOutputBlock &&
        (!to_measure || len <= kMeasureTextMax - s.measure_len)) {
      std::memcpy(s.pending.get() + s.pending_len, line.text, kShortLine);
      s.pending_len += len;
      if (to_measure) {
        std::memcpy(s.measure_buf + s.measure_len, line.text, kShortLine);
        s.measure_len += len;
      }
      return;
    }
  }
  tavix_out(s, line.view());
}

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
