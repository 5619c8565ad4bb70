// Tests 16 bytes of text at once, giving one bit per byte (bit i for byte i). Most tokens are
// shorter than 16 bytes, so a token is looked at without a loop whose length changes from token
// to token: the processor cannot predict where such a loop ends, and every wrong guess costs
// more than the work of the loop.
#pragma once

#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

class Bytes16 {
 public:
  static constexpr size_t kSize = 16;

  /// Reads the kSize bytes at `p`, all of which must be readable.
  explicit Bytes16(const char* p) {
#if defined(__SSE2__)
    v_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
#else
    std::memcpy(b_, p, kSize);
#endif
  }

  /// The bytes equal to `c`.
  unsigned eq(char c) const {
#if defined(__SSE2__)
    return mask(_mm_cmpeq_epi8(v_, _mm_set1_epi8(c)));
#else
    unsigned m = 0;
    for (size_t i = 0; i < kSize; ++i) m |= static_cast<unsigned>(b_[i] == c) << i;
    return m;
#endif
  }

  /// The bytes from `lo` to `hi`, both included, compared as unsigned values.
  unsigned in(unsigned char lo, unsigned char hi) const {
#if defined(__SSE2__)
    // A byte lies in the range when clamping it to the range leaves it as it is.
    const __m128i low = _mm_set1_epi8(static_cast<char>(lo));
    const __m128i high = _mm_set1_epi8(static_cast<char>(hi));
    return mask(_mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v_, low), v_),
                              _mm_cmpeq_epi8(_mm_min_epu8(v_, high), v_)));
#else
    unsigned m = 0;
    for (size_t i = 0; i < kSize; ++i) {
      const auto u = static_cast<unsigned char>(b_[i]);
      m |= static_cast<unsigned>(u >= lo && u <= hi) << i;
    }
    return m;
#endif
  }

  /// The bytes equal to the byte at the same place in `other`.
  unsigned same(const Bytes16& other) const {
#if defined(__SSE2__)
    return mask(_mm_cmpeq_epi8(v_, other.v_));
#else
    unsigned m = 0;
    for (size_t i = 0; i < kSize; ++i) m |= static_cast<unsigned>(b_[i] == other.b_[i]) << i;
    return m;
#endif
  }

  /// Writes the first `n` bytes (n at most kSize) to `to`, then zeros up to kSize bytes in
  /// all. One store of the whole: a store in pieces, read back soon after by a load of 16
  /// bytes, would hold that load up until the pieces reach the cache.
  void store_first(char* to, size_t n) const {
#if defined(__SSE2__)
    const __m128i index = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i keep = _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(n)), index);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_and_si128(v_, keep));
#else
    std::memcpy(to, b_, n);
    std::memset(to + n, 0, kSize - n);
#endif
  }

  /// The bits of the first `n` bytes, n at most kSize.
  static unsigned first(size_t n) { return (1u << n) - 1; }

 private:
#if defined(__SSE2__)
  static unsigned mask(__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
  __m128i v_;
#else
  char b_[kSize];
#endif
};
