#include "input/token_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "base/chars.h"
#include "base/diagnostic.h"

namespace pn2tavix::detail {

namespace {

constexpr std::array<bool, 256> kWhite = table_of<is_white>();

Position position_at(const TokenReader& r, uint64_t offset) {
  return {r.line, offset - r.line_start + 1, offset};
}

// Counts a byte taken from the input: a line feed begins the next line.
inline void count_byte(TokenReader& r, int c) {
  if (c == '\n') {
    ++r.line;
    r.line_start = r.in.offset();
  }
}

}  // namespace

Position next_position(const TokenReader& r) { return position_at(r, r.in.offset()); }

namespace {

// The end of input where more was needed: a read error where that is what ended it.
[[gnu::cold]] Status fail_at_end(TokenReader& r, Code code, const Position& at) {
  if (r.in.failed()) {
    return fail(r.failure,
                {.code = Code::kReadError, .word = r.in.name(), .reason = r.in.reason()});
  }
  return fail(r.failure, {.code = code, .at = at});
}

}  // namespace

TitleRead read_title(TokenReader& r, std::string& title) {
#if PN2TAVIX_HAVE_BYTES16
  r.window.forget();
#endif
  ByteSource& in = r.in;
  int c = in.peek();
  while (c != ByteSource::kEof && (kWhite[static_cast<unsigned char>(c)] || c == '@')) {
    count_byte(r, in.get());
    c = in.peek();
  }
  r.title_at = next_position(r);
  title.clear();
  for (c = in.get(); c != ByteSource::kEof && c != '/'; c = in.get()) {
    if (c == '\0') {
      (void)fail(r.failure,
                 {.code = Code::kNulByte, .at = position_at(r, in.offset() - 1), .length = 1});
      return TitleRead::kFailed;
    }
    // Stop before storing more than the title can hold, so a file with no '/' at all cannot
    // make the title grow without bound.
    if (title.size() == kTitleMax) {
      // Its extent is what was read of it.
      (void)fail(r.failure,
                 {.code = Code::kTitleTooLong, .at = r.title_at, .length = kTitleMax + 1});
      return TitleRead::kFailed;
    }
    title.push_back(static_cast<char>(c));
    count_byte(r, c);
  }
  if (c == ByteSource::kEof && in.failed()) {
    (void)fail_at_end(r, Code::kEndOfInput, next_position(r));
    return TitleRead::kFailed;
  }
  r.title_closed = c == '/';
  r.title_end = r.title_closed ? position_at(r, in.offset() - 1) : next_position(r);
  return title.empty() ? TitleRead::kNone : TitleRead::kTitle;
}

std::optional<Position> next_unread(TokenReader& r, std::uint64_t& length) {
#if PN2TAVIX_HAVE_BYTES16
  r.window.forget();
#endif
  ByteSource& in = r.in;
  int c = in.peek();
  while (c != ByteSource::kEof && kWhite[static_cast<unsigned char>(c)]) {
    count_byte(r, in.get());
    c = in.peek();
  }
  if (c == ByteSource::kEof) return std::nullopt;
  const Position at = next_position(r);
  // The run may go on into the next block read, so it is measured as the blocks pass.
  // Only text that holds a '/', as a title does, reads as more music: a note at the end of a
  // file, after an empty title, is left alone.
  length = 0;
  bool in_run = true;
  bool slash = false;
  for (std::string_view block = in.buffered(); !block.empty(); block = in.buffered()) {
    size_t n = 0;
    while (in_run && n < block.size() && length < kTokenMax &&
           !kWhite[static_cast<unsigned char>(block[n])]) {
      ++n;
      ++length;
    }
    in_run = in_run && n == block.size() && length < kTokenMax;
    slash = slash || block.find('/') != std::string_view::npos;
    if (slash && !in_run) return at;
    in.skip(block.size());
    if (in.peek() == ByteSource::kEof) break;
  }
  if (slash) return at;
  return std::nullopt;
}

namespace {

// The keywords, in the order of their token kinds from TOK_BAR on.
constexpr std::string_view kKeywords[] = {
    "/",    "end", "units", "treble", "alto", "tenor", "bass", "key", "rest",
    "copy", "up",  "down",  "tempo",  "l",    "e",     "h",    "q",   "s",
};
constexpr size_t kLongestKeyword = 6;
constexpr size_t kKeywordRoom = 16;  // a keyword's bytes, zero after it: one 16-byte compare

// No two keywords share both their length and their last character: those two pick the one
// keyword that a token can be, and one compare of the bytes decides. Every token is looked up,
// so this is done without a loop over the keywords (comparing with each keyword in turn took
// a quarter of the time: bench/README.md, "First round").
struct Candidate {
  char text[kKeywordRoom] = {};
  size_t len = 0;  // 0 where no keyword has that length and last character
  int kind = 0;
};
struct Candidates {
  Candidate keyword[std::size(kKeywords) + 1];  // [0] is no keyword
  unsigned char index[kLongestKeyword + 1][256] = {};
};
constexpr Candidates kCandidates = [] {
  Candidates c{};
  for (size_t i = 0; i < std::size(kKeywords); ++i) {
    const std::string_view k = kKeywords[i];
    Candidate& to = c.keyword[i + 1];
    for (size_t j = 0; j < k.size(); ++j) to.text[j] = k[j];
    to.len = k.size();
    to.kind = static_cast<int>(TokenKind::TOK_BAR) + static_cast<int>(i);
    c.index[k.size()][static_cast<unsigned char>(k.back())] = static_cast<unsigned char>(i + 1);
  }
  return c;
}();

// The only keyword that a token of `len` bytes ending in `last` can be.
const Candidate& candidate_for(size_t len, char last) {
  const size_t row = len <= kLongestKeyword ? len : 0;
  return kCandidates.keyword[kCandidates.index[row][static_cast<unsigned char>(last)]];
}

// The kind of `token` when it is a keyword, else 0.
int keyword_kind(std::string_view token) {
  if (token.empty()) return 0;
  const Candidate& k = candidate_for(token.size(), token.back());
  return k.len == token.size() && std::memcmp(k.text, token.data(), k.len) == 0 ? k.kind : 0;
}

TokenKind kind_of(int keyword, bool all_digits, bool all_upper) {
  if (keyword != 0) return static_cast<TokenKind>(keyword);
  if (all_digits) return TokenKind::TOK_NUMBER;
  return all_upper ? TokenKind::TOK_UPPER : TokenKind::TOK_NOTE;
}

// Sets the kind and the 'r' of a token whose text is in place.
void classify(Token& t) {
  t.kind = parse_token(t.view());
  t.has_r = t.view().find('r') != std::string_view::npos;
}

// Reads a token that may cross the end of the buffered block, a run of bytes at a time, and
// sets its length.
Status read_token_across_blocks(TokenReader& r, Token& token, size_t& length) {
  // Indexed by byte: where a run of token bytes stops: at the end of the token, or at a NUL,
  // which is refused.
  static constexpr std::array<bool, 256> stops_token = [] {
    std::array<bool, 256> t = table_of<ends_token>();
    t['\0'] = true;
    return t;
  }();
  ByteSource& in = r.in;
  size_t len = 0;
  for (std::string_view block = in.buffered(); !block.empty(); block = in.buffered()) {
    // One byte more than still fits is enough to tell that the token is too long.
    const size_t most = std::min(block.size(), kTokenSize - len);
    size_t n = 0;
    for (; n < most && !stops_token[static_cast<unsigned char>(block[n])]; ++n) {
      token.text[len + n] = block[n];
    }
    if (len + n == kTokenSize)
      return fail(r.failure, {.code = Code::kTokenTooLong, .at = token.at, .length = kTokenSize});
    len += n;
    in.skip(n);
    if (n < block.size()) {
      if (block[n] == '\0')
        return fail(r.failure, {.code = Code::kNulByte, .at = next_position(r), .length = 1});
      break;  // white space ends the token
    }
    if (in.peek() == ByteSource::kEof) {
      if (in.failed()) return fail_at_end(r, Code::kEndOfInput, next_position(r));
      break;
    }
  }
  // A bar line written against the end of a token goes back to the input, so that it is the
  // next token read; only one '/' comes off, and a lone '/' stays a bar line.
  if (len > 1 && token.text[len - 1] == '/') {
    --len;
    in.unget();
  }
  length = len;
  return Status::kOk;
}

// read_token for whatever a window does not hold, and for every token where there are no
// windows: runs of white space longer than a window, the end of input, tokens that cross the
// end of the buffered block or are longer than a window, and the signs that a window leaves
// alone. Reads one token byte by byte.
Status read_token_slowly(TokenReader& r, Token& token) {
  ByteSource& in = r.in;
  for (;;) {
    const std::string_view block = in.buffered();
    size_t n = 0;
    for (; n < block.size() && kWhite[static_cast<unsigned char>(block[n])]; ++n) {
      if (block[n] == '\n') {
        ++r.line;
        r.line_start = in.offset() + n + 1;
      }
    }
    in.skip(n);
    if (n < block.size()) break;
    if (in.peek() == ByteSource::kEof) return fail_at_end(r, Code::kEndOfInput, next_position(r));
  }
  token.at = next_position(r);
  size_t len = 0;
  if (read_token_across_blocks(r, token, len) == Status::kFailed) return Status::kFailed;
  token.len = len;
  token.text[len] = '\0';
  classify(token);
  return Status::kOk;
}

#if PN2TAVIX_HAVE_BYTES16

// The keyword kind of a token of 1 to 15 characters at `text`, whose 16 bytes are `b`, or 0.
int keyword_of_short(const Bytes16& b, const char* text, size_t len) {
  const Candidate& k = candidate_for(len, text[len - 1]);
  const unsigned all = Bytes16::first(len);
  const bool keyword = k.len == len && (b.same(Bytes16(k.text)) & all) == all;
  return keyword ? k.kind : 0;
}

// Finds the tokens of the kWindowSize bytes at the front of the buffered input, with one bit
// per byte: those that end within the window are found. The blanks that end a token and the
// signs the window leaves alone are the classes of base/chars.h: the window stops before the
// first NUL, vertical tab or form feed, whose rules (refused; skipped between tokens, yet part
// of a token) are left to read_token_slowly. False when it finds no token.
bool find_tokens(ByteSource& in, TokenWindow& w) {
  w.forget();
  const std::string_view block = in.buffered();
  // The bytes after the window too, as a token's text is read 16 bytes at a time.
  if (block.size() < kWindowSize + Bytes16::kSize) return false;
  uint64_t blank = 0;
  uint64_t other = 0;
  uint64_t slash = 0;
  uint64_t digits = 0;
  uint64_t upper = 0;
  uint64_t r = 0;
  uint64_t newlines = 0;
  for (size_t k = 0; k < kWindowSize; k += Bytes16::kSize) {
    const Bytes16 b(block.data() + k);
    const unsigned nl = b.eq('\n');
    newlines |= uint64_t{nl} << k;
    blank |= uint64_t{b.eq(' ') | b.eq('\t') | b.eq('\r') | nl} << k;
    other |= uint64_t{b.eq('\0') | b.eq('\v') | b.eq('\f')} << k;
    slash |= uint64_t{b.eq('/')} << k;
    digits |= uint64_t{b.in('0', '9')} << k;
    upper |= uint64_t{b.in('A', 'Z')} << k;
    r |= uint64_t{b.eq('r')} << k;
  }
  w.digits = digits;
  w.upper = upper;
  w.r = r;
  w.base = in.offset();
  w.data = block.data();
  // Past the first of the other signs nothing is known: no token ends there.
  const uint64_t known = other == 0 ? ~uint64_t{0} : (uint64_t{1} << std::countr_zero(other)) - 1;
  blank &= known;
  w.newlines = newlines & known;
  const uint64_t inside = ~blank;
  // A '/' that ends a token of two or more bytes is split off as a bar line of its own: the
  // token ends before it, and the bar line starts there.
  const uint64_t split = slash & (blank >> 1) & (inside << 1);
  // Every end has its start before it, so the starts pair with the ends in order; a last
  // start without an end is a token that runs on past the window.
  w.ends = (blank & (inside << 1)) | split;
  w.starts = inside & ((blank << 1) | 1 | split);
  return w.ends != 0;
}

// Fills `token` with the `len` bytes at byte `at` of the window `w`, which begins at `window`.
void take_token(Token& token, const TokenWindow& w, const char* window, unsigned at, size_t len) {
  const char* text = window + at;
  token.len = len;
  if (len < Bytes16::kSize) {
    // Nearly every token: copied, NUL and all, by one store of fixed size (the window has
    // 16 bytes to read after its end), and classified from the window's bits.
    const Bytes16 b(text);
    b.store_first(token.text, len);
    const uint64_t own = (uint64_t{1} << len) - 1;
    const bool all_digits = ((w.digits >> at) & own) == own;
    const bool all_upper = ((w.upper >> at) & own) == own;
    token.kind = kind_of(keyword_of_short(b, text, len), all_digits, all_upper);
    token.has_r = ((w.r >> at) & own) != 0;
    return;
  }
  std::memcpy(token.text, text, len);
  token.text[len] = '\0';
  classify(token);
}

#endif  // PN2TAVIX_HAVE_BYTES16

// Reads the next token from the input into `token`.
Status read_next(TokenReader& r, Token& token) {
#if PN2TAVIX_HAVE_BYTES16
  TokenWindow& w = r.window;
  if (w.ends == 0 && !find_tokens(r.in, w)) return read_token_slowly(r, token);
  const auto start = static_cast<unsigned>(std::countr_zero(w.starts));
  const auto end = static_cast<unsigned>(std::countr_zero(w.ends));
  w.starts &= w.starts - 1;
  w.ends &= w.ends - 1;
  token.at.offset = w.base + start;
  if (r.count_lines) {
    // The line feeds in the blank space before the token.
    const uint64_t before = w.newlines & ((uint64_t{1} << start) - 1);
    if (before != 0) {
      w.newlines ^= before;
      r.line += static_cast<uint64_t>(std::popcount(before));
      r.line_start = w.base + 64 - static_cast<unsigned>(std::countl_zero(before));
    }
    token.at = position_at(r, token.at.offset);
  }
  const char* window = w.data;
  r.in.skip(end - w.taken);
  w.taken = end;
  take_token(token, w, window, start, end - start);
  return Status::kOk;
#else
  return read_token_slowly(r, token);
#endif
}

}  // namespace

const Token* read_token(TokenReader& r) {
  // The other buffer: the pending token, delivered as stored (a '/' split off while peeking is
  // already back in the stream), or the one to read the next token into.
  r.delivered ^= 1;
  Token& token = r.buffers[r.delivered];
  if (r.peek_buf_flag) {
    r.peek_buf_flag = false;
    return &token;
  }
  return read_next(r, token) == Status::kOk ? &token : nullptr;
}

const Token* peek_next_token(TokenReader& r) {
  // With a token already pending this gives it again, so peeking twice consumes nothing.
  if (!r.peek_buf_flag) {
    if (read_next(r, r.peek_buf()) == Status::kFailed) return nullptr;
    r.peek_buf_flag = true;
  }
  return &r.peek_buf();
}

bool isanum(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return is_digit(c); });
}

bool isallupper(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return is_upper(c); });
}

TokenKind parse_token(std::string_view token) {
  // A keyword matches only as the whole token, case and all; no keyword is all digits or all
  // upper case, so the order of the three tests cannot change a kind.
  return kind_of(keyword_kind(token), isanum(token), isallupper(token));
}

Token make_token(std::string_view text) {
  Token t;
  t.len = std::min(text.size(), kTokenMax);
  text.copy(t.text, t.len);
  classify(t);
  return t;
}

}  // namespace pn2tavix::detail
