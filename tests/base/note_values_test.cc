// Amounts said in note values: read back, each phrase adds up and uses as few values as any.
#include "base/note_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using pn2tavix::detail::as_note_values;

// A value named in a phrase, in 192nds, from its plain length and its kind; 0 if unknown.
long long length_of(std::string name) {
  if (name.rfind("a ", 0) == 0) name.erase(0, 2);
  if (name.rfind("an ", 0) == 0) name.erase(0, 3);
  int numerator = 1, denominator = 1;
  for (const char* kind : {"dotted ", "triplet "}) {
    if (name.rfind(kind, 0) == 0) {
      name.erase(0, std::string(kind).size());
      (kind[0] == 'd' ? numerator : denominator) = 3;
      (kind[0] == 'd' ? denominator : numerator) *= 2;
    }
  }
  static const std::map<std::string, long long> plain = {
      {"whole note", 192}, {"half", 96}, {"quarter", 48}, {"eighth", 24},
      {"16th", 12},        {"32nd", 6},  {"64th", 3}};
  const auto it = plain.find(name);
  if (it == plain.end() || it->second * numerator % denominator != 0) return 0;
  return it->second * numerator / denominator;
}

TEST(NoteValues, EveryAmountAddsUpWithTheFewestValues) {
  // The fewest values from a triplet whole note to a 64th that make each amount, found here
  // by counting coins rather than by trying sums.
  std::vector<long long> values;
  for (const char* n : {"whole note", "half", "quarter", "eighth", "16th", "32nd", "64th"}) {
    for (const char* kind : {"", "dotted ", "triplet "}) {
      const long long v = length_of(std::string(kind) + n);
      if (v > 0 && v < 192) values.push_back(v);
    }
  }
  std::vector<int> fewest(192, 99);
  fewest[0] = 0;
  for (int n = 1; n < 192; ++n) {
    for (long long v : values) {
      if (v <= n) fewest[n] = std::min(fewest[n], fewest[n - v] + 1);
    }
  }
  for (long long n = 1; n <= 192 * 3; ++n) {
    const std::string phrase = as_note_values(n);
    SCOPED_TRACE(std::to_string(n) + ": " + phrase);
    // "A, B and C": split at ", " and " and ".
    std::vector<std::string> parts;
    std::string rest = phrase;
    for (size_t cut; (cut = std::min(rest.find(", "), rest.find(" and "))) != std::string::npos;) {
      parts.push_back(rest.substr(0, cut));
      rest.erase(0, cut + (rest.compare(cut, 2, ", ") == 0 ? 2 : 5));
    }
    parts.push_back(rest);
    long long sum = 0;
    int ordinary = 0;
    long long odd = 0;  // 192nds said as such
    for (size_t i = 0; i < parts.size(); ++i) {
      const std::string& p = parts[i];
      const size_t space = p.find(' ');
      if (i == 0 && n >= 384) {
        EXPECT_EQ(" whole notes", p.substr(space));
        sum += std::stoll(p.substr(0, space)) * 192;
      } else if (p.find("192nd") != std::string::npos) {
        EXPECT_EQ(i + 1, parts.size()) << "192nds come last";
        odd = std::stoll(p.substr(0, space));
        EXPECT_EQ(odd == 1 ? " 192nd" : " 192nds", p.substr(space));
        sum += odd;
      } else {
        const long long v = length_of(p);
        ASSERT_GT(v, 0) << p;
        sum += v;
        ordinary += !(i == 0 && n >= 192 && v == 192);
      }
    }
    EXPECT_EQ(n, sum);
    const int below_whole = static_cast<int>(n % 192);
    if (fewest[below_whole] <= 3) {
      EXPECT_EQ(fewest[below_whole], ordinary);
      EXPECT_EQ(0, odd);
    } else {
      // The nearest amount below that three values make, and what is left over.
      ASSERT_GT(odd, 0);
      EXPECT_EQ(fewest[below_whole - odd], ordinary);
      for (long long k = 0; k <= odd; ++k) EXPECT_EQ(k == odd, fewest[below_whole - k] <= 3);
    }
  }
}

TEST(NoteValues, SaysWhatAMusicianWould) {
  const struct {
    long long n;
    const char* phrase;
  } cases[] = {
      {7, "a triplet 32nd and a 64th"},
      {33, "an eighth and a dotted 32nd"},
      {40, "an eighth and a triplet eighth"},  // plain before dotted before triplet
      {60, "a quarter and a 16th"},            // then larger first
      {1, "1 192nd"},
      {191, "a dotted half, a dotted eighth, a dotted 32nd and 2 192nds"},
      {192, "a whole note"},
      {400, "2 whole notes and a triplet eighth"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.phrase, as_note_values(c.n)) << c.n;
}

}  // namespace
