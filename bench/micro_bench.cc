// Micro-benchmarks of the per-token path: reading and classifying tokens, translating notes,
// and a whole conversion held in memory. Figures only; nothing here asserts a speed.
#include <benchmark/benchmark.h>

#include <istream>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "base/diagnostic.h"
#include "input/byte_source.h"
#include "input/token_reader.h"
#include "music_gen.h"
#include "notes/note.h"
#include "notes/pitch.h"
#include "pn2tavix/pn2tavix.h"

namespace pn2tavix::detail {
namespace {

// Serves a text held in memory without copying it, as a file's bytes would be served.
class MemoryBuf : public std::streambuf {
 public:
  explicit MemoryBuf(const std::string& text) {
    char* begin = const_cast<char*>(text.data());  // only read: the get area is never written
    setg(begin, begin, begin + text.size());
  }
};

// Takes everything and keeps nothing, like standard output sent to /dev/null.
class NullBuf : public std::streambuf {
 protected:
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
  int overflow(int c) override { return traits_type::not_eof(c); }
};

const std::string& music() {
  static const std::string text = [] {
    std::string t;
    generate_music(t, 1 << 20, 42);
    return t;
  }();
  return text;
}

// Every title and token of the music, as the driver reads them.
void BM_ReadTokens(benchmark::State& state) {
  const std::string& text = music();
  size_t tokens = 0;
  for (auto _ : state) {
    MemoryBuf buf(text);
    std::istream in(&buf);
    ByteSource source(in, "music");
    Failure failure;
    TokenReader reader(source, failure);
    std::string title;
    while (read_title(reader, title) == TitleRead::kTitle) {
      TokenKind kind;
      do {
        const Token* token = read_token(reader);
        if (token == nullptr) {
          state.SkipWithError(message_text(failure).c_str());
          return;
        }
        kind = parse_token(*token);
        benchmark::DoNotOptimize(kind);
        ++tokens;
      } while (kind != TokenKind::TOK_END);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["tokens/s"] =
      benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadTokens);

// A treble-clef passage with every sign a note token may hold; each row is one measure.
const std::vector<std::vector<std::string>>& passage() {
  static const std::vector<std::vector<std::string>> measures = {
      {"4q4", "2)4", "r4"},
      {"6c8", "7c8", "8c8", "2q4", ","},
      {"7(8.", ",", ",b", "7q8", "r,", "5-e16", "r16"},
      {"0a4", "9h4x.", "3(,", "11)((s16", "r8c", "1lc8", ",c", "2r16"},
  };
  return measures;
}

// Note translation alone: the token read ahead is put in place beforehand, as if just peeked.
void BM_TranslateNotes(benchmark::State& state) {
  std::string empty;
  MemoryBuf buf(empty);
  std::istream in(&buf);
  ByteSource source(in, "none");
  Failure failure;
  TokenReader reader(source, failure);
  PitchState pitch;
  NoteState notes;
  NoteContext ctx{notes, pitch, reader, failure};
  char room[kNoteLineMax];
  NoteLine line{room};
  std::vector<Token> tokens;
  std::vector<size_t> measure_ends;
  for (const auto& m : passage()) {
    for (const std::string& t : m) {
      tokens.push_back(make_token(t));
    }
    measure_ends.push_back(tokens.size());
  }
  long filled = 0;
  for (auto _ : state) {
    size_t i = 0;
    for (size_t end : measure_ends) {
      for (; i < end; ++i) {
        reader.peek_buf() = tokens[(i + 1) % tokens.size()];
        reader.peek_buf_flag = true;
        const int n = parse_note(ctx, tokens[i], line);
        if (n == kNoteFailed) {
          state.SkipWithError(message_text(failure).c_str());
          return;
        }
        filled += n;
      }
      clear_sticky_accid(notes);
    }
    reader.peek_buf_flag = false;
  }
  benchmark::DoNotOptimize(filled);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * tokens.size()));
}
BENCHMARK(BM_TranslateNotes);

// A whole conversion from a stream, output discarded.
void BM_Convert(benchmark::State& state) {
  const std::string& text = music();
  NullBuf null;
  std::ostream out(&null);
  std::ostream err(&null);
  for (auto _ : state) {
    MemoryBuf buf(text);
    std::istream in(&buf);
    if (pn2tavix::convert(in, out, err) != 0) {
      state.SkipWithError("the generated music did not convert");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Convert);

// A whole conversion of a string into a result, with the output kept.
void BM_ConvertString(benchmark::State& state) {
  const std::string& text = music();
  for (auto _ : state) {
    const Result r = pn2tavix::convert(text);
    if (r.status != 0) {
      state.SkipWithError("the generated music did not convert");
      return;
    }
    benchmark::DoNotOptimize(r.output.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ConvertString);

}  // namespace
}  // namespace pn2tavix::detail

BENCHMARK_MAIN();
