// One source of truth: on every golden case that converts, the library's timeline says what
// the tavix text it wrote says, as the tests' reader reads that text. What the text cannot say
// (places, written values, clefs, keys, the kind of a measure) is the library's alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pn2tavix/pn2tavix.h"
#include "support/tavix_reader.h"

namespace fs = std::filesystem;

namespace pn2tavix::test_support {
namespace {

TEST(Timeline, SaysWhatTheTextItWroteSays) {
  int pieces = 0;
  for (const auto& e : fs::recursive_directory_iterator(PN2TAVIX_GOLDEN_DIR)) {
    if (e.path().extension() != ".in") continue;
    std::ifstream f(e.path(), std::ios::binary);
    std::ostringstream input;
    input << f.rdbuf();
    Options options;
    options.timeline = true;
    const Result r = convert(input.str(), options);
    if (r.status != 0) continue;
    SCOPED_TRACE(e.path().string());
    ++pieces;
    const TavixText text = read_tavix(r.output);
    const Timeline& got = r.timeline;
    const Timeline& want = text.timeline;
    EXPECT_EQ(r.title, text.title);

    ASSERT_EQ(got.voices.size(), want.voices.size());
    for (size_t i = 0; i < want.voices.size(); ++i) {
      const TimedVoice &g = got.voices[i], &w = want.voices[i];
      EXPECT_EQ(g.voice, w.voice);
      EXPECT_EQ(g.pan, w.pan);
      EXPECT_EQ(g.patch, w.patch);
      EXPECT_EQ(g.program, w.program);
      EXPECT_EQ(g.reverb, w.reverb);
      EXPECT_EQ(g.chorus, w.chorus);
      EXPECT_EQ(g.end, w.end) << "voice " << w.voice;
      if (i == 0) {
        EXPECT_EQ(g.title, w.title);
      }
      ASSERT_EQ(g.tempos.size(), w.tempos.size()) << "voice " << w.voice;
      for (size_t k = 0; k < w.tempos.size(); ++k) {
        EXPECT_EQ(g.tempos[k].tick, w.tempos[k].tick);
        EXPECT_EQ(g.tempos[k].tempo, w.tempos[k].tempo);
        EXPECT_EQ(g.tempos[k].measure, w.tempos[k].measure);
      }
    }
    ASSERT_EQ(got.notes.size(), want.notes.size());
    for (size_t i = 0; i < want.notes.size(); ++i) {
      const TimedNote &g = got.notes[i], &w = want.notes[i];
      EXPECT_EQ(g.voice, w.voice) << "note " << i;
      EXPECT_EQ(g.measure, w.measure) << "note " << i;
      EXPECT_EQ(g.start, w.start) << "note " << i;
      EXPECT_EQ(g.length, w.length) << "note " << i;
      EXPECT_EQ(g.sounding, w.sounding) << "note " << i;
      EXPECT_EQ(g.key, w.key) << "note " << i;
      EXPECT_EQ(g.letter, w.letter) << "note " << i;
      EXPECT_EQ(g.accidental, w.accidental) << "note " << i;
      EXPECT_EQ(g.octave, w.octave) << "note " << i;
      EXPECT_EQ(g.written.triplet, w.written.triplet) << "note " << i;
    }
    ASSERT_EQ(got.rests.size(), want.rests.size());
    for (size_t i = 0; i < want.rests.size(); ++i) {
      const TimedRest &g = got.rests[i], &w = want.rests[i];
      EXPECT_EQ(g.voice, w.voice) << "rest " << i;
      EXPECT_EQ(g.measure, w.measure) << "rest " << i;
      EXPECT_EQ(g.start, w.start) << "rest " << i;
      EXPECT_EQ(g.length, w.length) << "rest " << i;
    }
    // The measure-length changes are the text's; clefs and keys it does not write.
    std::vector<TimedChange> lengths;
    for (const TimedChange& c : got.changes) {
      if (c.kind == TimedChange::Kind::kMeasureLength) lengths.push_back(c);
    }
    ASSERT_EQ(lengths.size(), want.changes.size());
    for (size_t i = 0; i < lengths.size(); ++i) {
      EXPECT_EQ(lengths[i].voice, want.changes[i].voice) << "change " << i;
      EXPECT_EQ(lengths[i].tick, want.changes[i].tick) << "change " << i;
      EXPECT_EQ(lengths[i].measure, want.changes[i].measure) << "change " << i;
      EXPECT_EQ(lengths[i].value, want.changes[i].value) << "change " << i;
    }
    ASSERT_EQ(got.measures.size(), want.measures.size());
    for (size_t i = 0; i < want.measures.size(); ++i) {
      const TimedMeasure &g = got.measures[i], &w = want.measures[i];
      EXPECT_EQ(g.voice, w.voice) << "measure " << i;
      EXPECT_EQ(g.number, w.number) << "measure " << i;
      EXPECT_EQ(g.start, w.start) << "measure " << i;
      EXPECT_EQ(g.length, w.length) << "measure " << i;
    }
  }
  EXPECT_GT(pieces, 50);
}

}  // namespace
}  // namespace pn2tavix::test_support
