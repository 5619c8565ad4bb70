// Places as each kind of editor counts their columns.
#include <gtest/gtest.h>

#include <string_view>

#include "pn2tavix/pn2tavix.h"

namespace {

using pn2tavix::ColumnMode;

TEST(Locate, EachModeLandsOnTheToken) {
  const struct {
    const char* what;
    std::string_view input;
    std::string_view token;  // its first place in the input is the one located
    std::uint64_t line;
    std::uint64_t bytes, chars, display;  // columns
  } cases[] = {
      {"tab", "P/\tunits 16", "units", 1, 4, 4, 9},
      {"tabs after text", "P/ x\t\ty", "y", 1, 7, 7, 17},
      {"two-byte UTF-8", "\xC3\x89tude f\xC3\xBCr/ units", "units", 1, 14, 12, 12},
      {"wide characters", "\xE6\x9B\xB2/\tunits", "units", 1, 6, 4, 9},
      {"combining mark", "e\xCC\x81/ units", "units", 1, 6, 5, 4},
      {"bytes that are not UTF-8", "\xFF\xE6\x9B/ units", "units", 1, 6, 6, 6},
      {"byte-order mark", "\xEF\xBB\xBFP/ units", "units", 1, 7, 4, 4},
      {"byte-order mark, its own place", "\xEF\xBB\xBFP/", "\xEF", 1, 1, 1, 1},
      {"byte-order mark on line 2 is a character", "P/\n\xEF\xBB\xBFunits", "units", 2, 4, 2, 1},
      {"CR alone", "P/\runits 16\r1 0q4", "0q4", 3, 3, 3, 3},
      {"CR LF", "P/\r\nunits 16\r\n1\t0q4", "0q4", 3, 3, 3, 9},
      {"the CR of CR LF", "P/\r\nunits", "\r", 1, 3, 3, 3},
      {"the end", "P/ end\n", "", 2, 1, 1, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const size_t offset = c.token.empty() ? c.input.size() : c.input.find(c.token);
    const std::uint64_t columns[] = {c.bytes, c.chars, c.display};
    const ColumnMode modes[] = {ColumnMode::kBytes, ColumnMode::kChars, ColumnMode::kDisplay};
    for (int m = 0; m < 3; ++m) {
      const pn2tavix::Position p = pn2tavix::locate(c.input, offset, modes[m]);
      EXPECT_EQ(c.line, p.line) << "mode " << m;
      EXPECT_EQ(columns[m], p.column) << "mode " << m;
      EXPECT_EQ(offset, p.offset);
    }
  }
  EXPECT_EQ(3u, pn2tavix::locate("ab", 99, ColumnMode::kChars).column);
}

// A Locator that goes on from the place before gives what locate() gives afresh: every offset
// of a text holding all the cases above, forwards, then backwards, then forwards in steps.
TEST(Locate, ALocatorGoingOnFindsWhatLocateFinds) {
  const std::string_view text =
      "\xEF\xBB\xBF\xC3\x89tude/\tunits 16\r1\t0q4\r\n\xE6\x9B\xB2 e\xCC\x81\xFF x\n\n y";
  for (const ColumnMode mode : {ColumnMode::kBytes, ColumnMode::kChars, ColumnMode::kDisplay}) {
    pn2tavix::Locator locator(text, mode);
    const auto same = [&](size_t offset) {
      const pn2tavix::Position want = pn2tavix::locate(text, offset, mode);
      const pn2tavix::Position got = locator.at(offset);
      EXPECT_TRUE(want == got) << "offset " << offset << " mode " << static_cast<int>(mode);
    };
    for (size_t i = 0; i <= text.size(); ++i) same(i);
    for (size_t i = text.size() + 1; i-- > 0;) same(i);
    for (size_t i = 0; i <= text.size(); i += 3) same(i);
  }
}

}  // namespace
