// Amounts said in note values: read back, each phrase adds up and uses as few values as any.
#include "base/note_values.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

namespace {

using pn2tavix::detail::as_note_values;

// A value as a phrase names it ("a dotted 16th"), in 192nds; 0 for none.
long long length_of(const std::string& name) {
  static const std::regex value(
      "an? (dotted |triplet )?(whole note|half|quarter|eighth|16th|32nd|64th)");
  static const char* const plain[] = {"whole note", "half", "quarter", "eighth",
                                      "16th",       "32nd", "64th"};
  std::smatch m;
  if (!std::regex_match(name, m, value)) return 0;
  long long v = 192 >> (std::find(std::begin(plain), std::end(plain), m[2].str()) - plain);
  return m[1] == "dotted " ? (v % 2 ? 0 : v * 3 / 2) : m[1] == "triplet " ? v * 2 / 3 : v;
}

TEST(NoteValues, EveryAmountAddsUpWithTheFewestValues) {
  // The fewest values from a triplet whole note to a 64th that make each amount below a whole
  // note, found by counting coins rather than by trying sums.
  std::vector<long long> values;
  for (const char* kind : {"a ", "a dotted ", "a triplet "}) {
    for (const char* note : {"whole note", "half", "quarter", "eighth", "16th", "32nd", "64th"}) {
      values.push_back(length_of(std::string(kind) + note));
    }
  }
  std::vector<int> fewest(192, 99);
  fewest[0] = 0;
  for (int n = 1; n < 192; ++n) {
    for (long long v : values) {
      if (v > 0 && v <= n) fewest[n] = std::min(fewest[n], fewest[n - v] + 1);
    }
  }
  for (long long n = 1; n <= 192 * 3; ++n) {
    const std::string phrase = as_note_values(n);
    SCOPED_TRACE(std::to_string(n) + ": " + phrase);
    // "A, B and C": whole notes first, 192nds last.
    std::vector<std::string> parts;
    const std::regex separator(", | and ");
    std::copy(std::sregex_token_iterator(phrase.begin(), phrase.end(), separator, -1),
              std::sregex_token_iterator(), std::back_inserter(parts));
    long long sum = 0, odd = 0;
    int ordinary = 0;
    std::smatch m;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i == 0 && n >= 192) {
        EXPECT_EQ(n < 384 ? "a whole note" : std::to_string(n / 192) + " whole notes", parts[0]);
        sum += n / 192 * 192;
      } else if (std::regex_match(parts[i], m, std::regex("([0-9]+) 192nds?"))) {
        EXPECT_EQ(i + 1, parts.size());
        odd = std::stoll(m[1]);
        sum += odd;
      } else {
        ASSERT_GT(length_of(parts[i]), 0) << parts[i];
        sum += length_of(parts[i]);
        ++ordinary;
      }
    }
    EXPECT_EQ(n, sum);
    // Said with the fewest values; or, where three make no such amount, the nearest below that
    // they make, and what is left over.
    const int rest = static_cast<int>(n % 192);
    EXPECT_EQ(fewest[rest - odd], ordinary);
    for (long long k = 0; k <= odd; ++k) EXPECT_EQ(k == odd, fewest[rest - k] <= 3);
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
      {400, "2 whole notes and a triplet eighth"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.phrase, as_note_values(c.n)) << c.n;
}

}  // namespace
