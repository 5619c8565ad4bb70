// The public functions as a program of someone else's calls them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

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
  // The same through run(), standing for standard input, and into a result.
  std::ostringstream out, err;
  const char* argv[] = {"conv", nullptr};
  EXPECT_EQ(1, pn2tavix::run(1, argv, no_buffer_in, out, err));
  EXPECT_EQ("conv: Cannot read the input: the stream has no buffer\n", err.str());
  const pn2tavix::Result r = pn2tavix::convert(missing);
  ASSERT_EQ(1u, r.messages.size());
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(pn2tavix::Code::kCannotOpen, r.messages[0].code);
  EXPECT_FALSE(r.messages[0].at);
}

}  // namespace
