// The character classes of the input, each defined once.
#pragma once

#include <array>

namespace pn2tavix::detail {

/// What is skipped before a title or a token: space, tab, line feed, vertical tab, form feed
/// and carriage return.
constexpr bool is_white(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// What ends a token: a vertical tab or a form feed inside a token belongs to it.
constexpr bool ends_token(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }
constexpr bool is_upper(unsigned char c) { return c >= 'A' && c <= 'Z'; }

/// A class as a table indexed by byte, for the loops that ask it of every byte.
template <bool (*in_class)(unsigned char)>
constexpr std::array<bool, 256> table_of() {
  std::array<bool, 256> t{};
  for (unsigned c = 0; c < 256; ++c) t[c] = in_class(static_cast<unsigned char>(c));
  return t;
}

}  // namespace pn2tavix::detail
