#include "input/token_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "driver/choose.h"
#include "driver/errors.h"
#include "input/bytes16.h"

namespace {

// What the reader skips before a title or a token.
inline bool is_white(int c) {
  // Indexed by byte; a table, as it is asked of every byte between tokens.
  static constexpr std::array<bool, 256> white = [] {
    std::array<bool, 256> t{};
    t[' '] = t['\t'] = t['\n'] = t['\v'] = t['\f'] = t['\r'] = true;
    return t;
  }();
  return c >= 0 && white[static_cast<unsigned char>(c)];
}

[[noreturn]] void fail_nul() {
  fail(kExitError, "NUL byte in the input, which is not a text file");
}

}  // namespace

int read_title(TokenReader& r, std::string& title) {
  r.window.forget();
  ByteSource& in = r.in;
  int c = in.peek();
  while (c != ByteSource::kEof && (is_white(c) || c == '@')) {
    in.get();
    c = in.peek();
  }
  title.clear();
  for (c = in.get(); c != ByteSource::kEof && c != '/'; c = in.get()) {
    if (c == '\0') fail_nul();
    // Stop before storing more than the title can hold, so a file with no '/' at all cannot
    // make the title grow without bound.
    if (title.size() == kTitleSize - 1) fail(kExitError, "Title longer than 255 characters");
    title.push_back(static_cast<char>(c));
  }
  return title.empty() ? -1 : 1;
}

namespace {

// Reads a token that may cross the end of the buffered block, a run of bytes at a time, and
// gives its length.
size_t read_token_across_blocks(ByteSource& in, Token& token) {
  // Indexed by byte: where a run of token bytes stops. A token ends only at ' ', '\t', '\r' or
  // '\n' (a vertical tab or form feed inside a run belongs to the token), and a NUL is refused.
  static constexpr std::array<bool, 256> stops_token = [] {
    std::array<bool, 256> t{};
    t[' '] = t['\t'] = t['\r'] = t['\n'] = t['\0'] = true;
    return t;
  }();
  size_t len = 0;
  for (std::string_view block = in.buffered(); !block.empty(); block = in.buffered()) {
    // One byte more than still fits is enough to tell that the token is too long.
    const size_t most = std::min(block.size(), kTokenSize - len);
    size_t n = 0;
    for (; n < most && !stops_token[static_cast<unsigned char>(block[n])]; ++n) {
      token.text[len + n] = block[n];
    }
    if (len + n == kTokenSize) fail(kExitError, "Token longer than 79 characters");
    len += n;
    in.skip(n);
    if (n < block.size()) {
      if (block[n] == '\0') fail_nul();
      break;  // white space ends the token
    }
    if (in.peek() == ByteSource::kEof) break;
  }
  // A bar line written against the end of a token goes back to the input, so that it is the
  // next token read; only one '/' comes off, and a lone '/' stays a bar line.
  if (len > 1 && token.text[len - 1] == '/') {
    --len;
    in.unget('/');
  }
  return len;
}

// The keywords, in the order of their token kinds from TOK_BAR on.
constexpr std::string_view kKeywords[] = {
    "/",    "end", "units", "treble", "alto", "tenor", "bass", "key", "rest",
    "copy", "up",  "down",  "tempo",  "l",    "e",     "h",    "q",   "s",
};
constexpr size_t kLongestKeyword = 6;

// The kind of `token` when it is a keyword, else 0.
int keyword_kind(std::string_view token) {
  for (size_t i = 0; i < std::size(kKeywords); ++i) {
    if (token == kKeywords[i]) return TOK_BAR + static_cast<int>(i);
  }
  return 0;
}

TokenKind kind_of(int keyword, bool all_digits, bool all_upper) {
  // Chosen rather than tested in turn: the kinds of the tokens follow one another as the
  // music has it.
  int kind = choose(all_upper, static_cast<int>(TOK_UPPER), static_cast<int>(TOK_NOTE));
  kind = choose(all_digits, static_cast<int>(TOK_NUMBER), kind);
  return static_cast<TokenKind>(choose(keyword != 0, keyword, kind));
}

// The keyword kind of a token of 1 to 15 characters at `text`, whose 16 bytes are `b`, or 0.
// No two keywords share both their length and their last character: those two pick the one
// keyword the token can be, and a single compare of the bytes decides. Every token is looked
// up, so this is done without a loop.
int keyword_of_short(const Bytes16& b, const char* text, size_t len) {
  struct Candidate {
    char text[Bytes16::kSize] = {};
    size_t len = 0;  // 0 where no keyword has that length and last character
    int kind = 0;
  };
  struct Candidates {
    Candidate keyword[std::size(kKeywords) + 1];  // [0] is no keyword
    unsigned char index[kLongestKeyword + 1][256] = {};
  };
  static constexpr Candidates candidates = [] {
    Candidates c{};
    for (size_t i = 0; i < std::size(kKeywords); ++i) {
      const std::string_view k = kKeywords[i];
      Candidate& to = c.keyword[i + 1];
      for (size_t j = 0; j < k.size(); ++j) to.text[j] = k[j];
      to.len = k.size();
      to.kind = TOK_BAR + static_cast<int>(i);
      c.index[k.size()][static_cast<unsigned char>(k.back())] = static_cast<unsigned char>(i + 1);
    }
    return c;
  }();
  const unsigned all = Bytes16::first(len);
  const size_t row = len <= kLongestKeyword ? len : 0;
  const Candidate& k =
      candidates.keyword[candidates.index[row][static_cast<unsigned char>(text[len - 1])]];
  const bool keyword = (k.len == len) & ((b.same(Bytes16(k.text)) & all) == all);
  return keyword ? k.kind : 0;
}

// Sets the kind and the 'r' of a token whose text is in place.
void classify(Token& t) {
  t.kind = parse_token(t.view());
  t.has_r = t.view().find('r') != std::string_view::npos;
}

// read_token for whatever the window does not hold: runs of white space longer than a window,
// the end of input, tokens that cross the end of the buffered block or are longer than a
// window, and the signs the window leaves alone. Reads one token byte by byte.
[[gnu::noinline]] void read_token_slowly(ByteSource& in, Token& token) {
  for (;;) {
    const std::string_view block = in.buffered();
    size_t n = 0;
    while (n < block.size() && is_white(static_cast<unsigned char>(block[n]))) ++n;
    in.skip(n);
    if (n < block.size()) break;
    if (in.peek() == ByteSource::kEof) fail(kExitError, "EOF while reading token");
  }
  const size_t len = read_token_across_blocks(in, token);
  token.len = len;
  token.text[len] = '\0';
  classify(token);
}

// Finds the tokens of the kWindowSize bytes at the front of the buffered input, with one bit
// per byte: those that end within the window are found. Only space, tab, CR and LF are looked
// at: the window stops before the first NUL, vertical tab or form feed, whose rules (refused;
// skipped between tokens, yet part of a token) are left to read_token_slowly. False when it
// finds no token.
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
  for (size_t k = 0; k < kWindowSize; k += Bytes16::kSize) {
    const Bytes16 b(block.data() + k);
    blank |= uint64_t{b.eq(' ') | b.eq('\t') | b.eq('\r') | b.eq('\n')} << k;
    other |= uint64_t{b.eq('\0') | b.eq('\v') | b.eq('\f')} << k;
    slash |= uint64_t{b.eq('/')} << k;
    digits |= uint64_t{b.in('0', '9')} << k;
    upper |= uint64_t{b.in('A', 'Z')} << k;
    r |= uint64_t{b.eq('r')} << k;
  }
  w.digits = digits;
  w.upper = upper;
  w.r = r;
  // Past the first of the other signs nothing is known: no token ends there.
  const uint64_t known = other == 0 ? ~uint64_t{0} : (uint64_t{1} << std::countr_zero(other)) - 1;
  blank &= known;
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

// Reads the next token from the input into `token`.
void read_next(TokenReader& r, Token& token) {
  TokenWindow& w = r.window;
  if (w.ends == 0 && !find_tokens(r.in, w)) {
    read_token_slowly(r.in, token);
    return;
  }
  const auto start = static_cast<unsigned>(std::countr_zero(w.starts));
  const auto end = static_cast<unsigned>(std::countr_zero(w.ends));
  w.starts &= w.starts - 1;
  w.ends &= w.ends - 1;
  const char* window = r.in.buffered().data() - w.taken;
  r.in.skip(end - w.taken);
  w.taken = end;
  take_token(token, w, window, start, end - start);
}

}  // namespace

const Token& read_token(TokenReader& r) {
  // The other buffer: the pending token, delivered as stored (a '/' split off while peeking is
  // already back in the stream), or the one to read the next token into.
  r.delivered ^= 1;
  Token& token = r.buffers[r.delivered];
  if (r.peek_buf_flag) {
    r.peek_buf_flag = false;
    return token;
  }
  read_next(r, token);
  return token;
}

const Token& peek_next_token(TokenReader& r) {
  // With a token already pending this gives it again, so peeking twice consumes nothing.
  if (!r.peek_buf_flag) {
    read_next(r, r.peek_buf());
    r.peek_buf_flag = true;
  }
  return r.peek_buf();
}

bool is_next_tok_rest(TokenReader& r) {
  const Token& next = peek_next_token(r);
  // Combined without a branch: whether a rest follows is the music's choice, which the
  // processor cannot guess.
  return next.has_r & (next.kind == TOK_NOTE);
}

bool isanum(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool isallupper(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < 'A' || c > 'Z') return false;
  }
  return true;
}

TokenKind parse_token(std::string_view token) {
  // A keyword matches only as the whole token, case and all; no keyword is all digits or all
  // upper case, so the order of the three tests cannot change a kind.
  return kind_of(keyword_kind(token), isanum(token), isallupper(token));
}

Token make_token(std::string_view text) {
  Token t;
  t.len = std::min(text.size(), kTokenSize - 1);
  text.copy(t.text, t.len);
  classify(t);
  return t;
}
