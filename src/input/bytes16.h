// Tests 16 bytes of text at once, giving one bit per byte (bit i for byte i). Most tokens are
// shorter than 16 bytes, so a token is looked at without a loop whose length changes from token
// to token: the processor cannot predict where such a loop ends, and every wrong guess costs
// more than the work of the loop. Only where the processor has SSE2: elsewhere the token reader
// takes its bytes one at a time, which without such instructions is as fast.
#pragma once

#if defined(__SSE2__) && !defined(PN2TAVIX_PORTABLE)
#define PN2TAVIX_HAVE_BYTES16 1

#include <emmintrin.h>

#include <cstddef>

namespace pn2tavix::detail {

class Bytes16 {
 public:
  static constexpr size_t kSize = 16;

  /// Reads the kSize bytes at `p`, all of which must be readable.
  explicit Bytes16(const char* p) : v_(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))) {}

  /// The bytes equal to `c`.
  unsigned eq(char c) const { return mask(_mm_cmpeq_epi8(v_, _mm_set1_epi8(c))); }

  /// The bytes from `lo` to `hi`, both included, compared as unsigned values.
  unsigned in(unsigned char lo, unsigned char hi) const {
    // A byte lies in the range when clamping it to the range leaves it as it is.
    const __m128i low = _mm_set1_epi8(static_cast<char>(lo));
    const __m128i high = _mm_set1_epi8(static_cast<char>(hi));
    return mask(_mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v_, low), v_),
                              _mm_cmpeq_epi8(_mm_min_epu8(v_, high), v_)));
  }

  /// The bytes equal to the byte at the same place in `other`.
  unsigned same(const Bytes16& other) const { return mask(_mm_cmpeq_epi8(v_, other.v_)); }

  /// Writes the first `n` bytes (n at most kSize) to `to`, then zeros up to kSize bytes in
  /// all. One store of the whole: a store in pieces, read back soon after by a load of 16
  /// bytes, would hold that load up until the pieces reach the cache.
  void store_first(char* to, size_t n) const {
    const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i keep = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(n)), index);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_and_si128(v_, keep));
  }

  /// The bits of the first `n` bytes, n at most kSize.
  static unsigned first(size_t n) { return (1u << n) - 1; }

 private:
  static unsigned mask(__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
  __m128i v_;
};

}  // namespace pn2tavix::detail

#endif
