#include "api/midi.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace pn2tavix::detail {
namespace {

constexpr int kChannels = 15;                       // the 16 of MIDI less percussion
constexpr int kPercussion = 9;                      // channel 10 as musicians count
constexpr std::size_t kMaxTracks = 65535;           // the header counts tracks in 16 bits
constexpr std::uint32_t kMaxDelta = 0x0FFFFFFF;     // the largest delta time a file can write
constexpr std::uint32_t kMillisecondTempo = 96000;  // microseconds a quarter: a tick is 1 ms
constexpr long double kTolerance = 500;  // microseconds an onset may stray before a tempo
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
    long double us = 0;
    for (size_t i = 0; i < map_.size(); ++i) {
      if (i > 0) us += per_tick(map_[i - 1].tempo) * (map_[i].tick - map_[i - 1].tick);
      starts_.push_back(us);
    }
  }
  long double us(std::int64_t tick) const {
    const auto it = std::upper_bound(map_.begin(), map_.end(), tick,
                                     [](std::int64_t t, const Tempo& s) { return t < s.tick; });
    const size_t i = it == map_.begin() ? 0 : static_cast<size_t>(it - map_.begin()) - 1;
    return starts_[i] + per_tick(map_[i].tempo) * (tick - map_[i].tick);
  }

 private:
  static long double per_tick(int tempo) { return 625000.0L / tempo; }  // 60e6 / (96 tempo)
  std::vector<Tempo> map_;
  std::vector<long double> starts_;
};

// A channel event, or a meta event of the conductor, at a tick of the file.
struct Event {
  std::int64_t tick = 0;
  int order = 0;  // at one tick: settings, then note-offs, then note-ons; kDropped never written
  std::string bytes;
};
constexpr int kSetting = 0, kNoteOff = 1, kNoteOn = 2, kDropped = 3;

Event channel_event(std::int64_t tick, int order, unsigned char status, int a, int b = -1) {
  Event e{tick, order, {static_cast<char>(status), static_cast<char>(a)}};
  if (b >= 0) e.bytes += static_cast<char>(b);
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

Event meta_event(std::int64_t tick, unsigned char type, std::string_view data) {
  Event e{tick, kSetting, {'\xFF', static_cast<char>(type)}};
  data = data.substr(0, kMaxDelta);
  put_delta(e.bytes, static_cast<std::uint32_t>(data.size()));
  e.bytes.append(data);
  return e;
}

// One "MTrk" chunk of `events`, in order of ticks (stable within a tick), ended at the last.
void put_track(std::string& out, std::vector<Event>& events) {
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return std::tie(a.tick, a.order) < std::tie(b.tick, b.order);
  });
  std::string track;
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
    track += e.bytes;
    now = std::max(now, e.tick);
  }
  track.append("\x00\xFF\x2F\x00", 4);  // end of track
  out += "MTrk";
  put_number(out, static_cast<std::uint32_t>(track.size()), 4);
  out += track;
}

// The conductor's tempo events where every voice keeps `map`: at each change the tempo in
// whole microseconds a quarter; where that rounding has drifted an onset more than kTolerance
// from the map, a corrected tempo from the onset before it. `points` are the ticks at which
// notes begin or end, in order.
void shared_tempos(const std::vector<Tempo>& map, const std::vector<std::int64_t>& points,
                   std::vector<Event>& out) {
  const Clock clock(map);
  std::int64_t last_tick = -1;
  std::uint32_t last_tempo = 0;
  const auto emit = [&](std::int64_t tick, std::uint32_t us) {
    std::string data;
    put_number(data, us, 3);
    if (tick == last_tick) {
      out.back() = meta_event(tick, 0x51, data);
    } else if (us != last_tempo) {
      out.push_back(meta_event(tick, 0x51, data));
    } else {
      return;
    }
    last_tick = tick;
    last_tempo = us;
  };
  const auto clamp = [](long double us) {
    return static_cast<std::uint32_t>(std::clamp<long double>(std::round(us), 1, 0xFFFFFF));
  };
  long double file_us = 0;  // the file's time at tick `at`
  std::int64_t at = 0;
  std::uint32_t tempo = 0;
  size_t next_change = 0;
  for (size_t p = 0; p <= points.size(); ++p) {
    const std::int64_t point = p < points.size() ? points[p] : INT64_MAX;
    for (; next_change < map.size() && map[next_change].tick <= point; ++next_change) {
      const std::int64_t tick = map[next_change].tick;
      file_us += tempo * static_cast<long double>(tick - at) / kTicksPerQuarter;
      at = tick;
      tempo = clamp(60000000.0L / map[next_change].tempo);
      emit(at, tempo);
    }
    if (p == points.size()) break;
    if (point == at) continue;
    const long double span = static_cast<long double>(point - at) / kTicksPerQuarter;
    const long double exact = clock.us(point);
    if (std::fabs(file_us + tempo * span - exact) > kTolerance) {
      tempo = clamp((exact - file_us) / span);
      emit(at, tempo);
    }
    file_us += tempo * span;
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
  std::vector<std::vector<Event>> events(tracks);
  const std::vector<int> channels = midi_channels(timeline);
  std::vector<size_t> index_of;  // the index of a voice by its number, from the notes' `voice`
  std::vector<std::pair<std::int64_t, size_t>> numbers;
  for (size_t i = 0; i < voices.size(); ++i) {
    const size_t t = std::min(i, tracks - 1);
    const unsigned char ch = static_cast<unsigned char>(channels[i]);
    const auto value = [](int v) { return std::clamp(v, 0, 127); };
    if (i == t) events[t].push_back(meta_event(0, 0x03, voices[i].title));
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
    const std::int64_t off = std::max(on + 1, file_tick(i, n.start + n.sounding));
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
  for (int c = 0; c < 16; ++c) {
    if (voices_on[c] < 2) continue;
    std::vector<Event*> on_channel;
    for (auto& track : events) {
      for (Event& e : track) {
        const auto status = static_cast<unsigned char>(e.bytes[0]);
        if (e.order != kSetting && (status & 0x0F) == c) on_channel.push_back(&e);
      }
    }
    std::stable_sort(on_channel.begin(), on_channel.end(), [](const Event* a, const Event* b) {
      return std::tie(a->tick, a->order) < std::tie(b->tick, b->order);
    });
    std::vector<int> held(128, 0);
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
  std::vector<Event> conductor = {meta_event(0, 0x03, first_title)};
  if (!voices.empty()) {
    int last_numerator = 0, last_power = -1;
    for (const TimedChange& c : timeline.changes) {
      int numerator = 0, power = 0;
      if (c.voice != voices[0].voice || c.kind != TimedChange::Kind::kMeasureLength ||
          !time_signature(c.value, numerator, power) ||
          (numerator == last_numerator && power == last_power)) {
        continue;
      }
      const char data[4] = {static_cast<char>(numerator), static_cast<char>(power), 24, 8};
      conductor.push_back(meta_event(file_tick(0, c.tick), 0x58, std::string_view(data, 4)));
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
    shared_tempos(map, points, tempos);
  } else {
    std::string data;
    put_number(data, kMillisecondTempo, 3);
    tempos.push_back(meta_event(0, 0x51, data));
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
