// The public functions as a program of someone else's calls them.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "pn2tavix/pn2tavix.h"

namespace {

// A caller's stream buffer that throws, after the bytes it holds when reading.
class ThrowingBuf : public std::stringbuf {
 public:
  using std::stringbuf::stringbuf;

 protected:
  int_type underflow() override {
    const int_type c = std::stringbuf::underflow();
    if (traits_type::eq_int_type(c, traits_type::eof())) throw std::runtime_error("boom");
    return c;
  }
  std::streamsize xsputn(const char*, std::streamsize) override {
    throw std::runtime_error("boom");
  }
};

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
  ThrowingBuf throws_reading("Minuet/ units 8 1 6q4/");
  std::istream throwing_in(&throws_reading);
  ThrowingBuf throws_writing;
  std::ostream throwing_out(&throws_writing);
  std::istringstream good_in2(piece);
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
      {throwing_in, nullptr, "pn2tavix: Error reading standard input: boom\n"},
      {good_in2, &throwing_out, "pn2tavix: Error writing standard output\n"},
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
      "conv: Cannot read the input: the C stream is a null pointer\n"
      "conv: Cannot write the output: the stream has already failed\n",
      err.str());
  // And into a result.
  const pn2tavix::Result r = pn2tavix::convert(missing);
  ASSERT_EQ(1u, r.messages.size());
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(pn2tavix::Code::kCannotOpen, r.messages[0].code);
  EXPECT_FALSE(r.messages[0].at);
  const pn2tavix::Result null_file = pn2tavix::convert(static_cast<std::FILE*>(nullptr));
  ASSERT_EQ(1u, null_file.messages.size());
  EXPECT_EQ(1, null_file.status);
  EXPECT_EQ("Cannot read the input: the C stream is a null pointer", null_file.messages[0].text);
}

// A caller's stream buffer takes the text as it is made, in place of Result::output: the same
// bytes, before an error too, and a buffer that fails or throws ends the conversion with the
// write error.
TEST(Api, WritesTheTextToACallersStreamBuffer) {
  const std::string big = [] {
    std::string piece = "Long/ units 8\n";
    for (int m = 1; m <= 4000; ++m) piece += std::to_string(m) + " 6q4 / ";
    return piece + "end\n";
  }();
  for (const std::string& piece : {std::string("Minuet/ units 8 1 6q4/ end\n"),
                                   std::string("M/ units 8 1 6q4/ 3 6q4/ end\n"), big}) {
    const pn2tavix::Result kept = pn2tavix::convert(piece);
    std::stringbuf to;
    const pn2tavix::Result written = pn2tavix::convert(piece, {.write_to = &to});
    EXPECT_EQ(kept.output, to.str());  // more than one block of output for the long piece
    EXPECT_EQ("", written.output);
    EXPECT_EQ(kept.status, written.status);
    EXPECT_EQ(kept.messages.size(), written.messages.size());
  }
  ThrowingBuf throws;
  struct NoRoom : std::streambuf {  // takes nothing: std::streambuf's own overflow fails
  } no_room;
  for (std::streambuf* failing :
       {static_cast<std::streambuf*>(&throws), static_cast<std::streambuf*>(&no_room)}) {
    const pn2tavix::Result r = pn2tavix::convert(big, {.write_to = failing});
    EXPECT_EQ(1, r.status);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(pn2tavix::Code::kWriteError, r.messages.back().code);
  }
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
      {"\n\n" + std::string(256, 't') + "/", Code::kTitleTooLong, "3:1:2", 0, 1},
      // A title's message belongs to the voice it begins, before any measure of it.
      {"T/ units 8 1 4q4/ 2 4q4/ end\n" + std::string(256, 't'), Code::kTitleTooLong, "2:1:29", 0,
       2},
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
      {"T/ units 8 1 4q4 end",  // placed at the music never checked
       "1:12:11 measure 1 of voice 1 is never checked: \"end\" comes before its bar line\n"
       "  1:18:17 the voice ends here, before the bar line of measure 1\n"},
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
       "  2:7:18 this note runs over the end of measure 1 by an eighth (24 192nds)\n"
       "  2:1:12 measure 1 began here\n"},
      {"P/ units 16 1 0q4 rest 1 2 0q4 0q4 / end",
       "1:19:18 \"rest\" command given in a non-empty measure (printed)\n"
       "1:36:35 found 144 192th notes of music, expected 96 in measure 2, voice 1 (printed)\n"
       "  - measure 2 is long by a quarter (48 192nds)\n"
       "  1:13:12 a quarter (48 192nds) was carried from measure 1, which began here\n"
       "  1:19:18 \"rest\" here did not clear it, so it counts in measure 2\n"
       "  1:26:25 measure 2 began here\n"},
      {"P/ units 16 1 0q4 rest 1 end",
       "1:19:18 \"rest\" command given in a non-empty measure (printed)\n"
       "1:13:12 measure 2 of voice 1 is never checked: \"end\" comes before its bar line\n"
       "  1:13:12 a quarter (48 192nds) was carried from measure 1, which began here\n"
       "  1:19:18 \"rest\" here did not clear it, so it counts in measure 2\n"
       "  1:26:25 the voice ends here, before the bar line of measure 2\n"},
      {"P/ units 16 1 0q4 0q4 / 2 0q4 copy 1 1 0q4 rest 1 4 0q4 / end",
       "1:44:43 \"rest\" command given in a non-empty measure (printed)\n"
       "1:57:56 found 144 192th notes of music, expected 96 in measure 4, voice 1 (printed)\n"
       "  - measure 4 is long by a quarter (48 192nds)\n"
       "  1:25:24 a quarter (48 192nds) was carried from measure 2, which began here\n"
       "  1:31:30 \"copy\" here did not clear it, so it counts in measure 4\n"
       "  1:40:39 a quarter (48 192nds) was carried from measure 3, which began here\n"
       "  1:44:43 \"rest\" here did not clear it, so it counts in measure 4\n"
       "  1:51:50 measure 4 began here\n"},
      {"P/ units 16 1 0q4 0q4 2 0q4 0q4 / end",
       "1:23:22 input claims measure 2, but actually on measure 1 (printed)\n"
       "  1:19:18 measure 1 is full after this note: is a bar line missing after it?\n"
       "  1:13:12 measure 1 began here\n"},
      {"P/ units 16 1 0q4 2",
       "1:19:18 input claims measure 2, but actually on measure 1 (printed)\n"
       "  - measure 1 holds a quarter (48 192nds) so far, short by a quarter (48 192nds)\n"
       "  1:13:12 measure 1 began here\n"},
      {"P/ units 16 Adagio 1 6w4 6:4 / end",
       "1:23:22 6w4 holds the letter 'w', which means nothing in a note and is passed over\n"
       "  - the letters of a note are a, b, c, e, g, h, l, q, r, s and x, in lower case\n"},
      {"P/ units 8 1 0q4 / end/ Q/ 9 / end",
       "1:25:24 the piece has ended: what follows, which reads as more music, is never read\n"
       "  1:23:22 the piece ends at this '/': after \"end\", an empty title ends the piece\n"},
      {"P/ units 8 1 0q4 / end / Copied from tape 7, as read in 1964.", ""},  // a note
      {"T/ key 3",
       "1:8:7 bogus parameter 3 for \"key\" statement (printed)\n"
       "  - \"key\" takes \")\" for no key signature, \"(N\" for N sharps or \"-N\" for N flats, N "
       "from 0 to 7\n"},
      {"T/ units 8 1 4q4",
       "1:17:16 EOF while reading token (printed)\n"
       "  1:14:13 voice 1 has no \"end\": its last token is here\n"},
      {"T/ ",
       "1:4:3 EOF while reading token (printed)\n"
       "  1:1:0 voice 1 has no \"end\": nothing follows its title, here\n"},
      {"T/ end Two",
       "1:11:10 EOF while reading token (printed)\n"
       "  1:8:7 the title of voice 2 begins here and never closes: is its '/' missing?\n"},
      {"T/ units 16 4q4 4q4/ 2 4q4 4q4/ 3 4q4 4q4/ 4 4q4 4q4/ 4q4 4q4 / 6 4q4 4q4 / copy 1 7",
       "1:77:76 Cannot copy measure 1 in measure 7, voice 1: it was not opened by its measure "
       "number (printed)\n"
       "  - measures 2 to 4 and 6 can be copied here\n"},
      {"T/ down 41 1q4 /",
       "1:12:11 Transposition resulted in a note out of range.  The legal range is 0 to 60, the "
       "generated note is -1, in measure 1 (printed)\n"
       "  - the treble clef, transposed down 41, allows f5 to f10 as written: pitch numbers 2 to "
       "15 without 'a' or 'b'\n"
       "  - e6, an octave higher, is pitch number 8\n"},
      // A token too long for the memo is examined on its own: the same warning.
      {"P/ units 16 1 6:4 0qqqqqqqqqqqqqqQ4 / end",
       "1:34:33 0qqqqqqqqqqqqqqQ4 holds the letter 'Q', which means nothing in a note and is "
       "passed over\n"
       "  - the letters of a note are a, b, c, e, g, h, l, q, r, s and x, in lower case\n"},
      {"T/ 14q4 /",
       "1:4:3 The highest allowed octave is 7, and only for the 'c',  found note d, octave 7 in "
       "measure 1 (printed)\n"
       "  - the treble clef allows c2 to c7: pitch numbers 0 to 13 without 'a' or 'b'\n"
       "  - d6, an octave lower, is pitch number 7\n"},
      {"T/ bass 0b4 /",
       "1:9:8 The lowest allowed octave is 2, found octave 1 in measure 1 (printed)\n"
       "  - the bass clef allows c2 to c7: pitch numbers 0 to 15 without 'a' or 'b'\n"
       "  - a2, an octave higher, is pitch number 7 with one 'b'\n"},
      {"T/ up 13 13q4 /",
       "1:10:9 Transposition resulted in a note out of range.  The legal range is 0 to 60, the "
       "generated note is 73, in measure 1 (printed)\n"
       "  - the treble clef, transposed up 13, allows b0 to b5 as written: pitch numbers 0 to 5 "
       "without 'a' or 'b'\n"
       "  - c5, two octaves lower, is pitch number 11 with one 'b'\n"},
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

// What the result says of the titles, and of the extent of what each message and hint points
// at: "offset+length" of each, hints after their message.
TEST(Api, TitlesAndTokenLengths) {
  struct Case {
    std::string input;
    const char* titles;  // "voice:offset-end text|" each
    const char* places;
  } const cases[] = {
      // A title holding a line break and what looks like a statement: taken whole, as read.
      {"A\"\n$tempo 5 B/ end", "1:0-13 A\"\n$tempo 5 B|",
       "0+13 [13+1]"},  // the title, the '/' that closed it
      {"  @One/ end Two / end", "1:3-6 One|2:12-16 Two |", ""},
      {"No slash", "1:0-8 No slash|", "8+0 [0+8]"},  // the end of input, the title never closed
      {"T/ 7((4 /", "1:0-1 T|", "3+4"},
      {"T/ units 99999999999", "1:0-1 T|", "9+11"},
      {"T/ tempo 0", "1:0-1 T|", "9+1"},
      {"T/ units 8 copy 1 1", "1:0-1 T|", "11+4 [-+0]"},  // the statement, not its arguments
      {"T/ units 16 1 4q4 rest 0 4q8/ end", "1:0-1 T|", "18+4 28+1 [-+0 12+1]"},
      {"T/ units 8\n  " + std::string(90, 'x'), "1:0-1 T|", "13+80 [13+80]"},
      {std::string("T/ a\0", 5), "1:0-1 T|", "4+1"},
      {std::string(300, 't'), "", "0+256 [0+256]"},
      // What follows the end of the piece, its first word across the end of a block read
      // from a stream (64 KiB).
      {"T/ units 8 1 4q4 / end/" + std::string(65533 - 23, ' ') + "QQQQQQ/", "1:0-1 T|",
       "65533+7 [22+1]"},
  };
  for (const Case& c : cases) {
    for (const bool from_stream : {false, true}) {
      SCOPED_TRACE(c.input.substr(0, 40) + (from_stream ? " (from a stream)" : ""));
      std::istringstream stream(c.input);
      const pn2tavix::Result r =
          from_stream ? pn2tavix::convert(stream) : pn2tavix::convert(c.input);
      std::string titles;
      for (const pn2tavix::Title& t : r.titles) {
        titles += std::to_string(t.voice) + ":" + std::to_string(t.at.offset) + "-" +
                  std::to_string(t.end.offset) + " " + t.text + "|";
      }
      EXPECT_EQ(c.titles, titles);
      EXPECT_EQ(r.titles.empty() ? "" : r.titles[0].text, r.title);
      const auto extent = [](const std::optional<pn2tavix::Position>& at, uint64_t length) {
        return (at ? std::to_string(at->offset) : "-") + "+" + std::to_string(length);
      };
      std::string places;
      for (const pn2tavix::Message& m : r.messages) {
        if (!places.empty()) places += ' ';
        places += extent(m.at, m.length);
        const char* between = " [";
        for (const pn2tavix::Hint& h : m.hints) {
          places += between;
          places += extent(h.at, h.length);
          between = " ";
        }
        if (!m.hints.empty()) places += ']';
      }
      EXPECT_EQ(c.places, places);
    }
  }
  // The first title is the one the output names, as read.
  EXPECT_EQ("A\"\n$tempo 5 B", pn2tavix::convert("A\"\n$tempo 5 B/ end").title);
}

// The timeline in ticks (96 to a quarter): each note's start, length and sounding length after
// its "$shorten", its key (c5 = 60) and written value; rests, measures, tempo and other changes
// per voice; a copied measure repeats the tempo and notes of the one copied.
TEST(Api, TimelineInTicks) {
  pn2tavix::Options options;
  options.timeline = true;
  const pn2tavix::Result r = pn2tavix::convert(
      "Duet/ units 32 1 tempo 134 6q4 r4 5e8. 5e16 4q4 / 2 3c4 3c4 3c4 4q2 / rest 1 copy 1 1 "
      "end\nTwo/ units 8 bass key (2 0q4 / end",
      options);
  ASSERT_EQ(0, r.status);
  const pn2tavix::Timeline& t = r.timeline;
  std::ostringstream seen;
  for (const pn2tavix::TimedVoice& v : t.voices) {
    seen << "voice " << v.voice << " " << v.title << " pan " << v.pan << " end " << v.end
         << " tempos";
    for (const pn2tavix::TempoChange& c : v.tempos) seen << " " << c.tick << "=" << c.tempo;
    seen << "\n";
  }
  for (const pn2tavix::TimedNote& n : t.notes) {
    seen << "note " << n.voice << "." << n.measure << " " << n.start << "+" << n.length << "/"
         << n.sounding << " key " << n.key << " " << n.written.value
         << std::string(static_cast<size_t>(n.written.dots), '.') << (n.written.triplet ? "t" : "")
         << " @" << n.at.offset << "+" << n.token_length << "\n";
  }
  for (const pn2tavix::TimedRest& n : t.rests) {
    seen << "rest " << n.voice << "." << n.measure << " " << n.start << "+" << n.length
         << (n.whole_measure ? " whole" : "") << "\n";
  }
  for (const pn2tavix::TimedMeasure& m : t.measures) {
    seen << "measure " << m.voice << "." << m.number << " " << m.start << "+" << m.length
         << " kind " << static_cast<int>(m.kind) << " from " << m.copied_from << "\n";
  }
  for (const pn2tavix::TimedChange& c : t.changes) {
    seen << "change " << c.voice << " " << c.tick << " kind " << static_cast<int>(c.kind) << " = "
         << c.value << "\n";
  }
  EXPECT_EQ(
      "voice 1 Duet pan 127 end 1536 tempos 0=85 1152=85\n"
      "voice 2 Two pan 127 end 96 tempos\n"
      "note 1.1 0+96/72 key 72 4 @27+3\n"     // c6, a quarter less its last quarter
      "note 1.1 192+72/63 key 71 8. @34+4\n"  // b5, a dotted eighth less an eighth of it
      "note 1.1 264+24/21 key 71 16 @39+4\n"
      "note 1.1 288+96/72 key 69 4 @44+3\n"
      "note 1.2 384+64/56 key 67 4t @52+3\n"  // g5, a triplet quarter: 2/3 of 96
      "note 1.2 448+64/56 key 67 4t @56+3\n"
      "note 1.2 512+64/56 key 67 4t @60+3\n"
      "note 1.2 576+192/144 key 69 2 @64+3\n"
      "note 1.4 1152+96/72 key 72 4 @27+3\n"  // the copy: the tokens copied
      "note 1.4 1344+72/63 key 71 8. @34+4\n"
      "note 1.4 1416+24/21 key 71 16 @39+4\n"
      "note 1.4 1440+96/72 key 69 4 @44+3\n"
      "note 2.1 0+96/72 key 42 4 @115+3\n"  // f+3 in the key of two sharps
      "rest 1.1 96+96\n"
      "rest 1.3 768+384 whole\n"
      "rest 1.4 1248+96\n"
      "measure 1.1 0+384 kind 0 from 0\n"
      "measure 1.2 384+384 kind 0 from 0\n"
      "measure 1.3 768+384 kind 1 from 0\n"
      "measure 1.4 1152+384 kind 2 from 1\n"
      "measure 2.1 0+96 kind 0 from 0\n"
      "change 1 0 kind 2 = 64\n"
      "change 2 0 kind 2 = 16\n"
      "change 2 0 kind 0 = 3\n"
      "change 2 0 kind 1 = 2\n",
      seen.str());
}

// A program that kept a code's number finds the same kind of message under it: codes are
// only ever appended.
TEST(Api, CodesKeepTheirNumbers) {
  using pn2tavix::Code;
  const Code in_order[] = {
      Code::kUsage,
      Code::kCannotOpen,
      Code::kReadError,
      Code::kWriteError,
      Code::kUnreadableInput,
      Code::kUnwritableOutput,
      Code::kOutOfMemory,
      Code::kNoTitle,
      Code::kEndOfInput,
      Code::kNulByte,
      Code::kTokenTooLong,
      Code::kTitleTooLong,
      Code::kTooManyMeasures,
      Code::kMeasureCount,
      Code::kNoUnits,
      Code::kMeasureNumber,
      Code::kBadKey,
      Code::kTempoTooHigh,
      Code::kTempoZero,
      Code::kNumberOutOfRange,
      Code::kCopyNotWritten,
      Code::kCopyNotOpened,
      Code::kCopyTooLong,
      Code::kRestInFullMeasure,
      Code::kRestWithoutDuration,
      Code::kNoteWithoutPitch,
      Code::kNoteWithoutDuration,
      Code::kDurationWithComma,
      Code::kPitchTooHigh,
      Code::kPitchTooLow,
      Code::kDotWithComma,
      Code::kDoubleSharp,
      Code::kDoubleFlat,
      Code::kTransposedOutOfRange,
      Code::kOctaveTooLow,
      Code::kOctaveTooHigh,
      Code::kZeroNoteValue,
      Code::kNoPreviousNote,
      Code::kUncheckedMeasure,
      Code::kSuspectTitle,
      Code::kNoteWithoutLength,
      Code::kNegativeTempo,
      Code::kCheckNoFiles,
      Code::kCheckBadColumns,
      Code::kCheckUnknownOption,
      Code::kCheckUnreadableFolder,
      Code::kCheckEmptyFolder,
      Code::kIgnoredLetter,
      Code::kUnreadInput,
  };
  for (size_t i = 0; i < std::size(in_order); ++i) {
    EXPECT_EQ(static_cast<int>(i), static_cast<int>(in_order[i])) << "code number " << i;
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
