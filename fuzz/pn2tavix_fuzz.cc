// Feeds arbitrary bytes to convert() and checks what a caller may rely on, whatever the input:
// the exit status is 0, 1 or 2; standard error holds whole lines that begin with the program
// name, warnings first and at most one error, which is there exactly when the status is not 0;
// a successful run closes the body block. Each input is converted twice, once with the bytes
// handed over whole and once in small uneven pieces, and both runs must agree: the byte source
// keeps a byte of pushback across its refills, and only short reads reach that path. A third
// conversion, from the bytes as a string into a result, must agree with both, and every place
// it gives (of a message, a hint or a note) must lie in the input, with the line and column
// that its offset has there, and locate() must find it again in every column mode; read again
// in small pieces from a stream, with the same options, it must be the same result, places and
// extents included. Where the piece converts, its timeline must say what its text says, as the
// tests' reader reads it, and its MIDI file must be made.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <optional>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "pn2tavix/pn2tavix.h"
#include "support/tavix_reader.h"

namespace {

constexpr std::string_view kName = "pn2tavix";
constexpr std::string_view kWarning = "pn2tavix: \"rest\" command given in a non-empty measure";

// Reads from memory, handing out at most a few bytes per call, the count varying from call to
// call, so that every position in the input sooner or later ends a block.
class PiecewiseInput : public std::streambuf {
 public:
  PiecewiseInput(const uint8_t* data, size_t size)
      : data_(reinterpret_cast<const char*>(data)), size_(size) {}

 protected:
  std::streamsize xsgetn(char* s, std::streamsize n) override {
    if (pos_ >= size_ || n <= 0) return 0;
    size_t piece = 1 + (calls_++ * 7) % 13;
    piece = std::min({piece, size_ - pos_, static_cast<size_t>(n)});
    std::memcpy(s, data_ + pos_, piece);
    pos_ += piece;
    return static_cast<std::streamsize>(piece);
  }
  int_type underflow() override {
    return pos_ < size_ ? traits_type::to_int_type(data_[pos_]) : traits_type::eof();
  }
  int_type uflow() override {
    return pos_ < size_ ? traits_type::to_int_type(data_[pos_++]) : traits_type::eof();
  }

 private:
  const char* data_;
  size_t size_;
  size_t pos_ = 0;
  size_t calls_ = 0;
};

// Keeps of the output only what the checks need: its size, a hash of every byte and its last
// bytes. A few bytes of input can ask for tens of megabytes of copied measures; holding them
// would measure the fuzzer's memory, not the converter's.
class OutputDigest : public std::streambuf {
 public:
  uint64_t size = 0;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  char tail[3] = {0, 0, 0};

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    for (std::streamsize i = 0; i < n; ++i) take(s[i]);
    return n;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) take(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

 private:
  void take(char c) {
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    tail[0] = tail[1];
    tail[1] = tail[2];
    tail[2] = c;
    ++size;
  }
};

struct Result {
  int status;
  std::string err;
  uint64_t out_size;
  uint64_t out_hash;
  std::string out_tail;
};

Result convert_with(std::streambuf& input) {
  std::istream in(&input);
  OutputDigest digest;
  std::ostream out(&digest);
  std::ostringstream err;
  Result r;
  r.status = pn2tavix::convert(in, out, err, kName);
  r.err = err.str();
  r.out_size = digest.size;
  r.out_hash = digest.hash;
  r.out_tail.assign(digest.tail, digest.size < 3 ? digest.size : 3);
  return r;
}

[[noreturn]] void broken(const char* what, const Result& r) {
  std::fprintf(stderr, "INVARIANT BROKEN: %s\nstatus %d, %llu bytes of output ending %s\n", what,
               r.status, static_cast<unsigned long long>(r.out_size),
               r.out_tail == "}\n\n" ? "with the closing lines" : "elsewhere");
  std::fprintf(stderr, "stderr:\n%s\n", r.err.c_str());
  std::abort();
}

void check(const Result& r) {
  if (r.status != 0 && r.status != 1 && r.status != 2) broken("status not 0, 1 or 2", r);
  if (!r.err.empty() && r.err.back() != '\n') broken("stderr does not end with a newline", r);
  const std::string_view prefix = "pn2tavix: ";
  size_t lines = 0;
  size_t errors = 0;
  std::string_view last;
  for (size_t at = 0; at < r.err.size();) {
    const size_t nl = r.err.find('\n', at);
    const std::string_view line(r.err.data() + at, nl - at);
    at = nl + 1;
    ++lines;
    if (line.substr(0, prefix.size()) != prefix || line.size() == prefix.size()) {
      broken("a stderr line that is not the program name and a message", r);
    }
    if (errors > 0) broken("a stderr line after the error", r);
    if (line != kWarning) ++errors;
    last = line;
  }
  if (r.status == 0 && errors != 0) broken("an error message with status 0", r);
  if (r.status != 0 && errors != 1) broken("no error message with a failing status", r);
  if (r.status == 2 && last.substr(prefix.size(), 20) != "input claims measure") {
    broken("status 2 for something else than a measure number", r);
  }
  if (r.status == 0 && r.out_tail != "}\n\n") broken("a success that does not close the body", r);
}

// The line and column of every offset of `input`, and of its end, as the reader counts them.
class Places {
 public:
  explicit Places(std::string_view input) : input_(input) {
    for (size_t i = 0; i < input.size(); ++i) {
      if (input[i] == '\n') line_starts_.push_back(i + 1);
    }
  }
  bool holds(const pn2tavix::Position& p) const {
    if (p.offset > input_.size()) return false;
    // The lines that start at or before the offset.
    const auto next = std::upper_bound(line_starts_.begin(), line_starts_.end(), p.offset);
    const uint64_t line = static_cast<uint64_t>(next - line_starts_.begin());
    return p.line == line && p.column == p.offset - line_starts_[line - 1] + 1;
  }

  // Found again by locate(), the place keeps its offset in every column mode, and its line and
  // column where the input holds no CR; a CR alone only adds lines, and characters and terminal
  // columns only shorten the count of bytes, but for the 8 columns of a tab.
  bool relocates(const pn2tavix::Position& p) const {
    using pn2tavix::ColumnMode;
    const pn2tavix::Position bytes = pn2tavix::locate(input_, p.offset, ColumnMode::kBytes);
    const pn2tavix::Position chars = pn2tavix::locate(input_, p.offset, ColumnMode::kChars);
    const pn2tavix::Position display = pn2tavix::locate(input_, p.offset, ColumnMode::kDisplay);
    if (input_.find('\r') == std::string_view::npos && bytes != p) return false;
    return bytes.offset == p.offset && chars.offset == p.offset && display.offset == p.offset &&
           bytes.line >= p.line && chars.line == bytes.line && display.line == bytes.line &&
           chars.column <= bytes.column && display.column <= 8 * bytes.column;
  }

 private:
  std::string_view input_;
  std::vector<uint64_t> line_starts_{0};
};

// Everything a caller reads of a result but its timeline's numbers and its MIDI file, as text:
// two results agree where their digests do.
std::string digest(const pn2tavix::Result& r) {
  std::ostringstream d;
  const auto place = [&d](const std::optional<pn2tavix::Position>& at, uint64_t length) {
    if (at) {
      d << at->line << ':' << at->column << ':' << at->offset;
    } else {
      d << '-';
    }
    d << '+' << length << ' ';
  };
  d << r.status << '\n' << r.output << '\n' << r.title << '\n';
  for (const pn2tavix::Message& m : r.messages) {
    d << static_cast<int>(m.severity) << ' ' << static_cast<int>(m.code) << ' ' << m.voice << ' '
      << m.measure << ' ' << m.status << ' ' << m.printed << ' ';
    place(m.at, m.length);
    d << m.text << '\n';
    for (const pn2tavix::Hint& h : m.hints) {
      d << "  ";
      place(h.at, h.length);
      d << h.text << '\n';
    }
  }
  for (const pn2tavix::Title& t : r.titles) {
    d << t.voice << ' ';
    place(t.at, 0);
    place(t.end, 0);
    d << t.text << '\n';
  }
  for (const pn2tavix::NoteEvent& n : r.notes) {
    d << n.voice << ' ' << n.measure << ' ' << n.start << ' ' << n.length << ' ' << n.measure_length
      << ' ' << n.letter << int{n.accidental} << n.octave << ' ' << n.semitone << ' ';
    place(n.at, static_cast<uint64_t>(n.token_length));
    d << '\n';
  }
  for (const pn2tavix::TimedNote& n : r.timeline.notes) place(n.at, n.token_length);
  return d.str();
}

void check_result(std::string_view input, const Result& streamed) {
  // A few bytes can ask for hundreds of megabytes of copied measures: those are compared by
  // their messages and status alone, so that the fuzzer measures the converter's memory.
  const bool keep = streamed.out_size < (uint64_t{16} << 20);
  pn2tavix::Options options;
  options.keep_output = keep;
  options.note_events = streamed.out_size < (uint64_t{1} << 20);
  options.timeline = options.midi = options.note_events;
  const pn2tavix::Result r = pn2tavix::convert(input, options);
  if (options.timeline && r.status == 0) {
    const std::string differs = pn2tavix::test_support::first_difference(
        r.timeline, pn2tavix::test_support::read_tavix(r.output));
    if (!differs.empty()) {
      std::fprintf(stderr, "%s\n", differs.c_str());
      broken("the timeline says other than the text", streamed);
    }
    if (r.midi.substr(0, 4) != "MThd") broken("a piece that converts has no MIDI file", streamed);
  }
  // Read from a stream in small pieces, the result is the same, places and extents included:
  // the reader measures tokens, titles and what follows the piece as the blocks pass.
  if (keep) {
    PiecewiseInput pieces(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    std::istream in(&pieces);
    if (digest(pn2tavix::convert(in, options)) != digest(r)) {
      broken("the result read from a stream differs from the one read from memory", streamed);
    }
  }
  std::string err;
  for (const pn2tavix::Message& m : r.messages) {
    if (m.printed) err.append(kName).append(": ").append(m.text).append("\n");
  }
  uint64_t hash = 14695981039346656037ull;
  for (char c : r.output) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  if (r.status != streamed.status || err != streamed.err ||
      (keep && (r.output.size() != streamed.out_size || hash != streamed.out_hash))) {
    broken("the string conversion differs from the stream conversion", streamed);
  }
  const Places places(input);
  // A place, and the bytes it points at, lie in the input.
  const auto within = [&](const std::optional<pn2tavix::Position>& at, uint64_t length) {
    return !at || (places.holds(*at) && length <= input.size() - at->offset);
  };
  for (const pn2tavix::Message& m : r.messages) {
    if (!within(m.at, m.length)) broken("a message placed outside the input", streamed);
    if (m.at && !places.relocates(*m.at)) broken("a message that locate() misplaces", streamed);
    for (const pn2tavix::Hint& h : m.hints) {
      if (!within(h.at, h.length)) broken("a hint placed outside the input", streamed);
      if (h.at && !places.relocates(*h.at)) broken("a hint that locate() misplaces", streamed);
    }
  }
  for (const pn2tavix::TimedNote& n : r.timeline.notes) {
    if (!within(n.at, n.token_length) || n.sounding < 0 || n.sounding > n.length) {
      broken("a note of the timeline placed outside the input, or sounding past its length",
             streamed);
    }
  }
  for (const pn2tavix::NoteEvent& e : r.notes) {
    if (!places.holds(e.at) || e.at.offset + static_cast<uint64_t>(e.token_length) > input.size()) {
      broken("a note placed outside the input", streamed);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::stringbuf whole(std::string(reinterpret_cast<const char*>(data), size), std::ios::in);
  const Result a = convert_with(whole);
  check(a);
  PiecewiseInput pieces(data, size);
  const Result b = convert_with(pieces);
  if (a.status != b.status || a.err != b.err || a.out_size != b.out_size ||
      a.out_hash != b.out_hash) {
    broken("reading the input in small pieces changes the result", b);
  }
  check_result(std::string_view(reinterpret_cast<const char*>(data), size), a);
  return 0;
}
