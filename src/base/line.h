// A line of output formed whole before it is written, without format parsing: several lines
// are formed per note of a large file.
#pragma once

#include <array>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace pn2tavix::detail {

// Writing through a cursor, for a line whose longest form is known to fit: the caller
// guarantees the room, so there is no bounds test, and the cursor, a local, stays in a
// register. (A length kept in the line itself is read back from memory after every
// character stored, as a char may alias it.)

/// Room that put_number may use: the digits and sign of any long long.
constexpr size_t kNumberRoom = 20;

/// Writes `s` at `at`; gives the end of what was written.
inline char* put_text(char* at, std::string_view s) {
  std::memcpy(at, s.data(), s.size());  // a literal's constant size becomes a few moves
  return at + s.size();
}

/// Writes `v` in decimal at `at`, using at most kNumberRoom bytes; gives the end of it.
inline char* put_number(char* at, long long v) {
  // Indexed by number: its digits, then how many there are. Nearly every number in a line is
  // a length or a shortening below 1000, written by one store of four bytes instead of a
  // loop over its digits. Without the table a conversion takes 8 % more processor time on
  // 50 MB (bench/README.md, "Failures as values": tricks measured again).
  struct Digits {
    char text[4];  // the digits in text[0..2]; text[3] holds the count
  };
  static constexpr std::array<Digits, 1000> digits_of = [] {
    std::array<Digits, 1000> t{};
    for (int i = 0; i < 1000; ++i) {
      Digits& d = t[static_cast<size_t>(i)];
      const int count = i < 10 ? 1 : i < 100 ? 2 : 3;
      for (int k = count - 1, rest = i; k >= 0; --k, rest /= 10) {
        d.text[k] = static_cast<char>('0' + rest % 10);
      }
      d.text[3] = static_cast<char>(count);
    }
    return t;
  }();
  if (v >= 0 && v < 1000) {
    const Digits& d = digits_of[static_cast<size_t>(v)];
    std::memcpy(at, d.text, sizeof d.text);  // the byte past the digits is not kept
    return at + d.text[3];
  }
  return std::to_chars(at, at + kNumberRoom, v).ptr;
}

template <size_t N>
struct LineBuf {
  char text[N];
  size_t len = 0;

  std::string_view view() const { return {text, len}; }
  LineBuf& clear() {
    len = 0;
    return *this;
  }
  /// Appends as much of `s` as fits; every line the converter forms is far shorter than N.
  LineBuf& str(std::string_view s) {
    // The whole text in its own branch: there a literal's copy has a constant size, which the
    // compiler turns into a few moves instead of a call to memcpy.
    if (s.size() <= N - len) {
      std::memcpy(text + len, s.data(), s.size());
      len += s.size();
    } else {
      std::memcpy(text + len, s.data(), N - len);
      len = N;
    }
    return *this;
  }
  LineBuf& num(long long v) {
    if (N - len >= kNumberRoom) {
      len = static_cast<size_t>(put_number(text + len, v) - text);
    } else {
      auto [end, ec] = std::to_chars(text + len, text + N, v);
      if (ec == std::errc()) len = static_cast<size_t>(end - text);
    }
    return *this;
  }
};

}  // namespace pn2tavix::detail
