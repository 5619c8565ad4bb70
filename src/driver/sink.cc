#include "driver/sink.h"

#include <cerrno>
#include <cstring>

namespace pn2tavix::detail {

// The output block is not cleared, nor the store made whole, before they are used: a program
// started for a small file would spend on that as long as on the file.
Sink::Sink(std::streambuf* output) : out_buf(output), pending(new char[kOutputBlock]) {}

Sink::Sink(std::string* output) : out_text(output), pending(new char[kOutputBlock]) {}

namespace {
// Adds to the measure text what was written since it was last added to.
void collect_pending(Sink& s) {
  if (!s.tavix_out_buffering) return;
  const size_t n = s.pending_len - s.collected_up_to;
  if (!s.measure_buf_overflow) {
    // The measure text is bounded: a copy made while collecting can double it again and
    // again. Past the bound the measure is only marked, and a later copy of it is refused.
    if (n <= kMeasureTextMax - s.measure_len) {
      std::memcpy(s.measure_buf + s.measure_len, s.pending.get() + s.collected_up_to, n);
      s.measure_len += n;
    } else {
      s.measure_buf_overflow = true;
    }
  }
  s.collected_up_to = s.pending_len;
}
}  // namespace

void tavix_out(Sink& s, std::string_view text) {
  if (s.pending_len + text.size() > kOutputBlock) {
    flush_output(s);
    // Only a text longer than a whole block is cut, at block boundaries.
    while (text.size() > kOutputBlock) {
      std::memcpy(s.pending.get(), text.data(), kOutputBlock);
      s.pending_len = kOutputBlock;
      text.remove_prefix(kOutputBlock);
      flush_output(s);
    }
  }
  std::memcpy(s.pending.get() + s.pending_len, text.data(), text.size());
  s.pending_len += text.size();
}

void flush_output(Sink& s) {
  collect_pending(s);
  s.collected_up_to = 0;
  const size_t len = s.pending_len;
  s.pending_len = 0;
  if (s.out_text != nullptr) {
    s.out_text->append(s.pending.get(), len);
    return;
  }
  std::streambuf* buf = s.out_buf;
  if (buf == nullptr || s.failed) return;  // the output is dropped
  errno = 0;
  s.in_caller_stream = true;
  const auto want = static_cast<std::streamsize>(len);
  const bool written =
      (len == 0 || buf->sputn(s.pending.get(), want) == want) && buf->pubsync() != -1;
  s.in_caller_stream = false;
  if (!written) {
    s.failed = true;
    s.write_error = errno;
  }
}

void start_collecting(Sink& s) {
  if (s.tavix_out_buffering) return;
  s.tavix_out_buffering = true;
  s.collected_up_to = s.pending_len;
}

void stop_collecting(Sink& s) {
  collect_pending(s);
  s.tavix_out_buffering = false;
}

std::string_view measure_text(Sink& s) {
  collect_pending(s);
  return {s.measure_buf, s.measure_len};
}

void empty_measure_text(Sink& s) {
  s.measure_len = 0;
  s.measure_events.clear();
  s.measure_buf_overflow = false;
  s.collected_up_to = s.pending_len;
}

namespace {
MeasureEntry& entry_to_file(Sink& s, int measure) {
  // The driver never closes a measure above kMaxMeasures; the store trusts it.
  if (measure > s.highest_filed) s.highest_filed = measure;
  const auto index = static_cast<size_t>(measure);
  if (index >= s.generated_measures.size()) s.generated_measures.resize(index + 1);
  return s.generated_measures[index];
}

// Copies a measure text into an entry. Growing a string's buffer in place may double it, so an
// entry that once held 5006 characters would take 10 KB for 5007 in a later voice, and the store
// twice its bound; a buffer too small is replaced by one of exactly the text's size instead.
void store_text(std::string& entry_text, std::string_view text) {
  if (entry_text.capacity() < text.size()) {
    entry_text = std::string(text);
  } else {
    entry_text.assign(text);
  }
}
}  // namespace

void file_measure_text(Sink& s, int measure) {
  // A measure whose lines are all still in the output block, as nearly every one is, is filed
  // from there: copied once into the store, not first into measure_buf and then again.
  std::string_view text;
  if (s.tavix_out_buffering && s.measure_len == 0 && !s.measure_buf_overflow) {
    text = {s.pending.get() + s.collected_up_to, s.pending_len - s.collected_up_to};
    s.measure_buf_overflow = text.size() > kMeasureTextMax;
  } else {
    text = measure_text(s);
  }
  MeasureEntry& e = entry_to_file(s, measure);
  if (s.measure_buf_overflow) {
    e.state = StoredMeasure::kTooLong;
    e.text.clear();
    e.events.clear();
  } else {
    e.state = StoredMeasure::kText;
    store_text(e.text, text);
    // The events move into the store; the emptied vector of the entry's last voice is reused.
    e.events.swap(s.measure_events);
  }
  s.tavix_out_buffering = false;
  empty_measure_text(s);
}

void file_unopened_measure(Sink& s, int measure) {
  MeasureEntry& e = entry_to_file(s, measure);
  e.state = StoredMeasure::kUnopened;
  e.text.clear();
  e.events.clear();
}

void file_copy_of_measure(Sink& s, int stored, int measure) {
  MeasureEntry& e = entry_to_file(s, measure);  // first: it may move the entries
  const MeasureEntry& from = s.generated_measures[static_cast<size_t>(stored)];
  e.state = from.state;
  store_text(e.text, from.text);
  if (&e != &from) e.events.assign(from.events.begin(), from.events.end());
}

const std::vector<MeasureEvent>& replay_measure(Sink& s, int stored) {
  const MeasureEntry& e = s.generated_measures[static_cast<size_t>(stored)];
  tavix_out(s, e.text);
  return e.events;
}

void clear_store(Sink& s) {
  for (int m = 1; m <= s.highest_filed; ++m) {
    MeasureEntry& e = s.generated_measures[static_cast<size_t>(m)];
    e.state = StoredMeasure::kNone;
    e.text.clear();
    e.events.clear();
  }
  s.highest_filed = 0;
}

StoredMeasure stored_state(const Sink& s, int measure) {
  if (measure < 1 || static_cast<size_t>(measure) >= s.generated_measures.size()) {
    return StoredMeasure::kNone;
  }
  return s.generated_measures[static_cast<size_t>(measure)].state;
}

}  // namespace pn2tavix::detail
