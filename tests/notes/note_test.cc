#include "notes/note.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace pn2tavix::detail {
namespace {

// One measure's worth of note translation: the state carries over from token to token, and each
// token is followed in the input by `next` (a bar line unless a case says otherwise).
struct Notes {
  PitchState pitch;
  NoteState notes;

  // "lines|result", or the message that ended the run.
  std::string translate(const std::string& token, const std::string& next = "/") {
    std::istringstream in(next);
    ByteSource src(in, "test");
    Failure failure;
    TokenReader reader(src, failure);
    NoteContext ctx{notes, pitch, reader, failure};
    char room[kNoteLineMax];
    NoteLine line{room};
    const int filled = parse_note(ctx, token, line);
    if (filled == kNoteFailed) {
      EXPECT_EQ(1, status_of(failure.code));
      return text_of(failure, 3);
    }
    return filled == 0 ? "0" : std::string(line.view()) + "|" + std::to_string(filled);
  }
};

struct Step {
  std::string token;
  std::string result;
  std::string next = "/";
};

void expect_steps(Notes& n, const std::vector<Step>& steps) {
  for (const Step& s : steps) {
    SCOPED_TRACE(s.token);
    EXPECT_EQ(s.result, n.translate(s.token, s.next));
  }
}

TEST(Note, AccidentalsAreRememberedForTheMeasure) {
  Notes n;
  expect_steps(n, {
                      {"7(8.", "$shorten 9\n/L12:64/d+6\n|36"},  // one dot adds half of 8
                      {",", "$shorten 9\n/L12:64/d+6\n|36"},     // pitch, sharp and length again
                      {",b", "$shorten 9\n/L12:64/f+4\n|36"},    // the sharp goes down with it
                      {"1q8", "$shorten 12\n/L8:64/e5\n|24"},
                      {"7q8", "$shorten 12\n/L8:64/d+6\n|24"},  // d6 still sharp
                      {"7)8", "$shorten 6\n/L8:64/d6\n|24"},    // until a natural replaces it
                      {"7q8", "$shorten 12\n/L8:64/d6\n|24"},
                  });
  clear_sticky_accid(n.notes);  // the bar line
  expect_steps(n, {{"7(8", "$shorten 6\n/L8:64/d+6\n|24"}});
  clear_sticky_accid(n.notes);
  expect_steps(n, {{"7q8", "$shorten 12\n/L8:64/d6\n|24"}});
}

TEST(Note, KeySignatureAndNaturals) {
  Notes n;
  n.pitch.cur_key_sharp_flat = -1;
  n.pitch.cur_key_num_sharp_flat = 1;
  expect_steps(n, {
                      {"5q4", "$shorten 24\n/L16:64/b-5\n|48"},
                      {"5)q4", "$shorten 24\n/L16:64/b5\n|48"},   // cancels the key's flat
                      {"5q4", "$shorten 24\n/L16:64/b5\n|48"},    // for the rest of the measure
                      {"12q4", "$shorten 24\n/L16:64/b-6\n|48"},  // but only in that octave
                  });
}

TEST(Note, DotsTripletsAndLengths) {
  Notes n;
  expect_steps(n, {
                      {"7l4.", "$shorten 0\n/L24:64/d6\n|72"},
                      {"7l4..", "$shorten 0\n/L28:64/d6\n|84"},
                      {"7l4...", "$shorten 0\n/L30:64/d6\n|90"},
                      {"7l4x.", "$shorten 0\n/L20:64/d6\n|60"},  // 'x' halves the next dot
                      {"7l4.x.", "$shorten 0\n/L26:64/d6\n|78"},
                      {"7l4x", "$shorten 0\n/L16:64/d6\n|48"},
                      {"7l4" + std::string(70, 'x') + ".", "$shorten 0\n/L16:64/d6\n|48"},
                      {"7c8", "$shorten 4\n/L8:96/d6\n|16"},    // 6, then two thirds of it
                      {"7q3", "$shorten 31\n/L21:64/d6\n|63"},  // 64 / 3 truncated
                      {"r4.", "/L24:64/r\n|72"},
                      {"r8c", "/L8:96/r\n|16"},
                      {"4r", "/L16:64/r\n|48"},
                      {"r4g", "/L16:64/r\n|48"},  // a rest, not a skipped token
                      {"7q128", "0"},             // no length: nothing to write
                  });
  EXPECT_EQ(0, n.notes.prev_dur);
}

TEST(Note, CommaNotesAndRests) {
  Notes n;
  expect_steps(n, {
                      {"7(8.", "$shorten 9\n/L12:64/d+6\n|36"},
                      {",c", "$shorten 6\n/L12:96/d+6\n|24"},  // a triplet this once
                      {",", "$shorten 9\n/L12:64/d+6\n|36"},   // prev_triplet stayed 0
                      {"r,", "$shorten 9\n/L12:64/r\n|36"},
                      {"4r,", "$shorten 9\n/L12:64/r\n|36"},   // a pitch before r, is ignored
                      {"r,ab", "$shorten 9\n/L12:64/r\n|36"},  // a rest has nothing to shift
                      {",", "$shorten 9\n/L12:64/d+6\n|36"},   // the note before the comma rests
                      {"6,", "$shorten 9\n/L12:64/c6\n|36"},   // a new pitch, the old length
                      {"7,", "$shorten 9\n/L12:64/d+6\n|36"},  // d6 is still sharp
                      {"r2", "/L32:64/r\n|96"},
                      {",", "$shorten 24\n/L32:64/d+6\n|96"},  // a plain rest sets the length
                  });
}

TEST(Note, SkippedTokensChangeNothing) {
  Notes n;
  expect_steps(n, {{"7(8.", "$shorten 9\n/L12:64/d+6\n|36"},
                   {"7g4", "0"},
                   {",g", "0"},
                   {"6)g4", "0"},
                   {",", "$shorten 9\n/L12:64/d+6\n|36"}});
}

TEST(Note, ArticulationAgainstAFollowingRest) {
  Notes n;
  expect_steps(n, {
                      {"6)4", "$shorten 0\n/L16:64/c6\n|48", "r4"},   // a rest follows
                      {"6q4", "$shorten 24\n/L16:64/c6\n|48", "r4"},  // the note's own letter wins
                      {"6)4", "$shorten 0\n/L16:64/c6\n|48", "4r,"},
                      {"6)4", "$shorten 12\n/L16:64/c6\n|48", "/"},  // a bar line is no rest
                      {"6)4", "$shorten 12\n/L16:64/c6\n|48", "12"},
                      {"6)4", "$shorten 12\n/L16:64/c6\n|48", "rest"},
                      {"6)4", "$shorten 12\n/L16:64/c6\n|48", "R4"},
                      {"7l4", "$shorten 0\n/L16:64/d6\n|48"},
                      {"7h4", "$shorten 48\n/L16:64/d6\n|48"},
                      {"7s4", "$shorten 48\n/L16:64/d6\n|48"},
                      {"7hq4", "$shorten 24\n/L16:64/d6\n|48"},
                      {"7qe4", "$shorten 12\n/L16:64/d6\n|48"},
                  });
  n.notes.cur_artic = 1024;
  expect_steps(n, {{"7)4", "$shorten 0\n/L16:64/d6\n|48"}});
}

TEST(Note, ShiftsAndOctaveLimits) {
  Notes n;
  expect_steps(n,
               {
                   {"0a4", "$shorten 12\n/L16:64/b6\n|48"},
                   {"0ab4", "$shorten 12\n/L16:64/d5\n|48"},
                   {"13q4", "$shorten 24\n/L16:64/c7\n|48"},
                   {"0aa4",
                    "The highest allowed octave is 7, and only for the 'c',  found note g, octave "
                    "8 in measure 3"},
                   {"14q4",
                    "The highest allowed octave is 7, and only for the 'c',  found note d, octave "
                    "7 in measure 3"},
                   {"0bbbb4", "The lowest allowed octave is 2, found octave -2 in measure 3"},
               });
  n.pitch.cur_clef = 3;
  expect_steps(n, {{"0b4", "The lowest allowed octave is 2, found octave 1 in measure 3"}});
}

TEST(Note, Transposition) {
  Notes n;
  n.notes.cur_transposition = 2;
  expect_steps(n, {{"6q4", "$shorten 24\n/L16:64/d6\n|48"}});
  n.pitch.cur_key_sharp_flat = -1;
  n.pitch.cur_key_num_sharp_flat = 1;
  expect_steps(n, {{"5q4", "$shorten 24\n/L16:64/c6\n|48"}});
  n.pitch = PitchState{};
  n.notes.cur_transposition = -2;
  expect_steps(n, {{"6q4", "$shorten 24\n/L16:64/a+5\n|48"},
                   // d7 is off the staff's memory, yet legal once moved down to c7
                   {"14q4", "$shorten 24\n/L16:64/c7\n|48"}});
  EXPECT_EQ('d', n.notes.prev_note);  // the note as written is what ',' repeats
  EXPECT_EQ('7', n.notes.prev_octave);
  n.notes.cur_transposition = -3;
  expect_steps(n, {{"14(q4", "$shorten 24\n/L16:64/c7\n|48"},
                   {"14q4", "$shorten 24\n/L16:64/c7\n|48"}});  // its sharp holds, off the staff
  clear_sticky_accid(n.notes);                                  // until the bar line
  expect_steps(n, {{"14q4", "$shorten 24\n/L16:64/b6\n|48"}});
  n.notes.cur_transposition = 13;
  expect_steps(n, {{"13q4",
                    "Transposition resulted in a note out of range.  The legal range is 0 to 60, "
                    "the generated note is 73, in measure 3"}});
}

TEST(Note, MalformedTokens) {
  struct Case {
    const char* token;
    const char* message;
    const char* next = "/";
  } const cases[] = {
      {"r", "No duration found for rest in measure 3"},
      {"hq", "No pitch found for note hq in measure 3"},
      {"7q", "No duration found for note 7q in measure 3"},
      {"r,4", "You cannot specify a duration with the , in measure 3"},
      {"7,4", "You cannot specify a duration with the , in measure 3"},
      {"16q4", "oops, can't handle pitch numbers greater then 15 in measure 3.  Fix me!"},
      {"99999999999999999999q4",
       "oops, can't handle pitch numbers greater then 15 in measure 3.  Fix me!"},
      {"16,.", "oops, can't handle pitch numbers greater then 15 in measure 3.  Fix me!"},
      {"7,.((", "You cannot specify a dot with a comma in measure 3"},
      {"7((--4", "Gah, who used a double sharp in measure 3?  Fix me to deal with them"},
      {"7--((4", "Gah, who used a double flat in measure 3?  Fix me to deal with them"},
      {"r,((", "Gah, who used a double sharp in measure 3?  Fix me to deal with them"},
      {"7q0", "A note value of 0 has no length, in measure 3"},
      {"r0", "A note value of 0 has no length, in measure 3"},
      {"7q4", "EOF while reading token", ""},    // the input ends during the lookahead
      {"0aaq4", "EOF while reading token", ""},  // before the octave is checked
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    Notes n;
    n.notes.prev_note = 'd';
    n.notes.prev_accid = '=';
    n.notes.prev_octave = '6';
    n.notes.prev_dur = 8;
    EXPECT_EQ(c.message, n.translate(c.token, c.next));
  }
  Notes n;
  expect_steps(n, {{"7)((8", "$shorten 6\n/L8:64/d6\n|24"},  // ')' silences the double signs
                   {"7q99999999999999999999", "0"}});
}

TEST(Note, CommaWithoutAnyEarlierNote) {
  // The missing note is told only where it would be used: a comma token's own faults come
  // first, in their order, and so does the end of input met while looking ahead.
  struct Case {
    const char* token;
    long long transposition;
    const char* next;
    const char* message;
  } const cases[] = {
      {",", 0, "/", "No previous note to repeat with the , in measure 3"},
      {",c", 5, "/", "No previous note to repeat with the , in measure 3"},
      {",ab", 0, "/", "No previous note to repeat with the , in measure 3"},
      {",.", 0, "/", "You cannot specify a dot with a comma in measure 3"},
      {",((", 5, "/", "Gah, who used a double sharp in measure 3?  Fix me to deal with them"},
      {",", 0, "", "EOF while reading token"},
      {",", 5, "", "No previous note to repeat with the , in measure 3"},  // before the lookahead
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    Notes n;
    n.notes.cur_transposition = c.transposition;
    EXPECT_EQ(c.message, n.translate(c.token, c.next));
  }
  Notes n;
  EXPECT_EQ("0", n.translate("r,"));  // with no length yet it fills nothing
}

// "lines|result" of a token as read, translated through the Token overload; followed in the
// input by `next`.
std::string translate_token(Notes& n, const std::string& text, const std::string& next) {
  std::istringstream in(next);
  ByteSource src(in, "test");
  Failure failure;
  TokenReader reader(src, failure);
  NoteContext ctx{n.notes, n.pitch, reader, failure};
  char room[kNoteLineMax];
  NoteLine line{room};
  const int filled = parse_note(ctx, make_token(text), line);
  if (filled == kNoteFailed) return text_of(failure, 3);
  return filled == 0 ? "0" : std::string(line.view()) + "|" + std::to_string(filled);
}

// A note translated through the Token overload (whose signs are looked up by the token's text,
// and kept for the next time the same text comes) against the text overload (which examines the
// text every time), each with its own state, over many tokens of random signs. Many tokens share
// a place in the table of remembered signs, so tokens are also replaced there, and come back.
TEST(Note, TokensAsReadTranslateAsTheirText) {
  const std::string signs = "0123456789012345678()-.,xcabrglehqs,)(";
  uint32_t seed = 12345;
  auto next_random = [&seed](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  const std::string letters = "()-.xcabglehqs";
  auto some = [&](const std::string& from, uint32_t most) {
    std::string t;
    for (uint32_t n = next_random(most + 1); n > 0; --n) t += from[next_random(from.size())];
    return t;
  };
  std::vector<std::string> texts;
  for (int i = 0; i < 600; ++i) {
    // Mostly shaped like notes, rests and commas; some of any signs, some past 16 characters.
    const std::string pitch = std::to_string(next_random(i % 9 == 0 ? 40 : 16));
    const std::string value = std::to_string(1 << next_random(i % 11 == 0 ? 9 : 7));
    switch (i % 6) {
      case 0:
      case 1:
        texts.push_back(pitch + some(letters, 3) + value + some("..x", 2));
        break;
      case 2:
        texts.push_back((i % 4 == 0 ? "" : pitch) + some(letters, 2) + "," + some(letters, 2));
        break;
      case 3:
        texts.push_back((i % 4 == 0 ? "r," : "r") + value + some(".xc", 2));
        break;
      case 4:
        texts.push_back(some(signs, 19) + "9");
        break;
      default:
        texts.push_back(pitch + some(letters, 14) + value);
        break;
    }
  }
  Notes by_text;
  Notes by_token;
  int translated = 0;
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < texts.size(); ++i) {
      const std::string& text = texts[(i * 7 + round) % texts.size()];
      const std::string next = (i % 3 == 0) ? "r4" : "/";
      SCOPED_TRACE(text);
      const std::string got = translate_token(by_token, text, next);
      ASSERT_EQ(by_text.translate(text, next), got);
      translated += got.find('|') != std::string::npos;
      if (i % 16 == 15) {
        clear_sticky_accid(by_text.notes);
        clear_sticky_accid(by_token.notes);
      }
    }
  }
  EXPECT_GT(translated, 400);  // not only malformed tokens
}

// Tokens that the table of remembered signs must tell apart: thousands that begin alike, so
// that many share a place in the table, and tokens of about 16 characters that differ only
// at their end.
TEST(Note, RememberedSignsAreNeverAnotherTokens) {
  std::vector<std::string> texts;
  const std::string letters = "ehlqs";
  for (int i = 0; i < 3125; ++i) {
    std::string t = "7eeeeeee";
    for (int k = 0, rest = i; k < 5; ++k, rest /= 5) t += letters[static_cast<size_t>(rest % 5)];
    texts.push_back(t + "4");
  }
  for (const char* tail : {"", ".", "q", "l", "x.", "ql", "..", "h"}) {
    for (size_t es = 8; es <= 16; ++es) {
      std::string t(1, '7');
      texts.push_back(t.append(es, 'e').append("4").append(tail));
    }
  }
  Notes by_text;
  Notes by_token;
  for (int round = 0; round < 2; ++round) {
    for (const std::string& text : texts) {
      SCOPED_TRACE(text);
      ASSERT_EQ(by_text.translate(text), translate_token(by_token, text, "/"));
    }
  }
}

}  // namespace
}  // namespace pn2tavix::detail
