// Owns the lexical level of the input: titles, tokens with a '/' split off their end, the one
// token read ahead, token kinds, and the place of each title and token in the input. Knows
// nothing of measures, statements or notes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/diagnostic.h"
#include "base/limits.h"
#include "input/byte_source.h"
#include "input/bytes16.h"
#include "pn2tavix/message.h"

namespace pn2tavix::detail {

constexpr size_t kTokenSize = kTokenMax + 1;  // with the NUL after the text

enum class TokenKind {
  TOK_BAR = 1,
  TOK_END,
  TOK_UNITS,
  TOK_TREBLE,
  TOK_ALTO,
  TOK_TENOR,
  TOK_BASS,
  TOK_KEY,
  TOK_REST,
  TOK_COPY,
  TOK_UP,
  TOK_DOWN,
  TOK_TEMPO,
  TOK_ARTIC_L,
  TOK_ARTIC_E,
  TOK_ARTIC_H,
  TOK_ARTIC_Q,
  TOK_ARTIC_S,
  TOK_NUMBER,
  TOK_UPPER,
  TOK_NOTE,
};

struct Token {
  // text[len] is NUL. The bytes past it are never part of the token, but they are always set,
  // so that the text may be read 16 bytes at a time.
  char text[kTokenSize] = {};
  size_t len = 0;
  // Found as the token is read, from the bytes then in hand, so that neither the driver nor
  // the lookahead after a note passes over the token again.
  TokenKind kind = TokenKind::TOK_NOTE;  // parse_token of the text
  bool has_r = false;                    // a lower-case 'r' anywhere in it
  // Where its first byte is. Stamped as it is read, so that a token read ahead after it does
  // not move the place of a message about it. (Its offset alone where lines are not counted.)
  Position at;
  std::string_view view() const { return {text, len}; }
};

constexpr size_t kWindowSize = 64;  // bytes of input whose tokens are found together

#if PN2TAVIX_HAVE_BYTES16
// The tokens found in a window of kWindowSize bytes of the buffered input, and what each byte
// of it is, one bit per byte (bit i for byte i of the window). Finding a window's tokens at
// once spares each token a wait for the end of the one before, and classifying its bytes at
// once spares each token a pass of its own (about 40 % of a conversion's time: bench/README.md,
// "The library round"). Only read_token delivers them; whatever else takes bytes from the input
// forgets them.
struct TokenWindow {
  uint64_t starts = 0;    // where the tokens not yet delivered start
  uint64_t ends = 0;      // and where each ends; 0 once the window's tokens are all delivered
  uint64_t digits = 0;    // the bytes '0' to '9'
  uint64_t upper = 0;     // the bytes 'A' to 'Z'
  uint64_t r = 0;         // the bytes 'r'
  uint64_t newlines = 0;  // the line feeds not yet counted
  uint64_t base = 0;      // the offset in the input of the window's first byte
  // Where the window's bytes are: kept here rather than asked of the input for each token,
  // whose place there the token before has only just moved.
  const char* data = nullptr;
  unsigned taken = 0;  // bytes of the window already taken from the input
  void forget() {
    starts = ends = 0;
    taken = 0;
  }
};
#endif

struct TokenReader {
  TokenReader(ByteSource& input, Failure& kept, bool lines = true)
      : in(input), failure(kept), count_lines(lines) {}
  ByteSource& in;
  Failure& failure;  // the conversion's: where a failure to read is kept
  // Whether tokens are stamped with their line and column, or with their offset alone: a
  // caller that shows no places (the program itself) is spared the counting of lines.
  bool count_lines;
  // Two token buffers that take turns: the token delivered last stays as it is while the next
  // one is read ahead into the other, which is then delivered where it lies, without a copy.
  Token buffers[2];
  unsigned delivered = 0;      // the buffer of the token delivered last
  bool peek_buf_flag = false;  // set exactly while peek_buf() holds a pending token
  /// The pending token, read ahead and not yet delivered, while peek_buf_flag is set.
  Token& peek_buf() { return buffers[delivered ^ 1]; }
#if PN2TAVIX_HAVE_BYTES16
  TokenWindow window;
#endif
  // Lines are counted as the bytes are taken: every '\n' begins one.
  uint64_t line = 1;          // the line of the next byte to be taken
  uint64_t line_start = 0;    // the offset of its first byte
  Position title_at;          // the first byte of the title read last, or the end of input
  Position title_end;         // the '/' that closed it, or the end of input
  bool title_closed = false;  // whether a '/' closed it
};

/// Where the next byte to be taken lies; at the end of input, the end.
Position next_position(const TokenReader& r);

enum class TitleRead {
  kTitle,   // a title was read
  kNone,    // the end of input, or an empty title
  kFailed,  // the Failure is kept in r.failure
};

/// Reads the next title into `title`. Never looks at the pending token.
TitleRead read_title(TokenReader& r, std::string& title);

/// For what follows the end of the piece, which nothing else reads: where its first byte that
/// is not white space lies, with the bytes of the run of non-white bytes there in `length`,
/// when a '/' follows somewhere; none otherwise. Takes the rest of the input.
std::optional<Position> next_unread(TokenReader& r, std::uint64_t& length);

/// Delivers the pending token if there is one, else reads the next token; null when reading
/// failed (end of input among them), with the Failure kept in r.failure. The token stays as
/// it is while the one after it is read ahead, until the next read_token after that.
const Token* read_token(TokenReader& r);

/// Reads the next token and keeps it pending, so that the next read_token delivers it again;
/// null as read_token.
const Token* peek_next_token(TokenReader& r);

/// Whether a token is a note or rest token holding an 'r'.
inline bool is_rest_token(const Token& t) { return t.has_r && t.kind == TokenKind::TOK_NOTE; }

bool isanum(std::string_view text);
bool isallupper(std::string_view text);
TokenKind parse_token(std::string_view token);
/// The same for a token that read_token delivered: the kind it found while reading.
inline TokenKind parse_token(const Token& token) { return token.kind; }

/// A token holding `text` (at most kTokenMax characters), classified as read_token would; for
/// callers that make tokens of their own, such as tests.
Token make_token(std::string_view text);

}  // namespace pn2tavix::detail
