// One source of truth: on every golden case that converts, the library's timeline says what
// the tavix text it wrote says, as the tests' reader reads that text. What the text cannot say
// (places, written values, clefs, keys, the kind of a measure) is the library's alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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
    EXPECT_EQ(r.title, text.title);
    EXPECT_EQ(first_difference(r.timeline, text), "");
  }
  EXPECT_GT(pieces, 50);
}

}  // namespace
}  // namespace pn2tavix::test_support
