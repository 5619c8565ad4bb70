#include "driver/driver.h"

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/chars.h"
#include "base/diagnostic.h"
#include "base/limits.h"
#include "base/line.h"
#include "base/scale.h"
#include "input/token_reader.h"
#include "notes/note.h"
#include "notes/pitch.h"

namespace pn2tavix::detail {
namespace {

constexpr int kHeaderTempo = 67;
constexpr int kTempoDividend = 11444;  // "$tempo" is this divided by the tempo statement's value

// The number at the start of `text` as the statement arguments are read: leading white space,
// an optional sign, then digits up to the first other character; no digits give 0. Returns
// false when the number does not fit an int.
bool to_int(std::string_view text, int& value) {
  size_t i = 0;
  while (i < text.size() && is_white(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && is_digit(static_cast<unsigned char>(text[i])); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

// The plain note value with no to two dots that gives `length` (64ths, or 96ths for a
// triplet: the n of "/Ln:64/"), fewest dots first; leaves `value` 0 where none gives it.
void written_value(int length, int& value, int& dots) {
  for (int v = 1; v <= kWholeNote; v *= 2) {
    const int base = kWholeNote / v;
    const int dotted[3] = {base, base + base / 2, base + base / 2 + base / 4};
    for (int d = 0; d < 3; ++d) {
      if (dotted[d] == length) {
        value = v;
        dots = d;
        return;
      }
    }
  }
}

// Statements whose argument a title that lacks its '/' would swallow: a title holding one of
// them, followed by what looks like its argument, is probably not a title at all.
std::string_view statement_in_title(std::string_view title) {
  static constexpr std::string_view numeric[] = {"units", "tempo", "rest", "copy", "up", "down"};
  std::string_view previous;
  size_t i = 0;
  while (i < title.size()) {
    while (i < title.size() && is_white(static_cast<unsigned char>(title[i]))) ++i;
    size_t end = i;
    while (end < title.size() && !is_white(static_cast<unsigned char>(title[end]))) ++end;
    if (end == i) break;
    const std::string_view word = title.substr(i, end - i);
    const char first = word[0];
    const bool number = is_digit(static_cast<unsigned char>(first)) ||
                        ((first == '-' || first == '+') && word.size() > 1 &&
                         is_digit(static_cast<unsigned char>(word[1])));
    if (previous == "key" && (first == '(' || first == '-' || first == ')')) return previous;
    for (std::string_view k : numeric) {
      if (previous == k && number) return k;
    }
    previous = word;
    i = end;
  }
  return {};
}

// Everything one conversion holds, made anew for each run.
struct Conversion {
  Conversion(ByteSource& source, bool lines, Sink& s, MessageHandler& m, EventHandler* e)
      : reader(source, failure, lines), sink(s), messages(m), events(e) {}

  Failure failure;  // the one that ends the conversion, kept where it is found
  TokenReader reader;
  Sink& sink;
  MessageHandler& messages;

  PitchState pitch;
  NoteState notes;
  NoteContext note_context{notes, pitch, reader, failure};
  std::string title;
  LineBuf<512> line;

  long long voice = 0;  // wide: nothing bounds the number of voices of a long input
  int measure = 1;
  long long count = 0;  // 192nds so far in the measure; wide, as nothing bounds a measure's notes
  std::optional<long long> measure_length;  // in 64ths; no value before the first "units"
  bool end_of_voice = false;
  // Whether the measure text belongs to the open measure: only a measure opened by its own
  // measure number has been collected, so only such a measure can be copied later.
  bool measure_opened = false;

  // Places, for the messages: that of the title or token being handled, pointed to as the
  // tokens go by (a token's buffer holds it while the one after it is read ahead), or kept in
  // `held` where a statement reads on past its arguments; and where the open measure began:
  // its measure number, else the first token read after the measure before it was closed
  // (kept only where places are shown). Each with the bytes of its token or title (a title is
  // held as a token of its own place and length).
  const Token* at = nullptr;
  Token held;
  Position measure_began;
  std::uint64_t measure_began_length = 0;
  bool measure_begins = true;
  bool reading_title = false;  // a title's messages belong to the voice it begins

  // What the hints about the open measure need, kept only where places are shown, a few values
  // per measure: the music counted in it that a "rest" or "copy" did not clear, and the note
  // with which it was full.
  static constexpr size_t kMaxCarries = 4;
  std::vector<Carry> carries;
  long long carried = 0;          // 192nds of the count that `carries` tell of
  long long full_at = LLONG_MAX;  // the count that fills the open measure; never, if not watched
  std::optional<Fill> fill;

  // Where the events go, for a caller that draws or plays the piece; null where none asked.
  EventHandler* events;

  void write_line() { tavix_out(sink, line.view()); }

  // The one switch for events: `tell` runs only for a caller that asked for them.
  template <typename What>
  void tell(What what) {
    if (events != nullptr) {
      what(*events);
    }
  }
  // An event of the measure: to the caller, and with the measure text into the store, so that
  // "copy" repeats both.
  template <typename Make>
  void record(Make make) {
    tell([&](EventHandler&) { emit(make()); });
  }
  void emit(const MeasureEvent& e) {
    collect_event(sink, e);
    events->measure_event(voice, measure, e);
  }

  // A warning: the conversion goes on. One that the program prints comes after the output
  // that led to it.
  Status warn(const Fault& fault) {
    if (sink.failed) return Status::kFailed;  // the write failure is what is reported
    Message m = complete(failure_of(fault));
    if (m.printed) {
      flush_output(sink);
      if (sink.failed) return Status::kFailed;
    }
    messages.report(std::move(m));
    return Status::kOk;
  }

  void point_at(const Token& token) { at = &token; }

  const Token* read_argument() {
    const Token* arg = read_token(reader);
    if (arg != nullptr) point_at(*arg);
    return arg;
  }

  Status read_int_arg(std::string_view keyword, int& value) {
    const Token* arg = read_argument();
    if (arg == nullptr) return Status::kFailed;
    if (!to_int(arg->view(), value)) {
      return fail(failure,
                  {.code = Code::kNumberOutOfRange, .word = arg->view(), .keyword = keyword});
    }
    return Status::kOk;
  }

  Status check_measure_limit() {
    if (measure > kMaxMeasures) {
      return fail_with(failure, [] { return Fault{.code = Code::kTooManyMeasures}; });
    }
    return Status::kOk;
  }

  Status expected_count(long long& expected) {
    if (!measure_length) return fail(failure, {.code = Code::kNoUnits});
    expected = 3 * *measure_length;
    return Status::kOk;
  }

  void close_measure() {
    ++measure;
    measure_opened = false;
    measure_begins = true;
    watch_fill();
  }

  void watch_fill() {
    fill.reset();
    full_at = reader.count_lines && measure_length ? 3 * *measure_length : LLONG_MAX;
  }
  // A "rest" or "copy" closes the open measure and leaves its count as it is: the music counted
  // so far is counted again in the next measure.
  void carry(std::string_view keyword) {
    if (!reader.count_lines || count == carried) return;
    if (carries.size() < kMaxCarries) {
      carries.push_back({.amount = count - carried,
                         .measure = measure,
                         .from = measure_began,
                         .from_length = measure_began_length,
                         .keyword = keyword,
                         .by = held.at,
                         .by_length = held.len});
    }
    carried = count;
  }
  void clear_count() {
    count = 0;
    carries.clear();
    carried = 0;
  }

  // Formed in the output block itself, as a note's line is: every measure writes one.
  void write_end_of_measure() {
    constexpr std::string_view head = "# End measure ";
    constexpr std::string_view middle = " of voice ";
    constexpr size_t room = head.size() + kNumberRoom + middle.size() + kNumberRoom + 2;
    char* const start = open_line(sink, room);
    char* end = put_text(start, head);
    end = put_number(end, measure);
    end = put_text(end, middle);
    end = put_number(end, voice);
    end = put_text(end, "\n\n");
    close_line(sink, static_cast<size_t>(end - start));
  }

  void start_voice() {
    ++voice;
    // Written before anything is reset: while collecting is still on from the voice before,
    // these lines go into the measure text too.
    line.clear()
        .str("@channel ")
        .num(voice)
        .str(" {\n$patch flute\n$attack 127\n$decay 127\n$reverb 0\n$chorus 0\n");
    write_line();
    tavix_out(sink, voice <= 2 ? "$pan 127\n" : "$pan 0\n");
    tell([&](EventHandler& h) { h.voice_started(voice, title, voice <= 2 ? 127 : 0); });
    reset_for_voice(pitch);
    end_of_voice = false;
    measure = 1;
    clear_count();
    measure_opened = false;
    measure_begins = true;
    watch_fill();
    reset_for_voice(notes);
    clear_store(sink);
  }

  Status bar_line() {
    long long expected = 0;
    if (expected_count(expected) == Status::kFailed) return Status::kFailed;
    if (count != expected) {
      return fail(failure, {.code = Code::kMeasureCount, .number = count, .other = expected});
    }
    // A failed write is reported once it is seen; what follows would not be written.
    if (sink.failed) return Status::kFailed;
    // Filed before its last line is written, while its text is still at the end of the output.
    if (measure_opened) {
      file_measure_text(sink, measure);
    } else {
      stop_collecting(sink);
      file_unopened_measure(sink, measure);
    }
    write_end_of_measure();
    clear_count();
    clear_sticky_accid(notes);
    tell([&](EventHandler& h) {
      h.measure_closed(voice, measure, EventHandler::MeasureKind::kWritten, 0);
    });
    close_measure();
    return Status::kOk;
  }

  Status key_signature() {
    const Token* arg = read_argument();
    if (arg == nullptr) return Status::kFailed;
    const std::string_view sig = arg->view();
    int n = 0;
    if (sig[0] == ')') {
      pitch.cur_key_sharp_flat = 0;
      pitch.cur_key_num_sharp_flat = 0;
      return Status::kOk;
    }
    // The tables know 0 to 7 sharps or flats; any other count is as bogus as a wrong sign.
    if ((sig[0] != '-' && sig[0] != '(') || !to_int(sig.substr(1), n) || n < 0 ||
        n > kMaxKeyCount) {
      return fail(failure, {.code = Code::kBadKey, .word = sig});
    }
    pitch.cur_key_sharp_flat = sig[0] == '(' ? 1 : -1;
    pitch.cur_key_num_sharp_flat = n;
    tell([&](EventHandler& h) {
      h.changed(voice, measure, count, EventHandler::Change::kKey, pitch.cur_key_sharp_flat * n,
                arg->at);
    });
    return Status::kOk;
  }

  // Keeps the place of the statement being handled, for its messages after its arguments.
  void hold_place() {
    held.at = at->at;
    held.len = at->len;
    point_at_held();
  }
  void point_at_held() { at = &held; }

  Status whole_measure_rests() {
    hold_place();
    if (count != 0 && warn({.code = Code::kRestInFullMeasure}) == Status::kFailed) {
      return Status::kFailed;
    }
    int n = 0;
    if (read_int_arg("rest", n) == Status::kFailed) return Status::kFailed;
    point_at_held();
    if (n > 0) carry("rest");
    for (int i = 0; i < n; ++i) {
      long long expected = 0;
      // A rest fills a measure, whose length must be known.
      if (check_measure_limit() == Status::kFailed || expected_count(expected) == Status::kFailed) {
        return Status::kFailed;
      }
      // A measure not opened by its number holds a stale text; the rest measure holds its own.
      if (!measure_opened) empty_measure_text(sink);
      start_collecting(sink);
      line.clear().str("/L").num(*measure_length).str(":64/r\n");
      write_line();
      record([&] {
        return MeasureEvent{.kind = MeasureEvent::Kind::kRest,
                            .length = expected,
                            .measure_length = expected,
                            .whole_measure = true,
                            .at = at->at,
                            .token_length = at->len};
      });
      file_measure_text(sink, measure);
      write_end_of_measure();
      tell([&](EventHandler& h) {
        h.measure_closed(voice, measure, EventHandler::MeasureKind::kWholeRest, 0);
      });
      close_measure();
    }
    return Status::kOk;
  }

  Status copy_measures() {
    hold_place();
    int first = 0;
    int last = 0;
    if (read_int_arg("copy", first) == Status::kFailed) return Status::kFailed;
    if (read_int_arg("copy", last) == Status::kFailed) return Status::kFailed;
    point_at_held();
    if (first <= last) carry("copy");
    // Each copy is filed before the next is taken, so a range that reaches the current
    // measure repeats copies made by this same statement.
    for (long long i = first; i <= last; ++i) {
      if (check_measure_limit() == Status::kFailed) return Status::kFailed;
      const int from = static_cast<int>(i);
      switch (stored_state(sink, from)) {
        case StoredMeasure::kText:
          break;
        case StoredMeasure::kNone:
          return fail(failure, {.code = Code::kCopyNotWritten, .number = from});
        case StoredMeasure::kUnopened:
          return fail(failure, {.code = Code::kCopyNotOpened, .number = from});
        case StoredMeasure::kTooLong:
          return fail(failure, {.code = Code::kCopyTooLong, .number = from});
      }
      // Its text and events again, each as the open measure's; filed after, as filing may
      // move the stored measures.
      for (const MeasureEvent& e : replay_measure(sink, from)) emit(e);
      file_copy_of_measure(sink, from, measure);
      tell([&](EventHandler& h) {
        h.measure_closed(voice, measure, EventHandler::MeasureKind::kCopy, from);
      });
      write_end_of_measure();
      close_measure();
    }
    return Status::kOk;
  }

  Status tempo() {
    int n = 0;
    if (read_int_arg("tempo", n) == Status::kFailed) return Status::kFailed;
    if (n > kMaxTempo) return fail(failure, {.code = Code::kTempoTooHigh, .number = n});
    if (n == 0) return fail(failure, {.code = Code::kTempoZero});
    if (n < 0) {
      const Fault negative{.code = Code::kNegativeTempo, .number = n, .other = kTempoDividend / n};
      if (warn(negative) == Status::kFailed) return Status::kFailed;
    }
    line.clear().str("$tempo ").num(kTempoDividend / n).str("\n");
    write_line();
    record([&] {
      return MeasureEvent{.kind = MeasureEvent::Kind::kTempo,
                          .start = count,
                          .value = kTempoDividend / n,
                          .at = at->at,
                          .token_length = at->len};
    });
    return Status::kOk;
  }

  Status measure_number(const Token& token) {
    // The token is all digits, so its value needs none of the argument rules; -1 stands for
    // a number too large for an int, which is still a mismatch, named as written.
    long long value = 0;
    for (char c : token.view()) {
      value = value * 10 + (c - '0');
      if (value > INT_MAX) {
        value = -1;
        break;
      }
    }
    if (value != measure) {
      return fail(failure, {.code = Code::kMeasureNumber, .number = value, .word = token.view()});
    }
    empty_measure_text(sink);
    start_collecting(sink);
    measure_opened = true;
    measure_began = token.at;  // where the writer began the measure
    measure_began_length = token.len;
    return Status::kOk;
  }

  Status note_or_rest(const Token& token) {
    NoteLine note_line{open_line(sink, kNoteLineMax)};
    const int filled = parse_note(note_context, token, note_line);
    if (filled > 0) {
      record([&] { return note_event(token, note_line, filled); });
      count += filled;
      close_line(sink, note_line.len);
      // One test for what is rare: the measure full (where it is watched), a stray letter.
      if ((count >= full_at) | note_line.ignored_letter) [[unlikely]] {
        return rare_note(token, filled, note_line.ignored_letter);
      }
      return Status::kOk;
    }
    if (filled == kNoteFailed) return Status::kFailed;
    if (note_line.len == 0) return Status::kOk;  // a token passed over: a word such as "Adagio"
    if (warn_no_length(token) == Status::kFailed) return Status::kFailed;
    return note_line.ignored_letter ? warn_ignored_letter(token) : Status::kOk;
  }

  [[gnu::noinline]] Status rare_note(const Token& token, int filled, bool ignored_letter) {
    if (count >= full_at) {
      fill = Fill{.at = token.at, .length = token.len, .before = count - filled, .after = count};
      full_at = LLONG_MAX;
    }
    return ignored_letter ? warn_ignored_letter(token) : Status::kOk;
  }

  // A letter that no rule of a note reads: a slip for one that does, as often as not.
  [[gnu::noinline]] Status warn_ignored_letter(const Token& token) {
    const size_t i = ignored_letter_in(token.view());
    Position place = token.at;  // a token lies on one line
    place.column += i;
    place.offset += i;
    return warn({.code = Code::kIgnoredLetter,
                 .letter = token.text[i],
                 .word = token.view(),
                 .at = place,
                 .length = 1});
  }

  // A note formed, yet of no length: a note value above 64, or a repeat of such a note.
  Status warn_no_length(const Token& token) {
    const bool own_value = token.view().find(',') == std::string_view::npos;
    return warn({.code = Code::kNoteWithoutLength, .number = own_value, .word = token.view()});
  }

  Status end_voice() {
    if (count != 0) {
      // Placed at the music that is never checked: the earliest that the count holds.
      const bool from_before = !carries.empty();
      const Fault unchecked{
          .code = Code::kUncheckedMeasure,
          .at = from_before ? carries.front().from : measure_began,
          .length = from_before ? carries.front().from_length : measure_began_length};
      if (warn(unchecked) == Status::kFailed) return Status::kFailed;
    }
    tavix_out(sink, "}\n\n");
    end_of_voice = true;
    return Status::kOk;
  }

  // A note or rest token as written out. Its written value is the plain one, with no to two
  // dots, whose length its line gives; 0 where no such value gives it.
  MeasureEvent note_event(const Token& token, const NoteLine& n, int filled) const {
    const bool rest = n.letter == 'r';
    MeasureEvent e{.kind = rest ? MeasureEvent::Kind::kRest : MeasureEvent::Kind::kNote,
                   .start = count,
                   .length = filled,
                   .measure_length = measure_length ? 3 * *measure_length : 0,
                   .value = n.shortening,
                   .triplet = n.triplet,
                   .at = token.at,
                   .token_length = token.len};
    written_value(n.length, e.note_value, e.dots);
    if (!rest) {
      e.letter = n.letter;
      e.accidental = n.accid;
      e.octave = n.octave - '0';
      e.semitone = semitone_of(n.letter, n.accid, n.octave);
    }
    return e;
  }

  Status statement(const Token& token) {
    point_at(token);
    if (reader.count_lines && measure_begins) {  // only where places are shown
      measure_began = token.at;
      measure_began_length = token.len;
      measure_begins = false;
    }
    switch (parse_token(token)) {
      case TokenKind::TOK_BAR:
        return bar_line();
      case TokenKind::TOK_END:
        return end_voice();
      case TokenKind::TOK_UNITS:
        return units();
      case TokenKind::TOK_TREBLE:
        return clef(token, 0);
      case TokenKind::TOK_ALTO:
        return clef(token, 1);
      case TokenKind::TOK_TENOR:
        return clef(token, 2);
      case TokenKind::TOK_BASS:
        return clef(token, 3);
      case TokenKind::TOK_KEY:
        return key_signature();
      case TokenKind::TOK_REST:
        return whole_measure_rests();
      case TokenKind::TOK_COPY:
        return copy_measures();
      case TokenKind::TOK_UP:
      case TokenKind::TOK_DOWN:
        return transposition(parse_token(token) == TokenKind::TOK_UP);
      case TokenKind::TOK_TEMPO:
        return tempo();
      case TokenKind::TOK_ARTIC_L:
      case TokenKind::TOK_ARTIC_E:
      case TokenKind::TOK_ARTIC_H:
      case TokenKind::TOK_ARTIC_Q:
      case TokenKind::TOK_ARTIC_S:
        notes.cur_artic = artic_divisor(token.text[0]);
        break;
      case TokenKind::TOK_NUMBER:
        return measure_number(token);
      case TokenKind::TOK_UPPER:
        break;  // words such as FINE are passed over
      case TokenKind::TOK_NOTE:
        return note_or_rest(token);
    }
    return Status::kOk;
  }

  Status clef(const Token& token, int clef) {
    pitch.cur_clef = clef;
    tell([&](EventHandler& h) {
      h.changed(voice, measure, count, EventHandler::Change::kClef, clef, token.at);
    });
    return Status::kOk;
  }

  Status units() {
    int n = 0;
    if (read_int_arg("units", n) == Status::kFailed) return Status::kFailed;
    measure_length = 2LL * n;
    if (!fill) watch_fill();
    line.clear().str("$time_sig ").num(*measure_length).str("/64\n");
    write_line();
    record([&] {
      return MeasureEvent{.kind = MeasureEvent::Kind::kMeasureLength,
                          .start = count,
                          .measure_length = 3 * *measure_length,
                          .value = *measure_length,
                          .at = at->at,
                          .token_length = at->len};
    });
    return Status::kOk;
  }

  Status transposition(bool up) {
    int n = 0;
    if (read_int_arg(up ? "up" : "down", n) == Status::kFailed) return Status::kFailed;
    notes.cur_transposition = up ? n : -static_cast<long long>(n);
    return Status::kOk;
  }

  // A title whose '/' is missing swallows what follows it, up to the next '/'.
  Status check_title() {
    std::string_view t = title;
    while (!t.empty() && is_white(static_cast<unsigned char>(t.back()))) t.remove_suffix(1);
    const std::string_view word = statement_in_title(t);
    if (t.find('\n') == std::string_view::npos && word.empty()) return Status::kOk;
    return warn({.code = Code::kSuspectTitle, .word = word});
  }

  TitleRead read_next_title() {
    reading_title = true;
    const TitleRead read = read_title(reader, title);
    held.at = reader.title_at;
    held.len = read == TitleRead::kFailed ? 0 : title.size();
    point_at_held();
    if (read == TitleRead::kTitle) {
      messages.title(
          {.voice = voice + 1, .text = title, .at = reader.title_at, .end = reader.title_end});
    }
    return read;
  }

  Status convert() {
    switch (read_next_title()) {
      case TitleRead::kTitle:
        break;
      case TitleRead::kNone:
        return fail(failure, {.code = Code::kNoTitle});
      case TitleRead::kFailed:
        return Status::kFailed;
    }
    if (check_title() == Status::kFailed) return Status::kFailed;
    reading_title = false;
    // The title goes out exactly as read, without escaping.
    line.clear()
        .str("@head {\n$title \"")
        .str(title)
        .str("\"\n$tempo ")
        .num(kHeaderTempo)
        .str("\n$resolution 96\n}\n\n@body {\n");
    write_line();
    for (;;) {
      start_voice();
      while (!end_of_voice) {
        // Tested before the token is read: once measure 5000 is closed, not even "end" follows.
        if (check_measure_limit() == Status::kFailed) return Status::kFailed;
        const Token* token = read_token(reader);
        if (token == nullptr || statement(*token) == Status::kFailed) return Status::kFailed;
      }
      // Only the first title reaches the output; the others just start voices.
      const TitleRead next = read_next_title();
      if (next == TitleRead::kFailed) return Status::kFailed;
      if (next == TitleRead::kNone) break;
      if (check_title() == Status::kFailed) return Status::kFailed;
      reading_title = false;
    }
    if (unread_input() == Status::kFailed) return Status::kFailed;
    tavix_out(sink, "}\n\n");
    return Status::kOk;
  }

  // An empty title ends the piece: whatever follows its '/' is never read. Looked for only
  // where places are shown; the program itself reads no further.
  Status unread_input() {
    if (!reader.count_lines || !reader.title_closed) return Status::kOk;
    std::uint64_t length = 0;
    const std::optional<Position> rest = next_unread(reader, length);
    if (!rest) return Status::kOk;
    return warn({.code = Code::kUnreadInput, .at = *rest, .length = length});
  }

  // The runs of measures that "copy" can repeat now.
  std::vector<std::pair<int, int>> copyable() const {
    std::vector<std::pair<int, int>> runs;
    for (int m = 1; m < measure && m <= kMaxMeasures; ++m) {
      if (stored_state(sink, m) != StoredMeasure::kText) continue;
      if (!runs.empty() && runs.back().second == m - 1) {
        runs.back().second = m;
      } else {
        runs.emplace_back(m, m);
      }
    }
    return runs;
  }

  // The clef and transposition in force, for the hints about a note out of range.
  NoteRange note_range() const {
    static constexpr std::string_view clefs[] = {"treble", "alto", "tenor", "bass"};
    char letter = 'c';
    char octave = '0';
    Failure unused;
    (void)pitch2tavix(pitch, 0, letter, octave, unused);
    return {.clef = clefs[pitch.cur_clef],
            .lowest_step = 7 * (octave - '0') + step_of_letter(letter),
            .transposition = notes.cur_transposition};
  }

  // Adds to a failure what the conversion knows of where it happened: the places that its
  // message and hints point at, the measure and the voice.
  Message complete(Failure f) const {
    if (!has_place(f.code)) return make_message(f);
    if (!f.at && at != nullptr) {
      f.at = at->at;
      f.length = at->len;
    }
    f.measure = voice > 0 ? measure : 0;
    f.voice = voice;
    if (reading_title) {
      // Before any measure of the voice it begins; the end of the piece begins none.
      const bool begins_voice = f.code != Code::kNoTitle && f.code != Code::kUnreadInput;
      f.voice = begins_voice ? voice + 1 : 0;
      f.measure = 0;
    }
    f.measure_began = measure_began;
    f.measure_began_length = measure_began_length;
    f.title_end = reader.title_end;
    f.title_end_length = reader.title_closed ? 1 : 0;
    f.title_at = reader.title_at;
    f.title_length = title.size();
    if (at != nullptr) {
      f.handled = at->at;
      f.handled_length = at->len;
    }
    f.count = count;
    if (measure_length) f.expected = 3 * *measure_length;
    f.carried = carries;
    f.filled = fill;
    switch (f.code) {
      case Code::kCopyNotWritten:
      case Code::kCopyNotOpened:
      case Code::kCopyTooLong:
        f.copyable = copyable();
        break;
      case Code::kOctaveTooLow:
      case Code::kOctaveTooHigh:
      case Code::kTransposedOutOfRange:
        f.notes = note_range();
        break;
      default:
        break;
    }
    return make_message(f);
  }
};

// The message of a write that failed.
Message write_failure(const Sink& sink) {
  Failure f;
  f.code = Code::kWriteError;
  if (sink.write_error != 0) f.reason = std::strerror(sink.write_error);
  return make_message(f);
}

}  // namespace

int convert_source(ByteSource& source, Sink& sink, MessageHandler& messages, bool lines,
                   EventHandler* events) {
  Conversion conversion(source, lines, sink, messages, events);
  const Status status = conversion.convert();
  // A write that failed is the first failure: whatever came after it went unwritten.
  const bool write_failed_first = sink.failed;
  flush_output(sink);  // what was written before an error stays written
  if (status == Status::kOk && !sink.failed) return 0;
  Message error = status == Status::kOk || write_failed_first
                      ? write_failure(sink)
                      : conversion.complete(conversion.failure);
  const int exit_status = error.status;
  messages.report(std::move(error));
  return exit_status;
}

}  // namespace pn2tavix::detail
