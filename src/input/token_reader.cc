#include "input/token_reader.h"

#include <iterator>

#include "driver/errors.h"

namespace {

// What the reader skips before a title or a token.
inline bool is_white(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A token ends only here: a vertical tab or form feed inside a run belongs to the token.
inline bool ends_token(int c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ByteSource::kEof;
}

[[noreturn]] void fail_nul() {
  fail(kExitError, "NUL byte in the input, which is not a text file");
}

}  // namespace

int read_title(TokenReader& r, std::string& title) {
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

void read_token(TokenReader& r, Token& token) {
  if (r.peek_buf_flag) {
    // Delivered as stored: a '/' that was split off while peeking is already in the stream.
    r.peek_buf_flag = false;
    token = r.peek_buf;
    return;
  }
  ByteSource& in = r.in;
  int c = in.get();
  while (c != ByteSource::kEof && is_white(c)) c = in.get();
  if (c == ByteSource::kEof) fail(kExitError, "EOF while reading token");
  size_t len = 0;
  for (;;) {
    if (c == '\0') fail_nul();
    if (len == kTokenSize - 1) fail(kExitError, "Token longer than 79 characters");
    token.text[len++] = static_cast<char>(c);
    if (ends_token(in.peek())) break;
    c = in.get();
  }
  // A bar line written against the end of a token goes back to the input, so that it is the
  // next token read; only one '/' comes off, and a lone '/' stays a bar line.
  if (len > 1 && token.text[len - 1] == '/') {
    --len;
    in.unget('/');
  }
  token.len = len;
  token.text[len] = '\0';
}

const Token& peek_next_token(TokenReader& r) {
  // With a token already pending this delivers it again, so peeking twice consumes nothing.
  read_token(r, r.peek_buf);
  r.peek_buf_flag = true;
  return r.peek_buf;
}

bool is_next_tok_rest(TokenReader& r) {
  std::string_view next = peek_next_token(r).view();
  return parse_token(next) == TOK_NOTE && next.find('r') != std::string_view::npos;
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
  // In the order of the token kinds; a keyword matches only as the whole token, case and all.
  static constexpr std::string_view keywords[] = {
      "/",    "end", "units", "treble", "alto", "tenor", "bass", "key", "rest",
      "copy", "up",  "down",  "tempo",  "l",    "e",     "h",    "q",   "s",
  };
  for (size_t i = 0; i < std::size(keywords); ++i) {
    if (token == keywords[i]) return static_cast<TokenKind>(TOK_BAR + i);
  }
  if (isanum(token)) return TOK_NUMBER;
  if (isallupper(token)) return TOK_UPPER;
  return TOK_NOTE;
}
