// A choice made without a branch, for the choices the music makes: whether a note is a rest,
// has a letter of its own or is a triplet changes from token to token, and the processor,
// unable to guess, would throw away its work on every wrong guess of a branch.
#pragma once

#include <type_traits>

namespace pn2tavix::detail {

/// `if_true` when `condition` holds, else `if_false`; both are computed.
template <typename T>
constexpr T choose(bool condition, T if_true, T if_false) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<std::conditional_t<std::is_same_v<T, bool>, unsigned char, T>>;
  const U mask = static_cast<U>(-static_cast<U>(condition));
  return static_cast<T>((static_cast<U>(if_true) & mask) | (static_cast<U>(if_false) & ~mask));
}

}  // namespace pn2tavix::detail
