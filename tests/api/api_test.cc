// The public functions as a program of someone else's calls them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "pn2tavix/pn2tavix.h"

namespace {

TEST(Api, UnusableStreamsEndWithOneClearMessage) {
  const std::string piece = "Minuet/ units 8 1 6q4/ end\n";
  std::istringstream failed_in(piece);
  failed_in.setstate(std::ios::failbit);
  std::ifstream missing("/nonexistent/piece.pdp1");
  std::istream no_buffer_in(nullptr);
  std::istringstream good_in(piece);
  std::ostringstream failed_out;
  failed_out.setstate(std::ios::badbit);
  std::ostream no_buffer_out(nullptr);
  struct Case {
    std::istream& in;
    std::ostream* out;  // nullptr: a working one
    const char* message;
  } const cases[] = {
      {no_buffer_in, nullptr, "pn2tavix: Cannot read the input: the stream has no buffer\n"},
      {failed_in, nullptr, "pn2tavix: Cannot read the input: the stream has already failed\n"},
      {missing, nullptr, "pn2tavix: Can't open file: the input file stream is not open\n"},
      {good_in, &no_buffer_out, "pn2tavix: Cannot write the output: the stream has no buffer\n"},
      {good_in, &failed_out, "pn2tavix: Cannot write the output: the stream has already failed\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    std::ostringstream out, err;
    EXPECT_EQ(1, pn2tavix::convert(c.in, c.out ? *c.out : out, err));
    EXPECT_EQ(c.message, err.str());
    EXPECT_EQ("", out.str());
  }
  // From a C stream: no stream at all, and a working one into a stream that has failed.
  std::ostringstream out, err;
  EXPECT_EQ(1, pn2tavix::convert(static_cast<std::FILE*>(nullptr), out, err, "conv"));
  EXPECT_EQ(1, pn2tavix::convert(stdin, failed_out, err, "conv"));
  EXPECT_EQ(
      "conv: Cannot read the input: the C stream is null\n"
      "conv: Cannot write the output: the stream has already failed\n",
      err.str());
  // And into a result.
  const pn2tavix::Result r = pn2tavix::convert(missing);
  ASSERT_EQ(1u, r.messages.size());
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(pn2tavix::Code::kCannotOpen, r.messages[0].code);
  EXPECT_FALSE(r.messages[0].at);
}

}  // namespace

namespace {

std::string place(const std::optional<pn2tavix::Position>& at) {
  if (!at) return "-";
  return std::to_string(at->line) + ":" + std::to_string(at->column) + ":" +
         std::to_string(at->offset);
}

// Where each kind of message is placed: the first byte of the title or token being handled
// (a statement's argument where the argument is at fault), the bar line or statement that
// closed a measure that does not add up, the end for the end of input. A token read ahead
// never moves the place of a message about the token before it.
TEST(Api, EveryMessageIsPlaced) {
  using pn2tavix::Code;
  struct Case {
    std::string input;
    Code code;
    const char* place;  // line:column:offset
    int measure;
    int voice;
  } const cases[] = {
      {"\n  ", Code::kNoTitle, "2:3:3", 0, 0},  // the end
      {"  /x", Code::kNoTitle, "1:3:2", 0, 0},  // an empty title: its '/'
      {"\n\n" + std::string(256, 't') + "/", Code::kTitleTooLong, "3:1:2", 0, 0},
      {"T/ units 8\n1 4q4", Code::kEndOfInput, "2:6:16", 1, 1},  // ended while looking ahead
      {std::string("T/ a\0", 5), Code::kNulByte, "1:5:4", 1, 1},
      {"T/ units 8\n  " + std::string(80, 'x'), Code::kTokenTooLong, "2:3:13", 1, 1},
      {"T/ units 8 rest 5001", Code::kTooManyMeasures, "1:12:11", 5001, 1},
      {"T/ units 8\n1 4q8 /", Code::kMeasureCount, "2:7:17", 1, 1},
      {"T/ 1 4q4/", Code::kNoUnits, "1:9:8", 1, 1},  // the bar line split off the note
      {"T/ units 16\n1 2q4 2q4/\n3 2q4", Code::kMeasureNumber, "3:1:23", 2, 1},
      {"T/ units 16 end\nU/ units 16\n  1 2q4 2q4/\n3", Code::kMeasureNumber, "4:1:41", 2, 2},
      {"T/ key 3", Code::kBadKey, "1:8:7", 1, 1},
      {"T/ tempo 683", Code::kTempoTooHigh, "1:10:9", 1, 1},
      {"T/ tempo 0", Code::kTempoZero, "1:10:9", 1, 1},
      {"T/ units 99999999999", Code::kNumberOutOfRange, "1:10:9", 1, 1},
      {"T/ units 8 copy 1 1", Code::kCopyNotWritten, "1:12:11", 1, 1},
      {"T/ units 16 4q4 4q4/ copy 1 1", Code::kCopyNotOpened, "1:22:21", 2, 1},
      {"T/ units 8 r", Code::kRestWithoutDuration, "1:12:11", 1, 1},
      {"T/ hq", Code::kNoteWithoutPitch, "1:4:3", 1, 1},
      {"T/ 7q", Code::kNoteWithoutDuration, "1:4:3", 1, 1},
      {"T/ 7,4", Code::kDurationWithComma, "1:4:3", 1, 1},
      {"T/ 16q4 /", Code::kPitchTooHigh, "1:4:3", 1, 1},
      {"T/ 7q4 ,. /", Code::kDotWithComma, "1:8:7", 1, 1},
      {"T/ 7((4", Code::kDoubleSharp, "1:4:3", 1, 1},
      {"T/ 7--4", Code::kDoubleFlat, "1:4:3", 1, 1},
      {"T/ up 13 13q4 /", Code::kTransposedOutOfRange, "1:10:9", 1, 1},
      {"T/ bass 0b4 /", Code::kOctaveTooLow, "1:9:8", 1, 1},
      {"T/ 14q4 /", Code::kOctaveTooHigh, "1:4:3", 1, 1},  // not the '/' read ahead
      {"T/ 7q0 /", Code::kZeroNoteValue, "1:4:3", 1, 1},
      {"T/ , /", Code::kNoPreviousNote, "1:4:3", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const pn2tavix::Result r = pn2tavix::convert(c.input);
    ASSERT_FALSE(r.messages.empty());
    const pn2tavix::Message& m = r.messages.back();
    EXPECT_EQ(static_cast<int>(c.code), static_cast<int>(m.code)) << m.text;
    EXPECT_EQ(c.place, place(m.at));
    EXPECT_EQ(c.measure, m.measure);
    EXPECT_EQ(c.voice, m.voice);
    EXPECT_EQ(r.status, m.status);
    EXPECT_EQ(c.code == Code::kMeasureNumber ? 2 : 1, r.status);
    EXPECT_TRUE(m.printed);
    EXPECT_LE(m.at->offset, c.input.size());
  }
}

// Warnings, and the hints that pn2tavix-check prints under a message: each as
// "place text", hints indented. Warnings of the checker alone are not printed by the program.
TEST(Api, WarningsAndHints) {
  struct Case {
    const char* input;
    const char* messages;
  } const cases[] = {
      {"T/ units 8 1 4q4 end",
       "1:18:17 measure 1 of voice 1 is never checked: \"end\" comes before its bar line\n"
       "  1:12:11 measure 1 began here\n"},
      {"Minuet\nin G/ end",
       "1:1:0 the title runs over more than one line: is its '/' missing?\n"
       "  2:5:11 the title ends here\n"},
      {"Minuet units 8 1 6q4/ end",
       "1:1:0 the title holds the statement word \"units\": is its '/' missing?\n"
       "  1:21:20 the title ends here\n"},
      {"The end of it, up and down/ end", ""},  // statement words without their arguments
      {"T/ units 8 7q128 r, 4q4/ end",
       "1:12:11 7q128 has no length and is left out of the output: its note value is above 64\n"
       "1:18:17 r, has no length and is left out of the output: it repeats a note of no length\n"},
      {"T/ tempo -5 end", "1:10:9 tempo -5 is negative: it writes \"$tempo -2288\"\n"},
      {"T/ units 16 1 4q4 rest 0 4q4/ end",
       "1:19:18 \"rest\" command given in a non-empty measure (printed)\n"},
      {"T/ units 16\n1 4q4 2q8/",
       "2:10:21 found 72 192th notes of music, expected 96 in measure 1, voice 1 (printed)\n"
       "  - measure 1 is short by an eighth (24 192nds)\n"
       "  2:1:12 measure 1 began here\n"},
      {"T/ units 16\n1 4q4 2q4./",
       "2:11:22 found 120 192th notes of music, expected 96 in measure 1, voice 1 (printed)\n"
       "  - measure 1 is long by an eighth (24 192nds)\n"
       "  2:1:12 measure 1 began here\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const pn2tavix::Result r = pn2tavix::convert(c.input);
    std::string seen;
    for (const pn2tavix::Message& m : r.messages) {
      seen += place(m.at) + " " + m.text + (m.printed ? " (printed)" : "") + "\n";
      for (const pn2tavix::Hint& h : m.hints) seen += "  " + place(h.at) + " " + h.text + "\n";
    }
    EXPECT_EQ(c.messages, seen);
  }
}

// Conversions on several threads at once, as the header allows: every golden input converted
// by four threads, each many times over and in its own order, must give what one conversion
// alone gives. (The sanitizer build runs this too.)
TEST(Api, ConversionsRunOnSeveralThreadsAtOnce) {
  std::vector<std::string> inputs;
  for (const auto& e : std::filesystem::recursive_directory_iterator(PN2TAVIX_GOLDEN_DIR)) {
    if (e.path().extension() != ".in") continue;
    std::ifstream f(e.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  }
  ASSERT_GT(inputs.size(), 100u);
  std::vector<pn2tavix::Result> alone;
  for (const std::string& in : inputs) alone.push_back(pn2tavix::convert(in));
  constexpr size_t kThreads = 4;
  std::vector<size_t> differences(kThreads, 0);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 5; ++round) {
        for (size_t k = 0; k < inputs.size(); ++k) {
          const size_t i = (k * (2 * t + 1) + round) % inputs.size();
          const pn2tavix::Result r = pn2tavix::convert(inputs[i]);
          const bool same = r.status == alone[i].status && r.output == alone[i].output &&
                            r.messages.size() == alone[i].messages.size();
          differences[t] += same ? 0 : 1;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(std::vector<size_t>(kThreads, 0), differences);
}

}  // namespace
