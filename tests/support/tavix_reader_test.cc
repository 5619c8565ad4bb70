// The tests' reader of tavix text, set beside what the library says of the same conversion:
// on every golden case that converts, the timeline agrees with the text it wrote, and each note
// the reader finds is one the library wrote, with its voice, measure, place in the measure,
// length and pitch.
#include "support/tavix_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>

#include "pn2tavix/pn2tavix.h"

namespace fs = std::filesystem;

namespace pn2tavix::test_support {
namespace {

// Converts every golden case with `options` and hands each that converts, with the reader's
// reading of its text, to `check`; gives how many converted.
template <typename Check>
int each_converted_golden(const Options& options, Check check) {
  int pieces = 0;
  for (const auto& e : fs::recursive_directory_iterator(PN2TAVIX_GOLDEN_DIR)) {
    if (e.path().extension() != ".in") continue;
    std::ifstream f(e.path(), std::ios::binary);
    std::ostringstream input;
    input << f.rdbuf();
    const Result r = convert(input.str(), options);
    if (r.status != 0) continue;
    SCOPED_TRACE(e.path().string());
    ++pieces;
    check(r, read_tavix(r.output));
  }
  return pieces;
}

// The library's timeline of a conversion says what the text it wrote says, note for note.
TEST(Timeline, SaysWhatTheTextItWroteSays) {
  Options options;
  options.timeline = true;
  const int pieces = each_converted_golden(options, [](const Result& r, const TavixText& text) {
    EXPECT_EQ(r.title, text.title);
    EXPECT_EQ(first_difference(r.timeline, text), "");
  });
  EXPECT_GT(pieces, 50);
}

TEST(TavixReader, ReadsTheNotesTheLibraryWrote) {
  Options options;
  options.note_events = true;
  const int pieces = each_converted_golden(options, [](const Result& r, const TavixText& text) {
    EXPECT_TRUE(text.complete);
    // Where each measure begins: closed ones as the reader found them; the one that "end"
    // leaves open where the last closed one ended.
    std::map<std::pair<std::int64_t, int>, std::int64_t> starts;
    std::map<std::int64_t, std::int64_t> open_at;
    for (const TimedMeasure& m : text.timeline.measures) {
      starts[{m.voice, m.number}] = m.start;
      open_at[m.voice] = m.start + m.length;
    }
    ASSERT_EQ(text.timeline.notes.size(), r.notes.size());
    for (size_t i = 0; i < r.notes.size(); ++i) {
      const NoteEvent& want = r.notes[i];
      const TimedNote& got = text.timeline.notes[i];
      const auto start = starts.find({want.voice, want.measure});
      const std::int64_t measure_start =
          start != starts.end() ? start->second : open_at[want.voice];
      EXPECT_EQ(got.voice, want.voice) << "note " << i;
      EXPECT_EQ(got.measure, want.measure) << "note " << i;
      EXPECT_EQ(got.start, measure_start + 2 * want.start) << "note " << i;
      EXPECT_EQ(got.length, 2 * want.length) << "note " << i;
      EXPECT_EQ(got.key, want.semitone + 24) << "note " << i;
      EXPECT_EQ(got.letter, want.letter) << "note " << i;
      EXPECT_EQ(got.accidental, want.accidental) << "note " << i;
      EXPECT_LE(got.sounding, got.length) << "note " << i;
    }
  });
  EXPECT_GT(pieces, 50);
}

// A title may hold the head's own last lines: the head ends at the last of them.
TEST(TavixReader, ATitleHoldingTheHeadsLastLines) {
  const std::string title = "A\"\n$tempo 67\n$resolution 96\n}\n\n@body {\n@channel 1 {";
  const Result r = convert(title + "/ units 8 1 4q4/ end\n");
  ASSERT_EQ(r.status, 0);
  const TavixText text = read_tavix(r.output);
  EXPECT_EQ(text.title, title);
  EXPECT_TRUE(text.complete);
  EXPECT_EQ(text.timeline.notes.size(), 1u);
}

}  // namespace
}  // namespace pn2tavix::test_support
