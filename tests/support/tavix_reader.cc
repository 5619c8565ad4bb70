#include "support/tavix_reader.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pn2tavix::test_support {
namespace {

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

// The whole number that `s` is, with an optional '-'; false if it is anything else.
template <typename Int>
bool to_number(std::string_view s, Int& n) {
  const char* end = s.data() + s.size();
  const auto [ptr, ec] = std::from_chars(s.data(), end, n);
  return ec == std::errc() && ptr == end && !s.empty();
}

// The MIDI key of a note name such as "f+5": c5 is middle C, 60; the octave goes up at c.
bool to_key(std::string_view name, TimedNote& n) {
  static constexpr int kPitchClass[7] = {9, 11, 0, 2, 4, 5, 7};  // a to g
  if (name.size() < 2 || name[0] < 'a' || name[0] > 'g') return false;
  n.letter = name[0];
  size_t i = 1;
  int shift = 0;
  if (name[i] == '+' || name[i] == '-') {
    n.accidental = name[i];
    shift = name[i] == '+' ? 1 : -1;
    ++i;
  }
  if (i + 1 != name.size() || name[i] < '0' || name[i] > '9') return false;
  n.octave = name[i] - '0';
  n.key = 12 * n.octave + kPitchClass[name[0] - 'a'] + shift;
  return true;
}

// One voice being read: the tick reached and what the open measure holds so far.
struct OpenVoice {
  std::int64_t tick = 0;
  std::int64_t measure_start = 0;
  int last_measure = 0;
  std::int64_t shorten = 0;
  size_t first_note = 0, first_rest = 0, first_tempo = 0, first_change = 0;
};

class Reader {
 public:
  explicit Reader(Timeline& to) : t_(to) {}

  // False where the line is none that the body can hold.
  bool body_line(std::string_view line) {
    if (voice_ == nullptr) {
      std::int64_t v = 0;
      if (starts_with(line, "@channel ") && line.size() > 11 &&
          line.substr(line.size() - 2) == " {" && to_number(line.substr(9, line.size() - 11), v)) {
        t_.voices.emplace_back();
        voice_ = &t_.voices.back();
        voice_->voice = v;
        voice_->patch.clear();
        open_ = OpenVoice{};
        open_.first_note = t_.notes.size();
        open_.first_rest = t_.rests.size();
        open_.first_change = t_.changes.size();
        return true;
      }
      return line.empty();
    }
    if (line == "}") {
      close_measure(open_.last_measure + 1);
      voice_->end = open_.tick;
      voice_ = nullptr;
      return true;
    }
    if (line.empty()) return true;
    if (line[0] == '$') return setting(line.substr(1));
    if (line[0] == '/') return length_line(line);
    if (starts_with(line, "# End measure ")) {
      int m = 0;
      const std::string_view rest = line.substr(14);
      const size_t space = rest.find(' ');
      if (space == std::string_view::npos || !to_number(rest.substr(0, space), m)) return false;
      TimedMeasure& measure = t_.measures.emplace_back();
      measure.voice = voice_->voice;
      measure.number = m;
      measure.start = open_.measure_start;
      measure.length = open_.tick - open_.measure_start;
      close_measure(m);
      open_.last_measure = m;
      open_.measure_start = open_.tick;
      return true;
    }
    return false;
  }

  bool in_voice() const { return voice_ != nullptr; }

 private:
  bool setting(std::string_view line) {
    const size_t space = line.find(' ');
    if (space == std::string_view::npos) return false;
    const std::string_view name = line.substr(0, space), value = line.substr(space + 1);
    long long n = 0;
    if (name == "patch") {
      voice_->patch = std::string(value);
      voice_->program = gm_program(value);
      return true;
    }
    if (name == "time_sig") {
      if (value.size() < 4 || value.substr(value.size() - 3) != "/64") return false;
      if (!to_number(value.substr(0, value.size() - 3), n)) return false;
      TimedChange& change = t_.changes.emplace_back();
      change.voice = voice_->voice;
      change.tick = open_.tick;
      change.kind = TimedChange::Kind::kMeasureLength;
      change.value = n;
      return true;
    }
    if (!to_number(value, n)) return false;
    if (name == "tempo") {
      TempoChange& change = voice_->tempos.emplace_back();
      change.tick = open_.tick;
      change.tempo = static_cast<int>(n);
    } else if (name == "shorten") {
      open_.shorten = n;
    } else if (name == "pan") {
      voice_->pan = static_cast<int>(n);
    } else if (name == "reverb") {
      voice_->reverb = static_cast<int>(n);
    } else if (name == "chorus") {
      voice_->chorus = static_cast<int>(n);
    } else if (name != "attack" && name != "decay") {
      return false;
    }
    return true;
  }

  // "/LN:D/NAME": a note or a rest.
  bool length_line(std::string_view line) {
    const size_t colon = line.find(':'), slash = line.find('/', 1);
    if (line.size() < 3 || line[1] != 'L' || colon == std::string_view::npos ||
        slash == std::string_view::npos || colon > slash) {
      return false;
    }
    std::int64_t n = 0;
    const std::string_view d = line.substr(colon + 1, slash - colon - 1);
    if (!to_number(line.substr(2, colon - 2), n) || (d != "64" && d != "96")) return false;
    const std::int64_t length = n * (d == "64" ? 6 : 4);
    const std::string_view name = line.substr(slash + 1);
    if (name == "r") {
      TimedRest& rest = t_.rests.emplace_back();
      rest.voice = voice_->voice;
      rest.start = open_.tick;
      rest.length = length;
      rest.written.triplet = d == "96";
    } else {
      TimedNote note;
      if (!to_key(name, note)) return false;
      note.voice = voice_->voice;
      note.start = open_.tick;
      note.length = length;
      note.sounding = std::max<std::int64_t>(0, length - open_.shorten);
      note.written.triplet = d == "96";
      t_.notes.push_back(note);
    }
    open_.tick += std::max<std::int64_t>(0, length);
    return true;
  }

  // Gives measure number `m` to what was written since the last measure closed.
  void close_measure(int m) {
    for (size_t i = open_.first_note; i < t_.notes.size(); ++i) t_.notes[i].measure = m;
    for (size_t i = open_.first_rest; i < t_.rests.size(); ++i) t_.rests[i].measure = m;
    for (size_t i = open_.first_change; i < t_.changes.size(); ++i) t_.changes[i].measure = m;
    for (size_t i = open_.first_tempo; i < voice_->tempos.size(); ++i) {
      voice_->tempos[i].measure = m;
    }
    open_.first_note = t_.notes.size();
    open_.first_rest = t_.rests.size();
    open_.first_change = t_.changes.size();
    open_.first_tempo = voice_->tempos.size();
  }

  Timeline& t_;
  TimedVoice* voice_ = nullptr;  // the voice whose channel is open; stable while it is open
  OpenVoice open_;
};

}  // namespace

int gm_program(std::string_view patch) {
  if (patch == "flute") return 73;
  return -1;
}

TavixText read_tavix(std::string_view text) {
  TavixText out;
  // The head: the title may hold anything, line breaks and quotes too, so it runs to the head's
  // fixed last lines.
  constexpr std::string_view kOpen = "@head {\n$title \"";
  constexpr std::string_view kClose = "\"\n$tempo ";
  constexpr std::string_view kBody = "\n$resolution 96\n}\n\n@body {\n";
  const size_t body = text.find(kBody);
  if (!starts_with(text, kOpen) || body == std::string_view::npos) return out;
  const size_t close = text.rfind(kClose, body);
  if (close == std::string_view::npos || close < kOpen.size()) return out;
  out.title = std::string(text.substr(kOpen.size(), close - kOpen.size()));
  const size_t tempo = close + kClose.size();
  if (!to_number(text.substr(tempo, body - tempo), out.head_tempo)) return out;

  Reader reader(out.timeline);
  size_t at = body + kBody.size();
  bool body_closed = false;
  while (at < text.size()) {
    size_t eol = text.find('\n', at);
    if (eol == std::string_view::npos) break;  // a line cut short: the conversion stopped there
    const std::string_view line = text.substr(at, eol - at);
    at = eol + 1;
    if (!reader.in_voice() && line == "}") {
      body_closed = true;
      break;
    }
    if (!reader.body_line(line)) break;
  }
  out.complete = body_closed && text.substr(at) == "\n";
  // The first title is the one that began the first voice; the others the text does not keep.
  if (!out.timeline.voices.empty()) out.timeline.voices[0].title = out.title;
  return out;
}

}  // namespace pn2tavix::test_support
