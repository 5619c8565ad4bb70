#include "base/note_values.h"

#include <array>
#include <cstddef>
#include <iterator>
#include <string>

namespace pn2tavix::detail {
namespace {

enum Kind { kPlain, kDotted, kTriplet };

struct Value {
  int length;  // 192nds
  Kind kind;
  const char* name;
};

// Every value below a whole note that a token can write, largest first. A dotted whole note is
// longer than the whole notes said before the rest; a dotted 64th is not a whole 192nd.
constexpr Value kValues[] = {
    {144, kDotted, "a dotted half"},
    {128, kTriplet, "a triplet whole note"},
    {96, kPlain, "a half"},
    {72, kDotted, "a dotted quarter"},
    {64, kTriplet, "a triplet half"},
    {48, kPlain, "a quarter"},
    {36, kDotted, "a dotted eighth"},
    {32, kTriplet, "a triplet quarter"},
    {24, kPlain, "an eighth"},
    {18, kDotted, "a dotted 16th"},
    {16, kTriplet, "a triplet eighth"},
    {12, kPlain, "a 16th"},
    {9, kDotted, "a dotted 32nd"},
    {8, kTriplet, "a triplet 16th"},
    {6, kPlain, "a 32nd"},
    {4, kTriplet, "a triplet 32nd"},
    {3, kPlain, "a 64th"},
    {2, kTriplet, "a triplet 64th"},
};
constexpr int kCount = static_cast<int>(std::size(kValues));
constexpr int kMostValues = 3;

// Up to kMostValues different values, as indexes into kValues in rising order (so largest
// first); -1 marks an unused place.
using Choice = std::array<int, kMostValues>;

// Orders the choices that make the same amount: fewer values; then more plain ones; then fewer
// triplets; then the larger values first. "an eighth and a triplet eighth" thus beats "a
// triplet quarter and a triplet 16th", and "a quarter and a 16th" beats "a dotted eighth and
// an eighth".
std::array<int, 3 + kMostValues> rank(const Choice& c) {
  std::array<int, 3 + kMostValues> r{};
  for (int k = 0; k < kMostValues; ++k) {
    if (c[k] < 0) {
      r[3 + k] = kCount;
      continue;
    }
    ++r[0];
    r[1] += kValues[c[k]].kind != kPlain;
    r[2] += kValues[c[k]].kind == kTriplet;
    r[3 + k] = c[k];
  }
  return r;
}

// The best choice that adds up to `n` (below a whole note), if any.
bool choose(int n, Choice& best) {
  bool found = false;
  // kCount stands for an unused place; each value is used once at most.
  for (int a = 0; a < kCount; ++a) {
    for (int b = a + 1; b <= kCount; ++b) {
      for (int c = b == kCount ? kCount : b + 1; c <= kCount; ++c) {
        const Choice choice{a, b < kCount ? b : -1, c < kCount ? c : -1};
        int sum = 0;
        for (int k : choice) sum += k >= 0 ? kValues[k].length : 0;
        if (sum != n || (found && rank(choice) >= rank(best))) continue;
        best = choice;
        found = true;
      }
    }
  }
  return found;
}

}  // namespace

std::string as_note_values(long long n) {
  std::string names[kMostValues + 2];
  size_t count = 0;
  if (n >= 192) {
    names[count++] = n < 384 ? "a whole note" : std::to_string(n / 192) + " whole notes";
    n %= 192;
  }
  // What no three values make (1, 95, 119, 125, 127, 175, 181, 187, 190 or 191) is said as
  // the largest amount below it that they do make and the 192nds left over.
  long long left = 0;
  Choice best{-1, -1, -1};
  while (n > 0 && !choose(static_cast<int>(n), best)) {
    --n;
    ++left;
  }
  for (int k : best) {
    if (n > 0 && k >= 0) names[count++] = kValues[k].name;
  }
  if (left > 0) names[count++] = std::to_string(left) + (left == 1 ? " 192nd" : " 192nds");
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += i + 1 == count ? " and " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace pn2tavix::detail
