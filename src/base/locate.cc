// Where a place lies as an editor counts: lines and columns found again from the bytes, for
// the front ends that show places to editors that do not count bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "pn2tavix/message.h"

namespace pn2tavix {
namespace {

// The length of the UTF-8 character at `i` and its code point in `c`, or 0 where the bytes
// there are not one (overlong forms and surrogates included).
size_t decode(std::string_view s, size_t i, char32_t& c) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char first = b(0);
  size_t n = 0;
  char32_t least = 0;
  if (first < 0x80) {
    c = first;
    return 1;
  } else if (first >= 0xC2 && first <= 0xDF) {
    n = 2, c = first & 0x1F, least = 0x80;
  } else if (first >= 0xE0 && first <= 0xEF) {
    n = 3, c = first & 0x0F, least = 0x800;
  } else if (first >= 0xF0 && first <= 0xF4) {
    n = 4, c = first & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b(k) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

// The columns a terminal gives a character: the main blocks of wide (East Asian) characters
// take 2, marks that combine with the character before and invisible joiners 0.
int display_width(char32_t c) {
  struct Range {
    char32_t first, last;
  };
  static constexpr Range kZero[] = {
      {0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
      {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
  };
  static constexpr Range kWide[] = {
      {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
      {0x4E00, 0x9FFF}, {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
      {0xF900, 0xFAFF}, {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
      {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
  };
  const auto in = [c](const auto& ranges) {
    return std::any_of(std::begin(ranges), std::end(ranges),
                       [c](const Range& r) { return c >= r.first && c <= r.last; });
  };
  return c < 0x300 ? 1 : in(kZero) ? 0 : in(kWide) ? 2 : 1;
}

}  // namespace

Position Locator::at(std::uint64_t offset) {
  const size_t end = static_cast<size_t>(std::min<std::uint64_t>(offset, input_.size()));
  if (end < scanned_) *this = Locator(input_, mode_);  // a place before the last: start over
  // Line ends are looked for up to the place only: on a long line, a search to the end of the
  // input for each place would read the rest of the input once a message.
  const std::string_view before = input_.substr(0, end);
  for (size_t i = before.find_first_of("\r\n", scanned_); i != std::string_view::npos;
       i = before.find_first_of("\r\n", i + 1)) {
    if (input_[i] == '\r' && i + 1 < input_.size() && input_[i + 1] == '\n') continue;
    ++line_;
    line_start_ = i + 1;
  }
  scanned_ = end;
  Position p;
  p.offset = end;
  p.line = line_;
  if (mode_ == ColumnMode::kBytes) {
    p.column = end - line_start_ + 1;
    return p;
  }
  if (counted_to_ < line_start_ || counted_to_ > end) {  // a new line, or back on this one
    counted_to_ = line_start_;
    column_ = 0;
  }
  // A byte-order mark at the start of the input takes no column.
  if (line_start_ == 0 && counted_to_ < 3 && input_.substr(0, 3) == "\xEF\xBB\xBF") {
    if (end <= 3) {
      p.column = 1;
      return p;
    }
    counted_to_ = 3;
  }
  for (size_t i = counted_to_; i < end;) {
    char32_t c = 0;
    const size_t n = decode(input_, i, c);
    if (n == 0) {  // a byte that is not UTF-8 counts as one character, one column wide
      ++column_;
      ++i;
    } else if (i + n > end) {
      break;  // the place is inside this character
    } else {
      if (mode_ == ColumnMode::kChars) {
        ++column_;
      } else if (c == '\t') {
        column_ = (column_ / 8 + 1) * 8;
      } else {
        column_ += display_width(c);
      }
      i += n;
    }
    counted_to_ = i;
  }
  p.column = column_ + 1;
  return p;
}

Position locate(std::string_view input, std::uint64_t offset, ColumnMode mode) {
  return Locator(input, mode).at(offset);
}

}  // namespace pn2tavix
