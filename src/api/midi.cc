#include "api/midi.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

namespace pn2tavix::detail {
namespace {

constexpr int kChannels = 15;                    // the 16 of MIDI less percussion
constexpr int kPercussion = 9;                   // channel 10 as musicians count
constexpr std::size_t kMaxTracks = 65535;        // the header counts tracks in 16 bits
constexpr std::uint32_t kMaxDelta = 0x0FFFFFFF;  // the largest delta time a file can write
// Nothing starts past this tick of the file: 50 days at a millisecond a tick, yet a few bytes
// of waiting, where "units" of two thousand million could make a few bytes of input ask for
// megabytes of empty waits.
constexpr std::int64_t kLastTick = 0xFFFFFFFF;
constexpr std::uint32_t kMillisecondTempo = 96000;  // microseconds a quarter: a tick is 1 ms
constexpr double kTolerance = 500;  // microseconds an onset may stray before a tempo
                                    // event corrects the drift of rounded tempos
constexpr unsigned char kVelocity = 100;

struct Tempo {
  std::int64_t tick = 0;
  int tempo = kHeadTempo;
  friend bool operator==(const Tempo&, const Tempo&) = default;
};

// The tempos a voice sounds at, from tick 0, each different from the one before. A tempo of 0
// or below cannot sound: the voice keeps the one it had.
std::vector<Tempo> tempo_map(const TimedVoice& v) {
  std::vector<Tempo> map = {{0, kHeadTempo}};
  for (const TempoChange& c : v.tempos) {
    if (c.tempo <= 0) continue;
    if (c.tick == map.back().tick) {
      map.back().tempo = c.tempo;
      if (map.size() > 1 && map[map.size() - 2].tempo == c.tempo) map.pop_back();
    } else if (c.tempo != map.back().tempo) {
      map.push_back({c.tick, c.tempo});
    }
  }
  return map;
}

// The part of `map` before `end`.
std::vector<Tempo> before(std::vector<Tempo> map, std::int64_t end) {
  map.erase(std::find_if(map.begin(), map.end(), [&](const Tempo& t) { return t.tick >= end; }),
            map.end());
  return map;
}

// Microseconds from the start of the piece to each tick, as a tempo map sounds it.
class Clock {
 public:
  explicit Clock(std::vector<Tempo> map) : map_(std::move(map)) {
    double us = 0;
    for (size_t i = 0; i < map_.size(); ++i) {
      if (i > 0) us += per_tick(map_[i - 1].tempo) * (map_[i].tick - map_[i - 1].tick);
      starts_.push_back(us);
    }
  }
  double us(std::int64_t tick) const {
    const auto it = std::upper_bound(map_.begin(), map_.end(), tick,
                                     [](std::int64_t t, const Tempo& s) { return t < s.tick; });
    const size_t i = it == map_.begin() ? 0 : static_cast<size_t>(it - map_.begin()) - 1;
    return starts_[i] + per_tick(map_[i].tempo) * (tick - map_[i].tick);
  }

 private:
  static double per_tick(int tempo) { return 625000.0 / tempo; }  // 60e6 / (96 tempo)
  std::vector<Tempo> map_;
  std::vector<double> starts_;
};

// A channel event, or a meta event, at a tick of the file. Kept small: a piece may have
// millions.
struct Event {
  std::int64_t tick = 0;
  const std::string* meta = nullptr;  // a meta event's bytes, else those below
  std::uint8_t order = 0;  // at one tick: settings, then note-offs, then note-ons; kDropped none
  std::uint8_t size = 0;
  unsigned char bytes[3] = {};
};
constexpr std::uint8_t kSetting = 0, kNoteOff = 1, kNoteOn = 2, kDropped = 3;

Event channel_event(std::int64_t tick, std::uint8_t order, unsigned char status, int a,
                    int b = -1) {
  Event e;
  e.tick = tick;
  e.order = order;
  e.size = b >= 0 ? 3 : 2;
  e.bytes[0] = status;
  e.bytes[1] = static_cast<unsigned char>(a);
  e.bytes[2] = static_cast<unsigned char>(b >= 0 ? b : 0);
  return e;
}

void put_number(std::string& out, std::uint32_t n, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
}

// A number as delta times and lengths of meta events are written: 7 bits a byte, high first.
void put_delta(std::string& out, std::uint32_t n) {
  char digits[5];
  int count = 0;
  do {
    digits[count++] = static_cast<char>(n & 0x7F);
    n >>= 7;
  } while (n > 0);
  while (count > 1) out += static_cast<char>(digits[--count] | 0x80);
  out += digits[0];
}

// The strings of the meta events of one file, which their events point at.
using MetaStore = std::deque<std::string>;

Event meta_event(std::int64_t tick, unsigned char type, std::string_view data, MetaStore& store) {
  std::string& bytes = store.emplace_back("\xFF");
  bytes += static_cast<char>(type);
  data = data.substr(0, kMaxDelta);
  put_delta(bytes, static_cast<std::uint32_t>(data.size()));
  bytes.append(data);
  Event e;
  e.tick = tick;
  e.meta = &bytes;
  return e;
}

// One "MTrk" chunk of `events`, in order of ticks (stable within a tick), ended at the last.
void put_track(std::string& out, std::vector<Event>& events) {
  const auto earlier = [](const Event& a, const Event& b) {
    return std::tie(a.tick, a.order) < std::tie(b.tick, b.order);
  };
  // A voice's events come in order already, but for a note too short for its millisecond.
  if (!std::is_sorted(events.begin(), events.end(), earlier)) {
    std::stable_sort(events.begin(), events.end(), earlier);
  }
  std::string track;
  track.reserve(events.size() * 4 + 4);
  std::int64_t now = 0;
  for (const Event& e : events) {
    if (e.order == kDropped) continue;
    std::int64_t delta = std::max<std::int64_t>(0, e.tick - now);
    // A wait longer than one delta can say is bridged by empty text events.
    for (; delta > kMaxDelta; delta -= kMaxDelta) {
      put_delta(track, kMaxDelta);
      track.append("\xFF\x01\x00", 3);
    }
    put_delta(track, static_cast<std::uint32_t>(delta));
    if (e.meta != nullptr) {
      track += *e.meta;
    } else {
      track.append(reinterpret_cast<const char*>(e.bytes), e.size);
    }
    now = std::max(now, e.tick);
  }
  track.append("\x00\xFF\x2F\x00", 4);  // end of track
  out += "MTrk";
  put_number(out, static_cast<std::uint32_t>(track.size()), 4);
  out += track;
}

// The conductor's tempo events where every voice keeps `map`: at each change the tempo in
// whole microseconds a quarter; where that rounding has drifted a note's start or end more than
// kTolerance from the map, tempos from the point before it that bring it back within a
// microsecond. `points` are the ticks at which notes begin or end, in order.
void shared_tempos(const std::vector<Tempo>& map, const std::vector<std::int64_t>& points,
                   std::vector<Event>& out, MetaStore& store) {
  const Clock clock(map);
  std::int64_t last_tick = -1;
  std::uint32_t last_tempo = 0;
  const auto emit = [&](std::int64_t tick, std::uint32_t us) {
    std::string data;
    put_number(data, us, 3);
    if (tick == last_tick) {
      out.back() = meta_event(tick, 0x51, data, store);
    } else if (us != last_tempo) {
      out.push_back(meta_event(tick, 0x51, data, store));
    } else {
      return;
    }
    last_tick = tick;
    last_tempo = us;
  };
  const auto clamp = [](double us) {
    return static_cast<std::uint32_t>(std::clamp<double>(std::round(us), 1, 0xFFFFFF));
  };
  double file_us = 0;  // the file's time at tick `at`
  std::int64_t at = 0;
  std::uint32_t tempo = 0;
  size_t next_change = 0;
  for (size_t p = 0; p <= points.size(); ++p) {
    const std::int64_t point = p < points.size() ? points[p] : INT64_MAX;
    for (; next_change < map.size() && map[next_change].tick <= point; ++next_change) {
      const std::int64_t tick = map[next_change].tick;
      file_us += tempo * static_cast<double>(tick - at) / kTicksPerQuarter;
      at = tick;
      tempo = clamp(60000000.0 / map[next_change].tempo);
      emit(at, tempo);
    }
    if (p == points.size()) break;
    if (point == at) continue;
    const double span = static_cast<double>(point - at) / kTicksPerQuarter;
    const double exact = clock.us(point);
    if (std::fabs(file_us + tempo * span - exact) <= kTolerance) {
      file_us += tempo * span;
      at = point;
      continue;
    }
    // Whole microseconds a quarter cannot hit the time over a long span: the span's first
    // `faster` ticks take one microsecond a quarter more than the rest.
    const std::int64_t ticks = point - at;
    const double wanted = (exact - file_us) * kTicksPerQuarter;  // the ticks' tempos summed
    const std::uint32_t slow = clamp(std::floor(wanted / ticks));
    const std::int64_t faster = std::clamp<std::int64_t>(
        std::llround(wanted - static_cast<double>(slow) * ticks), 0, slow < 0xFFFFFF ? ticks : 0);
    emit(at, faster > 0 ? slow + 1 : slow);
    if (faster > 0 && faster < ticks) emit(at + faster, slow);
    tempo = faster == ticks ? slow + 1 : slow;
    file_us += (static_cast<double>(slow) * ticks + faster) / kTicksPerQuarter;
    at = point;
  }
}

// "N/64" as a time signature's numerator and power of two below; false where it has none.
bool time_signature(long long n64, int& numerator, int& power) {
  if (n64 <= 0) return false;
  power = 6;
  while (n64 % 2 == 0 && power > 0) {
    n64 /= 2;
    --power;
  }
  numerator = static_cast<int>(std::min<long long>(n64, 256));
  return n64 <= 255;
}

}  // namespace

std::vector<int> midi_channels(const Timeline& timeline) {
  const auto& voices = timeline.voices;
  const auto same_sound = [](const TimedVoice& a, const TimedVoice& b) {
    return a.program == b.program && a.pan == b.pan && a.reverb == b.reverb && a.chorus == b.chorus;
  };
  std::vector<int> slot(voices.size());
  std::vector<size_t> users(kChannels, 0);
  for (size_t i = 0; i < voices.size(); ++i) {
    slot[i] = static_cast<int>(i % kChannels);
    if (i >= kChannels) {
      int best = -1;
      for (int s = 0; s < kChannels; ++s) {
        if (same_sound(voices[s], voices[i]) && (best < 0 || users[s] < users[best])) best = s;
      }
      if (best >= 0) slot[i] = best;
    }
    ++users[slot[i]];
  }
  for (int& s : slot) s = s < kPercussion ? s : s + 1;
  return slot;
}

std::string write_midi(const Timeline& timeline, std::string_view first_title) {
  const auto& voices = timeline.voices;
  // One tempo map for all, if the voices agree over the time that each of them lasts.
  size_t longest = 0;
  for (size_t i = 0; i < voices.size(); ++i) {
    if (voices[i].end > voices[longest].end) longest = i;
  }
  std::vector<std::vector<Tempo>> maps;
  for (const TimedVoice& v : voices) maps.push_back(tempo_map(v));
  bool shared = true;
  for (size_t i = 0; i < voices.size() && shared; ++i) {
    shared = before(maps[i], voices[i].end) == before(maps[longest], voices[i].end);
  }
  std::vector<Clock> clocks;
  if (!shared) {
    for (const auto& map : maps) clocks.emplace_back(map);
  }
  // The file's tick of a voice's tick: the same, or its millisecond.
  const auto file_tick = [&](size_t voice, std::int64_t tick) -> std::int64_t {
    if (shared) return tick;
    return std::llround(clocks[voice].us(tick) / 1000);
  };

  // Each voice's track, voices past the header's count sharing the last.
  const size_t tracks = std::min(voices.size(), kMaxTracks - 1);
  MetaStore metas;
  std::vector<std::vector<Event>> events(tracks);
  const std::vector<int> channels = midi_channels(timeline);
  std::vector<std::pair<std::int64_t, size_t>> numbers;
  for (size_t i = 0; i < voices.size(); ++i) {
    const size_t t = std::min(i, tracks - 1);
    const unsigned char ch = static_cast<unsigned char>(channels[i]);
    const auto value = [](int v) { return std::clamp(v, 0, 127); };
    if (i == t) events[t].push_back(meta_event(0, 0x03, voices[i].title, metas));
    if (voices[i].program >= 0 && voices[i].program <= 127) {
      events[t].push_back(channel_event(0, kSetting, 0xC0 | ch, voices[i].program));
    }
    events[t].push_back(channel_event(0, kSetting, 0xB0 | ch, 10, value(voices[i].pan)));
    events[t].push_back(channel_event(0, kSetting, 0xB0 | ch, 91, value(voices[i].reverb)));
    events[t].push_back(channel_event(0, kSetting, 0xB0 | ch, 93, value(voices[i].chorus)));
    numbers.emplace_back(voices[i].voice, i);
  }
  std::sort(numbers.begin(), numbers.end());
  std::vector<std::int64_t> points;
  for (const TimedNote& n : timeline.notes) {
    const auto found =
        std::lower_bound(numbers.begin(), numbers.end(), std::make_pair(n.voice, size_t{0}));
    if (found == numbers.end() || found->first != n.voice || n.sounding <= 0) continue;
    const size_t i = found->second, t = std::min(i, tracks - 1);
    const unsigned char ch = static_cast<unsigned char>(channels[i]);
    const std::int64_t on = file_tick(i, n.start);
    if (on >= kLastTick) continue;
    const std::int64_t off =
        std::min(kLastTick, std::max(on + 1, file_tick(i, n.start + n.sounding)));
    const int key = std::clamp(n.key, 0, 127);
    events[t].push_back(channel_event(on, kNoteOn, 0x90 | ch, key, kVelocity));
    events[t].push_back(channel_event(off, kNoteOff, 0x80 | ch, key, 64));
    if (shared) {
      points.push_back(on);
      points.push_back(off);
    }
  }

  // Where voices share a channel, a key held by one is let go only when none holds it.
  std::vector<int> voices_on(16, 0);
  for (int c : channels) ++voices_on[c];
  std::vector<std::vector<Event*>> shared_notes(16);
  for (auto& track : events) {
    for (Event& e : track) {
      const int c = e.bytes[0] & 0x0F;
      if (e.meta == nullptr && e.order != kSetting && voices_on[c] > 1) {
        shared_notes[c].push_back(&e);
      }
    }
  }
  for (auto& on_channel : shared_notes) {
    std::stable_sort(on_channel.begin(), on_channel.end(), [](const Event* a, const Event* b) {
      return std::tie(a->tick, a->order) < std::tie(b->tick, b->order);
    });
    int held[128] = {};
    for (Event* e : on_channel) {
      const int key = e->bytes[1];
      if (e->order == kNoteOn) {
        ++held[key];
      } else if (--held[key] > 0) {
        e->order = kDropped;
      }
    }
  }

  // The conductor: the title, the first voice's time signatures and the tempo map.
  std::vector<Event> conductor = {meta_event(0, 0x03, first_title, metas)};
  if (!voices.empty()) {
    int last_numerator = 0, last_power = -1;
    for (const TimedChange& c : timeline.changes) {
      int numerator = 0, power = 0;
      if (c.voice != voices[0].voice || c.kind != TimedChange::Kind::kMeasureLength ||
          file_tick(0, c.tick) >= kLastTick || !time_signature(c.value, numerator, power) ||
          (numerator == last_numerator && power == last_power)) {
        continue;
      }
      const char data[4] = {static_cast<char>(numerator), static_cast<char>(power), 24, 8};
      conductor.push_back(meta_event(file_tick(0, c.tick), 0x58, std::string_view(data, 4), metas));
      last_numerator = numerator;
      last_power = power;
    }
  }
  std::vector<Event> tempos;
  if (shared) {
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    // The map of the voice that lasts longest, up to its end (and at least its first tempo).
    std::vector<Tempo> map = {{0, kHeadTempo}};
    if (!voices.empty())
      map = before(maps[longest], std::max<std::int64_t>(1, voices[longest].end));
    shared_tempos(map, points, tempos, metas);
  } else {
    std::string data;
    put_number(data, kMillisecondTempo, 3);
    tempos.push_back(meta_event(0, 0x51, data, metas));
  }
  conductor.insert(conductor.end(), tempos.begin(), tempos.end());

  std::string out = "MThd";
  put_number(out, 6, 4);
  put_number(out, 1, 2);  // format 1: tracks that sound together
  put_number(out, static_cast<std::uint32_t>(tracks + 1), 2);
  put_number(out, kTicksPerQuarter, 2);
  put_track(out, conductor);
  for (auto& track : events) put_track(out, track);
  return out;
}

}  // namespace pn2tavix::detail
