// Runs every case under tests/golden through the library in memory, streams to streams as the
// program converts, with its messages named "pn2tavix": stdout, stderr and the status compared
// byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pn2tavix/pn2tavix.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string slurp_or_empty(const fs::path& p) { return fs::exists(p) ? slurp(p) : ""; }

struct GoldenCase {
  fs::path input;
};

// Keeps test names short: the case's place under the golden folder.
void PrintTo(const GoldenCase& c, std::ostream* os) {
  *os << fs::relative(c.input, PN2TAVIX_GOLDEN_DIR).string();
}

std::vector<GoldenCase> golden_cases() {
  std::vector<GoldenCase> cases;
  for (const auto& e : fs::recursive_directory_iterator(PN2TAVIX_GOLDEN_DIR)) {
    if (e.is_regular_file() && e.path().extension() == ".in") cases.push_back({e.path()});
  }
  std::sort(cases.begin(), cases.end(),
            [](const GoldenCase& a, const GoldenCase& b) { return a.input < b.input; });
  return cases;
}

std::string case_name(const testing::TestParamInfo<GoldenCase>& info) {
  std::string name = fs::relative(info.param.input, PN2TAVIX_GOLDEN_DIR).replace_extension();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !isalnum(c); }, '_');
  return name;
}

class Golden : public testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, MatchesExpectedOutputErrorsAndStatus) {
  const fs::path in_path = GetParam().input;
  fs::path base = in_path;
  base.replace_extension();
  std::istringstream in(slurp(in_path));
  std::ostringstream out, err;
  const int status = pn2tavix::convert(in, out, err);

  const std::string status_text = slurp_or_empty(base.string() + ".status");
  const int expected_status = status_text.empty() ? 0 : std::stoi(status_text);
  EXPECT_EQ(slurp_or_empty(base.string() + ".out"), out.str());
  EXPECT_EQ(slurp_or_empty(base.string() + ".err"), err.str());
  EXPECT_EQ(expected_status, status);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, testing::ValuesIn(golden_cases()), case_name);

}  // namespace
