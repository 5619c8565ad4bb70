// The note memo: what each note token met so far holds, by its text. Music repeats itself:
// most note tokens of a file have been met before, and looking up what one holds is quicker
// than examining it again (15 to 20 % of a conversion's time when it came: bench/README.md,
// "The library round" and "First round").
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "input/token_reader.h"

namespace pn2tavix::detail {

// What a note or rest token holds, gathered in one pass over it: the rules of note translation ask
// about the same few signs and numbers again and again. Kept by text (SignsMemo), as tokens recur.
// Packed into 16 bytes, so that a memo entry with its text fills half a cache line.
struct NoteSigns {
  enum : unsigned {
    kR = 1,
    kComma = 2,
    kG = 4,
    kDot = 8,
    kC = 16,
    kNatural = 32,
    kDigit = 64,
    kIgnoredLetter = 128,    // a letter that means nothing in a note
    kZeroValue = 256,        // the token's note value is 0
    kDigitAfterComma = 512,  // a digit at or after the first ','
  };
  unsigned short held = 0;  // which of the signs above the token holds; kC is a triplet
  short artic = 0;          // divisor of the token's last articulation letter; 0 for none
  signed char shift = 0;    // +1 for each 'a', -1 for each 'b' (a token has at most 79)
  char accid = 0;           // '+' or '-' from the last '(' or '-'; 0 for none
  char doubled = 0;         // '(' or '-' where the first "((" or "--" begins; 0 for none
  unsigned char runs = 0;   // runs of digits, counted up to 2
  int pitch = 0;            // the value of the first run of digits
  // The token's own note value with its dots, in 64ths (96ths for a triplet): the first run
  // of digits of a rest, the second of a note. Found once per token text, not per note.
  int length = 0;
  bool has(unsigned sign) const { return (held & sign) != 0; }
};
static_assert(sizeof(NoteSigns) == 16);

/// The signs of a note or rest token, found by one pass over its text.
NoteSigns scan_signs(std::string_view token);

// A table from the text of a token shorter than kTextSize to its signs. The first kTextSize
// bytes of a Token's text tell such tokens apart: they end with the token's NUL. Each text has
// a set of two entries, one cache line, and keeps the one met more recently first: a second
// place per set keeps far more of a file's notes than a table twice as large with one place.
struct SignsMemo {
  static constexpr size_t kTextSize = 16;
  static constexpr int kSetBits = 13;  // 8192 sets of two entries, 512 KiB
  struct Entry {
    char text[kTextSize];  // all zero while empty, which no token is
    NoteSigns signs;
  };
  struct alignas(64) Set {
    Entry way[2];  // way[0] met more recently
  };
  // calloc aligns to 16 bytes only; one set to spare leaves room to align the table.
  unsigned char storage[((size_t{1} << kSetBits) + 1) * sizeof(Set)];

  /// The signs of `token`, shorter than kTextSize: remembered, or found and remembered.
  const NoteSigns& signs_of(const Token& token) {
    Entry* way = set_of(token.text).way;
    if (!same_text(way[0].text, token.text)) {
      if (same_text(way[1].text, token.text)) {
        std::swap(way[0], way[1]);
      } else {
        way[1] = way[0];
        std::memcpy(way[0].text, token.text, kTextSize);
        way[0].signs = scan_signs(token.view());
      }
    }
    return way[0].signs;
  }

  // Whether the kTextSize bytes at `a` and at `b` are the same, compared 8 bytes at a time as
  // g++ compiles memcmp() of 16 bytes. WebAssembly has no such compare: there memcmp() is a
  // call to a loop over the bytes, and this takes about 3 % off the module's conversion of 5 MB
  // (bench/README.md, "The memo's compare and the text's room").
  static bool same_text(const char* a, const char* b) {
    static_assert(kTextSize == 2 * sizeof(uint64_t));
    uint64_t a0;
    uint64_t a1;
    uint64_t b0;
    uint64_t b1;
    std::memcpy(&a0, a, sizeof a0);
    std::memcpy(&a1, a + sizeof a0, sizeof a1);
    std::memcpy(&b0, b, sizeof b0);
    std::memcpy(&b1, b + sizeof b0, sizeof b1);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }

  Set& set_of(const char* text) {
    uint64_t head;
    uint64_t tail;
    std::memcpy(&head, text, sizeof head);
    std::memcpy(&tail, text + sizeof head, sizeof tail);
    const auto index = static_cast<size_t>(
        (head * 0x9E3779B97F4A7C15ULL ^ tail * 0xC2B2AE3D27D4EB4FULL) >> (64 - kSetBits));
    const auto first =
        (reinterpret_cast<uintptr_t>(storage) + alignof(Set) - 1) & ~uintptr_t{alignof(Set) - 1};
    return reinterpret_cast<Set*>(first)[index];
  }
};

}  // namespace pn2tavix::detail
