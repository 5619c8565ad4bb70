#include "music_gen.h"

#include <string_view>
#include <vector>

namespace {

// splitmix64: fixed here, since std::uniform_int_distribution differs between libraries and a
// seed must give the same file everywhere.
struct Rng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
  bool chance(int percent) { return below(100) < percent; }
  template <typename T, size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(static_cast<int>(N))];
  }
};

// A note as the converter sees it before any transposition: letter and octave.
struct Pitch {
  char letter;
  int octave;
};

Pitch pitch_of(int clef, int number) {
  static constexpr char letters[4][17] = {"defgabcdefgabcde", "efgabcdefgabcdef",
                                          "cdefgabcdefgabcd", "fgabcdefgabcdefg"};
  static constexpr char octaves[4][17] = {"5555556666666777", "4444455555556666",
                                          "4444444555555566", "3333444444455555"};
  return {letters[clef][number], octaves[clef][number] - '0'};
}

// Twelve letter steps up or down, the octave changing between b and c.
void shift_up(Pitch& p) {
  p.octave += (p.letter == 'c' || p.letter == 'd') ? 1 : 2;
  p.letter = static_cast<char>(p.letter + 5 > 'g' ? p.letter - 2 : p.letter + 5);
}

void shift_down(Pitch& p) {
  p.octave -= (p.letter == 'a' || p.letter == 'b') ? 1 : 2;
  p.letter = static_cast<char>(p.letter - 5 < 'a' ? p.letter + 2 : p.letter - 5);
}

constexpr int kMaxTransposition = 2;  // "up" and "down" stay within this many semitones

// Legal in every case the generator makes: no octave check fails, and with any accidental
// (one semitone) and any transposition it writes, the note stays within c2 to c7.
bool safe(Pitch p) {
  static constexpr int semitone_of_letter[7] = {9, 11, 0, 2, 4, 5, 7};  // a..g
  const int semitone = 12 * (p.octave - 2) + semitone_of_letter[p.letter - 'a'];
  return p.octave >= 2 && p.octave <= 6 && semitone >= 1 + kMaxTransposition &&
         semitone <= 59 - kMaxTransposition;
}

// A note value with dots and the length it gives in 64ths. Every length is a multiple of a
// 16th, so that any measure can be filled up with 16ths.
struct Length {
  const char* value;
  const char* dots;
  int len;
};
constexpr Length kLengths[] = {
    {"16", "", 4},    {"16", "", 4},   {"8", "", 8},     {"8", "", 8},   {"8", "", 8},
    {"8", ".", 12},   {"4", "", 16},   {"4", "", 16},    {"4", "", 16},  {"4", ".", 24},
    {"4", "..", 28},  {"4", "x.", 20}, {"2", "", 32},    {"2", ".", 48}, {"2", "..", 56},
    {"2", "...", 60}, {"2", "x.", 40}, {"2", ".x.", 52}, {"1", "", 64},  {"1", ".", 96},
};
constexpr int kGrain = 12;  // a 16th in 192nds: every measure and every choice is a multiple

// Triplet groups: three tokens of one value, together a multiple of kGrain.
struct TripletValue {
  const char* value;
  int len;  // in 96ths
};
constexpr TripletValue kTriplets[] = {{"8", 8}, {"8", 8}, {"16", 4}, {"4", 16}};

class Generator {
 public:
  Generator(std::string& out, uint64_t seed) : out_(out), rng_{seed} {}

  void voice() {
    ++voice_;
    title();
    clef_ = 0;  // every voice begins in the treble clef
    if (units_ == 0 || rng_.chance(30)) units();
    if (rng_.chance(80)) clef();
    if (rng_.chance(70)) key();
    if (rng_.chance(50)) tempo();
    const int measures = 40 + rng_.below(360);
    copyable_.assign(static_cast<size_t>(measures) + 8, false);
    measure_ = 1;
    while (measure_ <= measures) {
      between_measures();
      const int roll = rng_.below(100);
      if (roll < 4) {
        whole_measure_rests();
      } else if (roll < 10 && measure_ > 2) {
        copy();
      } else {
        measure();
      }
    }
    out_ += "end\n";
  }

 private:
  void word(std::string_view w) {
    out_ += w;
    out_ += rng_.chance(3) ? "\t" : " ";
  }
  void number(int n) { word(std::to_string(n)); }
  void line_end() {
    if (!out_.empty() && (out_.back() == ' ' || out_.back() == '\t')) out_.pop_back();
    out_ += '\n';
  }

  void title() {
    static constexpr const char* kinds[] = {"Minuet", "Gavotte", "Chorale", "Round", "March"};
    static constexpr const char* leads[] = {"", "", "", "@@ ", "  ", "\n"};
    out_ += rng_.pick(leads);
    out_ += rng_.pick(kinds);
    out_.append(" ").append(std::to_string(rng_.below(1000)));
    out_.append(", voice ").append(std::to_string(voice_));
    if (rng_.chance(20)) out_ += " @ copy";  // an '@' inside a title belongs to it
    out_ += "/\n";
  }

  void units() {
    static constexpr int choices[] = {16, 24, 24, 32};
    units_ = rng_.pick(choices);
    word("units");
    number(units_);
  }
  void clef() {
    static constexpr const char* names[] = {"treble", "alto", "tenor", "bass"};
    clef_ = rng_.below(4);
    word(names[clef_]);
  }
  void key() {
    word("key");
    const int roll = rng_.below(3);
    if (roll == 0) {
      word(")");
    } else {
      std::string sig(roll == 1 ? "(" : "-");
      word(sig.append(std::to_string(rng_.below(8))));
    }
  }
  void tempo() {
    word("tempo");
    number(40 + rng_.below(200));
  }
  void transposition() {
    word(rng_.chance(50) ? "up" : "down");
    number(rng_.below(kMaxTransposition + 1));
  }

  // Statements that may stand between measures, or just after a measure number.
  void between_measures() {
    if (rng_.chance(4)) clef();
    if (rng_.chance(4)) key();
    if (rng_.chance(3)) transposition();
    if (rng_.chance(6)) word(rng_.pick({"l", "e", "h", "q", "s", "e"}));
    if (rng_.chance(2)) word(rng_.pick({"FINE", "DC", "SEGNO"}));
  }

  void whole_measure_rests() {
    const int n = 1 + rng_.below(3);
    word("rest");
    number(n);
    line_end();
    for (int i = 0; i < n; ++i) copyable_[static_cast<size_t>(measure_++)] = true;
  }

  // Repeats up to four earlier measures that were stored with their text.
  void copy() {
    const int last = 1 + rng_.below(measure_ - 1);
    int first = last - rng_.below(4);
    if (first < 1) first = 1;
    for (int i = first; i <= last; ++i) {
      if (!copyable_[static_cast<size_t>(i)]) return;  // measure() follows instead
    }
    word("copy");
    number(first);
    number(last);
    line_end();
    for (int i = first; i <= last; ++i) copyable_[static_cast<size_t>(measure_++)] = true;
  }

  void measure() {
    // A measure opened by its number is collected, so a later copy may repeat it.
    const bool numbered = rng_.chance(92);
    if (numbered) number(measure_);
    copyable_[static_cast<size_t>(measure_)] = numbered;
    if (numbered && rng_.chance(3)) tempo();  // collected with the measure, and copied with it
    if (numbered && rng_.chance(2)) units();
    int left = 6 * units_;
    while (left > 0) left -= item(left);
    // A bar line against the last token, or standing alone.
    if (rng_.chance(50)) {
      out_.back() = '/';
    } else {
      word("/");
    }
    line_end();
    ++measure_;
  }

  // One token or triplet group that fits into `left` 192nds; gives what it filled.
  int item(int left) {
    const int roll = rng_.below(100);
    if (roll < 10 && left >= 24) return triplet_group(left);
    if (roll < 25) {
      const int filled = comma(left);
      if (filled > 0) return filled;
    }
    const Length& l = length_within(left);
    if (roll < 35) {
      rest(l.value, l.dots, "");
      prev_dur_ = l.len;
    } else {
      pitched(l.value, l.dots, "");
      prev_dur_ = l.len;
      prev_triplet_ = false;
    }
    return 3 * l.len;
  }

  const Length& length_within(int left) {
    for (;;) {
      const Length& l = rng_.pick(kLengths);
      if (3 * l.len <= left) return l;
    }
  }

  int triplet_group(int left) {
    TripletValue t;
    do t = rng_.pick(kTriplets);
    while (3 * 2 * t.len > left);
    pitched(t.value, "", "c");
    prev_dur_ = t.len;
    prev_triplet_ = true;
    for (int i = 0; i < 2; ++i) {
      // Each of these lasts the same: the previous length, as a triplet.
      switch (rng_.below(6)) {
        case 0:
          pitched(t.value, "", "c");
          break;
        case 1:
          word(",");
          break;
        case 2:
          word(",c");
          break;
        case 3:
          word("r,");
          break;
        case 4:
          rest(t.value, "", "c");
          break;
        default:
          comma_with_pitch();
          break;
      }
    }
    return 3 * 2 * t.len;
  }

  // A comma note or comma rest, if one fits: it takes the previous length and triplet flag.
  int comma(int left) {
    if (!has_prev_ || prev_dur_ == 0) return 0;
    const bool triplet = rng_.chance(15);
    const int filled = (triplet || prev_triplet_ ? 2 : 3) * prev_dur_;
    if (filled > left || (left - filled) % kGrain != 0) return 0;
    const std::string_view c = triplet ? ",c" : ",";
    const int roll = rng_.below(100);
    if (roll < 15) {
      word(std::string(roll < 3 ? "4r" : "r") + std::string(c));  // a digit before is ignored
    } else if (roll < 45) {
      comma_with_pitch(c);
    } else {
      Pitch p = prev_;
      std::string t;
      const int shift = rng_.below(100);
      if (shift < 10) {
        shift_up(p);
        t += 'a';
      } else if (shift < 20) {
        shift_down(p);
        t += 'b';
      }
      if (!safe(p)) {
        p = prev_;
        t.clear();
      }
      t += accidental();
      t += c;
      if (rng_.chance(20)) t += articulation();
      word(t);
      prev_ = p;
    }
    return filled;
  }

  void comma_with_pitch(std::string_view c = ",") {
    std::string t = pick_pitch(prev_);
    t += accidental();
    t += articulation();
    t += c;
    word(t);
    has_prev_ = true;
  }

  void rest(const char* value, const char* dots, const char* triplet) {
    std::string t;
    if (rng_.chance(10)) {
      t = std::string(value) + "r" + dots + triplet;
    } else if (*triplet != 0 && rng_.chance(50)) {
      t = std::string("r") + triplet + value + dots;
    } else {
      t = std::string("r") + value + dots + triplet;
    }
    word(t);
  }

  void pitched(const char* value, const char* dots, const char* triplet) {
    std::string t = pick_pitch(prev_);
    has_prev_ = true;
    t += accidental();
    t += articulation();
    t += triplet;
    // A pitch number and a note value need something between them.
    if (t.find_first_not_of("0123456789") == std::string::npos) t += rng_.pick({"e", "q", "s"});
    t += value;
    t += dots;
    word(t);
  }

  // A pitch number and shift letters whose note is safe in the clef in force.
  std::string pick_pitch(Pitch& p) {
    for (int tries = 0; tries < 20; ++tries) {
      const int n = rng_.below(16);
      Pitch q = pitch_of(clef_, n);
      std::string t = std::to_string(n);
      const int shift = rng_.below(100);
      if (shift < 6) {
        shift_up(q);
        t += 'a';
      } else if (shift < 12) {
        shift_down(q);
        t += 'b';
      } else if (shift < 14) {
        t += "ba";  // the two cancel
      }
      if (safe(q)) {
        p = q;
        return t;
      }
    }
    p = pitch_of(clef_, 4);  // safe in every clef
    return "4";
  }

  std::string accidental() {
    const int roll = rng_.below(100);
    if (roll < 12) return "(";
    if (roll < 24) return "-";
    if (roll < 32) return ")";
    if (roll < 33) return ")((";  // a natural wins, and the doubled sign is then no error
    return "";
  }

  std::string articulation() {
    static constexpr const char* letters[] = {"", "", "", "", "l", "e", "h", "q", "s"};
    return rng_.pick(letters);
  }

  std::string& out_;
  Rng rng_;
  int voice_ = 0;
  int units_ = 0;  // kept from voice to voice, like the converter's measure length
  int clef_ = 0;
  int measure_ = 1;
  std::vector<bool> copyable_;  // by measure number: stored with its text in this voice
  // What a comma note repeats; kept from voice to voice.
  bool has_prev_ = false;
  Pitch prev_{'d', 5};
  int prev_dur_ = 0;
  bool prev_triplet_ = false;
};

}  // namespace

void generate_music(std::string& out, size_t target_bytes, uint64_t seed) {
  Generator g(out, seed);
  const size_t start = out.size();
  do g.voice();
  while (out.size() - start < target_bytes);
}
