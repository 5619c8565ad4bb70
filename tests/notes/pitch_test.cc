#include "notes/pitch.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace pn2tavix::detail {
namespace {

std::string names_under(int clef) {
  PitchState p;
  p.cur_clef = clef;
  std::string names;
  for (int pitch = 0; pitch <= 15; ++pitch) {
    char letter, octave;
    pitch2tavix(p, pitch, letter, octave);
    names += letter;
    names += octave;
    names += ' ';
  }
  return names;
}

TEST(Pitch, ClefRows) {
  EXPECT_EQ("d5 e5 f5 g5 a5 b5 c6 d6 e6 f6 g6 a6 b6 c7 d7 e7 ", names_under(0));
  EXPECT_EQ("e4 f4 g4 a4 b4 c5 d5 e5 f5 g5 a5 b5 c6 d6 e6 f6 ", names_under(1));
  EXPECT_EQ("c4 d4 e4 f4 g4 a4 b4 c5 d5 e5 f5 g5 a5 b5 c6 d6 ", names_under(2));
  EXPECT_EQ("f3 g3 a3 b3 c4 d4 e4 f4 g4 a4 b4 c5 d5 e5 f5 g5 ", names_under(3));
}

TEST(Pitch, OutOfRangePitchNumbersEndTheRun) {
  struct Case {
    int pitch;
    const char* message;
  } const cases[] = {
      {16, "oops, can't handle pitch numbers greater then 15 in measure 9.  Fix me!"},
      {2147483647, "oops, can't handle pitch numbers greater then 15 in measure 9.  Fix me!"},
      {-1, "Lowest allowed pitch value is 0, you specified -1 in measure 9."},
  };
  for (const Case& c : cases) {
    PitchState p;
    char letter, octave;
    try {
      pitch2tavix(p, c.pitch, letter, octave);
      ADD_FAILURE() << "pitch " << c.pitch << " accepted";
    } catch (const RunError& e) {
      EXPECT_EQ(c.message, text_of(e, 9));
    }
  }
}

std::string key_row(int sharp_flat, int count) {
  PitchState p;
  p.cur_key_sharp_flat = sharp_flat;
  p.cur_key_num_sharp_flat = count;
  std::string row;
  for (char letter = 'a'; letter <= 'g'; ++letter) row += get_key_accid(p, letter);
  return row;
}

// Each sharp of a key signature adds the next letter of f c g d a e b, each flat the next of
// b e a d g c f; no key signature gives none, whatever the count.
TEST(Pitch, KeysAddSharpsAndFlatsInTheirOrder) {
  EXPECT_EQ("=======", key_row(0, 5));
  for (const int sharp_flat : {1, -1}) {
    const std::string order = sharp_flat > 0 ? "fcgdaeb" : "beadgcf";
    for (int count = 0; count <= 7; ++count) {
      SCOPED_TRACE(testing::Message() << sharp_flat << " x " << count);
      std::string row = "=======";
      for (int k = 0; k < count; ++k) row[order[k] - 'a'] = sharp_flat > 0 ? '+' : '-';
      EXPECT_EQ(row, key_row(sharp_flat, count));
    }
  }
}

}  // namespace
}  // namespace pn2tavix::detail
