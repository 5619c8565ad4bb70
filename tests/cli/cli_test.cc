// The two programs' command lines called in-process, with streams standing for the process's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

// Each column mode lands on the token after a byte-order mark, UTF-8, a tab and a CR that ends
// a line alone; texts are escaped where a terminal would act on them.
TEST(Cli, CheckPlacesAndTexts) {
  const std::string dir = testing::TempDir();  // ends with its separator
  const std::string piece = dir + "columns.pdp1", bytes = dir + "bytes.pdp1";
  std::ofstream(piece, std::ios::binary)
      << "\xEF\xBB\xBF\xC3\x89tude/\tunits 16 1\t0q4\r0q4\t0q4 /\r";
  std::ofstream(bytes, std::ios::binary) << "T/ units 8 1 6\x1b\xC2\x9B\xFFq/ end\n";
  const std::string error =
      ": error: found 144 192th notes of music, expected 96 in measure 1, voice 1\n";
  const std::string note = ": note: measure 1 is long by a quarter (48 192nds)\n";
  const struct {
    const char* mode;
    const char* error_at;
    const char* began_at;
  } cases[] = {
      {"--columns=bytes", ":2:9", ":1:21"},
      {"--columns=chars", ":2:9", ":1:17"},
      {"--columns=display", ":2:13", ":1:18"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    std::ostringstream out, err;
    EXPECT_EQ(1, pn2tavix::cli::run_check({"pn2tavix-check", c.mode, piece, bytes}, out, err));
    EXPECT_EQ(piece + c.error_at + error + piece + note + piece + c.began_at +
                  ": note: measure 1 began here\n" + bytes +
                  ":1:14: error: No duration found for note 6\\x1b\\xc2\\x9b\\xffq in measure 1\n",
              out.str());
  }
  std::filesystem::remove(piece);
  std::filesystem::remove(bytes);
}

}  // namespace
