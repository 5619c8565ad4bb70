// A line of output formed whole in a fixed buffer before it is passed to tavix_out. Appends
// numbers and text without format parsing: several lines are formed per note of a large file.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

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
    size_t n = s.size() < N - len ? s.size() : N - len;
    std::memcpy(text + len, s.data(), n);
    len += n;
    return *this;
  }
  LineBuf& num(long long v) {
    auto [end, ec] = std::to_chars(text + len, text + N, v);
    if (ec == std::errc()) len = static_cast<size_t>(end - text);
    return *this;
  }
};
