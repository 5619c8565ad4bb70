#include "input/token_reader.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace pn2tavix::detail {
namespace {

using enum TokenKind;

// An input that hands over one byte per read, so that the reader never holds enough of it
// to find tokens a window at a time and takes each token byte by byte.
class OneByteAtATime : public std::streambuf {
 public:
  explicit OneByteAtATime(std::string text) : text_(std::move(text)) {}

 protected:
  std::streamsize xsgetn(char* to, std::streamsize n) override {
    if (n <= 0 || pos_ == text_.size()) return 0;
    *to = text_[pos_++];
    return 1;
  }

 private:
  std::string text_;
  size_t pos_ = 0;
};

// Blank space enough behind a short input for its tokens to be found a window at a time.
const std::string kPadding(2 * kWindowSize, ' ');

std::string place(const Position& p) {
  std::string s = "@";
  s.append(std::to_string(p.line)).append(":").append(std::to_string(p.column));
  return s.append(":").append(std::to_string(p.offset));
}

// Reads tokens until the input ends, as "[tok][tok]", or with `kinds` as "[tok|kind|r]" with
// the kind and whether the token holds an 'r'; the end of input shows as "<EOF>". With
// `bytewise` the input is handed over one byte at a time. With `places` every token and the
// error that ends the reading carry their place, as "@line:column:offset".
std::string tokens_of(const std::string& input, bool kinds = false, bool bytewise = false,
                      bool places = false) {
  std::istringstream whole(input);
  OneByteAtATime trickle(input);
  std::istream by_byte(&trickle);
  ByteSource src(bytewise ? by_byte : whole, "test");
  TokenReader r(src);
  std::string seen;
  try {
    for (;;) {
      const Token& t = read_token(r);
      seen.append("[").append(t.view());
      if (kinds)
        seen.append("|")
            .append(std::to_string(static_cast<int>(t.kind)))
            .append(t.has_r ? "|r" : "|");
      if (places) seen += place(t.at);
      seen.append("]");
    }
  } catch (const RunError& e) {
    seen += e.failure.code == Code::kEndOfInput ? "<EOF>" : text_of(e);
    if (places && e.failure.at) seen += place(*e.failure.at);
  }
  return seen;
}

std::string tokens_of_kinds(const std::string& input) { return tokens_of(input, true); }

TEST(TokenReader, RefusesOverlongTokensAndNulBytes) {
  const std::string longest(79, 'x');
  EXPECT_EQ(tokens_of(longest + " "), tokens_of(longest));
  EXPECT_EQ(std::string("[") + longest + "]<EOF>", tokens_of(longest));
  EXPECT_EQ("Token longer than 79 characters", tokens_of(std::string(80, 'x')));
  // The '/' is split off only after the token was read whole.
  EXPECT_EQ("Token longer than 79 characters", tokens_of(std::string(79, 'x') + "/"));
  EXPECT_EQ("[a]NUL byte in the input, which is not a text file",
            tokens_of(std::string("a \0b", 4)));
}

TEST(TokenReader, PeekedTokenIsDeliveredNextInOrder) {
  std::istringstream in("r4/ 7q8");
  ByteSource src(in, "test");
  TokenReader r(src);
  EXPECT_EQ("r4", peek_next_token(r).view());
  EXPECT_EQ("r4", peek_next_token(r).view());  // a second peek consumes nothing more
  const Token& r4 = read_token(r);
  EXPECT_EQ("r4", r4.view());
  EXPECT_EQ("/", peek_next_token(r).view());  // the split '/' follows its token
  EXPECT_EQ("r4", r4.view());                 // and reading it ahead leaves r4 as it was
  EXPECT_EQ("/", read_token(r).view());
  EXPECT_EQ("7q8", read_token(r).view());
}

TEST(TokenReader, NextTokenIsRestOnlyForNoteTokensWithR) {
  struct Case {
    const char* input;
    bool rest;
  } const cases[] = {
      {"r4", true},  {"4r,", true}, {"rest", false},  // a keyword, not a rest token
      {"R4", false},                                  // upper-case R is not a rest
      {"/", false},  {"12", false}, {"FINE", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    ByteSource src(in, "test");
    TokenReader r(src);
    EXPECT_EQ(c.rest, is_next_tok_rest(r));
    EXPECT_EQ(c.input, read_token(r).view());  // and the token is still there to read
  }
}

// Reads the title, then the tokens after it: "result|title|[tok]...<EOF>", or the text of the
// error that ends the reading; after no title, nothing more is read.
std::string title_then_tokens(const std::string& input) {
  std::istringstream in(input);
  ByteSource src(in, "test");
  TokenReader r(src);
  std::string seen;
  try {
    std::string title;
    const int result = read_title(r, title);
    seen.append(std::to_string(result)).append("|").append(title).append("|");
    if (result != 1) return seen;
    for (;;) {
      const Token& t = read_token(r);
      seen.append("[").append(t.view()).append("]");
    }
  } catch (const RunError& e) {
    seen += e.failure.code == Code::kEndOfInput ? "<EOF>" : text_of(e);
  }
  return seen;
}

TEST(TokenReader, ReadsTitlesUpToTheirSlash) {
  const std::string longest(255, 't');
  struct Case {
    std::string input;
    std::string seen;
  } const cases[] = {
      {"@@  My piece /", "1|My piece |<EOF>"},  // '@' and blanks skipped only in front
      {"Song @ 2/", "1|Song @ 2|<EOF>"},
      {"Two\nlines \"q\" %d/x", "1|Two\nlines \"q\" %d|[x]<EOF>"},
      {"Title/units 24", "1|Title|[units][24]<EOF>"},  // the token right after its '/'
      {"No slash at all", "1|No slash at all|<EOF>"},
      {"/rest", "-1||"},  // an empty title
      {"  @ \n", "-1||"},
      {"", "-1||"},
      {longest + "/", "1|" + longest + "|<EOF>"},
      {longest + "t/", "Title longer than 255 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(c.seen, title_then_tokens(c.input));
  }
}

TEST(TokenReader, ClassifiesTokensInOrder) {
  struct Case {
    const char* token;
    TokenKind kind;
  } const cases[] = {
      {"/", TOK_BAR},       {"end", TOK_END},       {"units", TOK_UNITS}, {"treble", TOK_TREBLE},
      {"alto", TOK_ALTO},   {"tenor", TOK_TENOR},   {"bass", TOK_BASS},   {"key", TOK_KEY},
      {"rest", TOK_REST},   {"copy", TOK_COPY},     {"up", TOK_UP},       {"down", TOK_DOWN},
      {"tempo", TOK_TEMPO}, {"l", TOK_ARTIC_L},     {"e", TOK_ARTIC_E},   {"h", TOK_ARTIC_H},
      {"q", TOK_ARTIC_Q},   {"s", TOK_ARTIC_S},     {"007", TOK_NUMBER},  {"END", TOK_UPPER},
      {"L", TOK_UPPER},     {"End", TOK_NOTE},       // keywords match case and all
      {"rests", TOK_NOTE},                           // and only as the whole token
      {"A4", TOK_NOTE},                              // a digit is not an upper-case letter
      {"-3", TOK_NOTE},     {"\xc3\x89", TOK_NOTE},  // bytes above 127 are in neither class
      {"", TOK_NOTE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    EXPECT_EQ(c.kind, parse_token(c.token));
    // A token made from its text, as the note tests make them, is classified the same.
    const Token made = make_token(c.token);
    EXPECT_EQ(c.token, made.view());
    EXPECT_EQ(c.kind, made.kind);
    EXPECT_EQ(std::string_view(c.token).find('r') != std::string_view::npos, made.has_r);
  }
}

// The same, with each token's kind and 'r' found from its text alone.
std::string expected_kinds(const std::vector<std::string>& tokens) {
  std::string seen;
  for (const std::string& t : tokens) {
    seen.append("[").append(t).append("|").append(std::to_string(static_cast<int>(parse_token(t))));
    seen.append(t.find('r') != std::string::npos ? "|r]" : "|]");
  }
  return seen + "<EOF>";
}

TEST(TokenReader, TokensReadWholeOrInPiecesAreTheSame) {
  // Short inputs are read byte by byte; the same tokens followed by enough blank space are
  // found a window at a time. Both must give the same tokens, kinds and splits.
  struct Case {
    const char* input;
    std::vector<std::string> tokens;
  } const cases[] = {
      {"12/", {"12", "/"}},  // a measure number, then its bar line
      {"//", {"/", "/"}},    // a token of two slashes loses one
      {"a//", {"a/", "/"}},  // only one '/' comes off
      {"a// x", {"a/", "/", "x"}},
      {"/", {"/"}},                     // a lone bar line is not split
      {" \t\r\n\v\f r4 ", {"r4"}},      // all six white space characters are skipped
      {"a\vb\fc d", {"a\vb\fc", "d"}},  // but only four of them end a token
      {"r4/\n5", {"r4", "/", "5"}},
      {"", {}},
      {"end units treble alto tenor bass key rest copy up down tempo l e h q s",
       {"end", "units", "treble", "alto", "tenor", "bass", "key", "rest", "copy", "up", "down",
        "tempo", "l", "e", "h", "q", "s"}},
      {"tempa tenoR ends en units7 uni Up UP FINE 007 A4 r, 4r 7q8 rests treble/",
       {"tempa", "tenoR", "ends", "en", "units7", "uni", "Up", "UP", "FINE", "007", "A4", "r,",
        "4r", "7q8", "rests", "treble", "/"}},
      {"123456789012345 1234567890123456 12345678901234567",
       {"123456789012345", "1234567890123456", "12345678901234567"}},
      {"ABCDEFGHIJKLMNO/ abcdefghijklmnop/ x/",
       {"ABCDEFGHIJKLMNO", "/", "abcdefghijklmnop", "/", "x", "/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const std::string expected = expected_kinds(c.tokens);
    EXPECT_EQ(expected, tokens_of_kinds(c.input));
    EXPECT_EQ(expected, tokens_of_kinds(c.input + kPadding));
    std::string surrounded("\n\n  \t");
    surrounded.append(c.input).append("\r\n").append(kPadding.size(), '\n');
    EXPECT_EQ(expected, tokens_of_kinds(surrounded));
  }
}

TEST(TokenReader, FastReadingKeepsItsErrors) {
  const std::string& padding = kPadding;
  std::string token_then_nul = expected_kinds({"a"});
  token_then_nul.replace(token_then_nul.find("<EOF>"), 5,
                         "NUL byte in the input, which is not a text file");
  EXPECT_EQ(token_then_nul, tokens_of_kinds(std::string("a \0b", 4) + padding));
  EXPECT_EQ("NUL byte in the input, which is not a text file",
            tokens_of_kinds(std::string("ab\0c", 4) + padding));
  EXPECT_EQ("Token longer than 79 characters", tokens_of_kinds(std::string(80, 'x') + padding));
  EXPECT_EQ(expected_kinds({std::string(79, 'x')}),
            tokens_of_kinds(std::string(79, 'x') + padding));
}

TEST(TokenReader, TokensAcrossTheEndsOfInputBlocks) {
  // Inputs far longer than one block read from the stream, each shifted by a few bytes, so that
  // the ends of the blocks fall at every place within a token and within the blank space.
  const std::string kinds[] = {
      "7q8", "r4", "/", "12", "4(c8.", "tempo", "rest", "FINE", "0123456789abcdefXYZ",
      "r,",  "e",  "x/"};
  std::vector<std::string> tokens;
  std::string text;
  for (size_t i = 0; text.size() < 140000; ++i) {
    const std::string& t = kinds[(i * 7) % std::size(kinds)];
    text += t;
    text += i % 5 == 0 ? "  \n" : i % 3 == 0 ? "\t" : " ";
    if (t == "x/") {
      tokens.push_back("x");
      tokens.push_back("/");
    } else {
      tokens.push_back(t);
    }
  }
  const std::string expected = expected_kinds(tokens);
  for (size_t shift = 0; shift < 24; ++shift) {
    SCOPED_TRACE(shift);
    EXPECT_EQ(expected, tokens_of_kinds(std::string(shift, ' ') + text));
  }
}

TEST(TokenReader, WindowsGiveWhatByteByByteReadingGives) {
  // Random text of the signs that matter to the reader: white space that ends tokens, white
  // space that does not, bar lines against tokens, keywords, numbers, long tokens and now and
  // then a NUL. Read as a whole (a window at a time wherever a window fits) and one byte at a
  // time, it must give the same tokens and the same error at the same place.
  const std::string pieces[] = {
      " ",
      "\t",
      "\r\n",
      "\n",
      "   ",
      "/",
      "//",
      "\v",
      "\f",
      "r4",
      "7q8.",
      "12",
      "tempo",
      "end",
      "FINE",
      "x",
      "r,",
      "4(c8",
      "@",
      "abcdefghijklmnopq",
      std::string(70, 'y'),
  };
  std::mt19937 random(20261207);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const size_t size = 1 + random() % 600;
    while (text.size() < size) text += pieces[random() % std::size(pieces)];
    if (round % 10 == 9) text.insert(random() % text.size(), 1, '\0');
    if (round % 2 == 1) text += kPadding;
    SCOPED_TRACE(round);
    EXPECT_EQ(tokens_of(text, true, true, true), tokens_of(text, true, false, true));
  }
}

TEST(TokenReader, StampsEachTokenWithItsPlace) {
  // Lines from 1, columns in bytes from 1, offsets from 0; a bar line split off a token has
  // the place of its '/'; the end of input is the place after the last byte.
  struct Case {
    std::string input;
    const char* places;
  } const cases[] = {
      {"a bc", "[a@1:1:0][bc@1:3:2]<EOF>@1:5:4"},
      {"r4/\n  5/ /", "[r4@1:1:0][/@1:3:2][5@2:3:6][/@2:4:7][/@2:6:9]<EOF>@2:7:10"},
      {"\n\n\tx\r\ny\n", "[x@3:2:3][y@4:1:6]<EOF>@5:1:8"},
      {"\xc3\xa9 q", "[\xc3\xa9@1:1:0][q@1:4:3]<EOF>@1:5:4"},  // columns count bytes
      {"a\vb\fc\n d", "[a\vb\fc@1:1:0][d@2:2:7]<EOF>@2:3:8"},
      {std::string("x\n\0", 3), "[x@1:1:0]NUL byte in the input, which is not a text file@2:1:2"},
  };
  for (const Case& c : cases) {
    for (const std::string& input : {c.input, c.input + kPadding}) {
      SCOPED_TRACE(input);
      // Blank space behind the input moves only the end of input.
      const bool padded = input.size() > c.input.size();
      std::string expected = c.places;
      std::string got = tokens_of(input, false, false, true);
      if (padded && expected.find("<EOF>") != std::string::npos) {
        expected = expected.substr(0, expected.find("<EOF>"));
        got = got.substr(0, got.find("<EOF>"));
      }
      EXPECT_EQ(expected, got);
      EXPECT_EQ(tokens_of(input, false, true, true), tokens_of(input, false, false, true));
    }
  }
  // A token read ahead keeps its own place, and leaves the one delivered before as it was.
  std::istringstream in("Title\n/ 7q4 r4/\nend");
  ByteSource src(in, "test");
  TokenReader r(src);
  std::string title;
  ASSERT_EQ(1, read_title(r, title));
  EXPECT_EQ("@1:1:0", place(r.title_at));
  EXPECT_EQ("@2:1:6", place(r.title_end));
  const Token& note = read_token(r);
  EXPECT_TRUE(is_next_tok_rest(r));
  EXPECT_EQ("@2:3:8", place(note.at));
  EXPECT_EQ("@2:7:12", place(read_token(r).at));       // r4
  EXPECT_EQ("@2:9:14", place(peek_next_token(r).at));  // its '/', read ahead
  EXPECT_EQ("@2:9:14", place(read_token(r).at));
  EXPECT_EQ("@3:1:16", place(read_token(r).at));  // end
}

}  // namespace
}  // namespace pn2tavix::detail
