// The two programs' command lines called in-process, with streams standing for the process's.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/check_cli.h"
#include "cli/convert_cli.h"
#include "pn2tavix/pn2tavix.h"

namespace {

TEST(Cli, ConvertCommandLine) {
  const std::string piece = "Minuet/ units 8 1 6q4/ end\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  } const cases[] = {
      {{"dir/conv"}, 0, ""},  // the stand-in stream, not the process's standard input
      {{}, 1, "pn2tavix: Usage: pn2tavix [pdp-1 music file]\n"},
      {{"conv", "a", "b"}, 1, "conv: Usage: conv [pdp-1 music file]\n"},
      {{"dir\\sub/conv", "/nonexistent/piece.pdp1"},
       1,
       "conv: Can't open file /nonexistent/piece.pdp1\nconv: No such file or directory\n"},
  };
  const std::string converted = pn2tavix::convert(piece).output;
  ASSERT_FALSE(converted.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    std::istringstream in(piece);
    std::ostringstream out, err;
    EXPECT_EQ(c.status, pn2tavix::cli::run_convert(c.args, in, out, err));
    EXPECT_EQ(c.status == 0 ? converted : "", out.str());
    EXPECT_EQ(c.err, err.str());
  }
}

TEST(Cli, CheckCommandLine) {
  const std::string usage =
      "Usage: pn2tavix-check [--columns=bytes|chars|display] [--] FILE|FOLDER|- ...\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } const cases[] = {
      {{"pn2tavix-check"}, 2, "", "pn2tavix-check: no file to check\n" + usage},
      {{"pn2tavix-check", "-q", "x"}, 2, "", "pn2tavix-check: unknown option -q\n" + usage},
      {{"pn2tavix-check", "--columns=utf16", "x"},
       2,
       "",
       "pn2tavix-check: columns count bytes, chars or display, not utf16\n" + usage},
      {{"pn2tavix-check", "--version"},
       0,
       "pn2tavix-check " + std::string(pn2tavix::version()) + "\n",
       ""},
      {{"pn2tavix-check", "--", "-q"},
       1,
       "-q: error: Can't open file -q\n-q: note: No such file or directory\n",
       "pn2tavix-check: 1 file, 0 converted, 1 with errors, 0 warnings\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    std::ostringstream out, err;
    EXPECT_EQ(c.status, pn2tavix::cli::run_check(c.args, out, err));
    EXPECT_EQ(c.out, out.str());
    EXPECT_EQ(c.err, err.str());
  }
}

}  // namespace
