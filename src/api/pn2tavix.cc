// The public functions: a conversion from a string, a stream or a file into a result, and from
// a stream or a file to streams as the program does it. Each makes its own byte source, sink
// and message handler over the one conversion.
#include "pn2tavix/pn2tavix.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "api/midi.h"
#include "api/timeline.h"
#include "base/diagnostic.h"
#include "driver/driver.h"
#include "driver/sink.h"
#include "input/byte_source.h"

namespace pn2tavix {

std::string_view version() noexcept { return PN2TAVIX_VERSION; }

namespace detail {
namespace {

// Keeps every message and title for the caller.
class Collect final : public MessageHandler {
 public:
  explicit Collect(Result& to) : to_(to) {}
  void report(Message message) override { to_.messages.push_back(std::move(message)); }
  void title(Title title) override {
    if (to_.titles.empty()) to_.title = title.text;
    to_.titles.push_back(std::move(title));
  }

 private:
  Result& to_;
};

// Writes what the program prints: "NAME: text", one line each.
class Print final : public MessageHandler {
 public:
  Print(std::ostream& err, std::string_view me) : err_(err), me_(me) {}
  void report(Message message) override {
    if (!message.printed) return;
    print(message.text);
  }
  void print(std::string_view text) {
    err_ << me_ << ": " << text << '\n';
    err_.flush();
  }
  void print(Code code) {
    Failure f;
    f.code = code;
    print(message_text(f));
  }

 private:
  std::ostream& err_;
  std::string_view me_;
};

// Runs a conversion. The one place where what a conversion throws is caught (guarded and
// printed catch only running out of memory before it begins): nothing in the conversion throws,
// but the system may run out of memory, and a caller's stream buffer may throw; either ends the
// conversion with its message, after what was written before it.
int convert_caught(ByteSource& source, Sink& sink, MessageHandler& messages, bool lines,
                   EventHandler* events) {
  Failure f;
  try {
    return convert_source(source, sink, messages, lines, events);
  } catch (const std::bad_alloc&) {
    f.code = Code::kOutOfMemory;
  } catch (const std::exception& e) {
    if (source.in_caller_stream()) {
      f.code = Code::kReadError;
      f.word = source.name();
      f.reason = e.what();
    } else if (sink.in_caller_stream) {
      f.code = Code::kWriteError;
      sink.failed = true;  // the stream is not called again
    } else {
      throw;
    }
  }
  try {
    flush_output(sink);
  } catch (const std::exception&) {
    // The first error is the one worth reporting.
  }
  Message m = make_message(f);
  const int status = m.status;
  messages.report(std::move(m));
  return status;
}

// Tavix text runs about five times the length of the music it comes from. Given the input's
// size, the output is given room for six times it at once, rather than doubled and copied as
// it grows: 5 % of the module's conversion time for 5 MB, and 30 MB less memory (bench/README.md,
// "The module's round"). At most kOutputRoomMax at once: past that the string grows as it must.
constexpr size_t kOutputPerInput = 6;
constexpr size_t kOutputRoomMax = size_t{256} << 20;

Result convert_into(ByteSource& source, const Options& options, size_t input_size = 0) {
  Result result;
  const bool keep = options.keep_output && options.write_to == nullptr;
  if (keep) {
    result.output.reserve(std::min(input_size, kOutputRoomMax / kOutputPerInput) * kOutputPerInput);
  }
  Collect collect(result);
  std::optional<Sink> sink;
  if (options.write_to != nullptr) {
    sink.emplace(options.write_to);
  } else {
    sink.emplace(keep ? &result.output : static_cast<std::string*>(nullptr));
  }
  // The MIDI file is made from the timeline, which is then kept only if asked for.
  const bool timed = options.timeline || options.midi;
  KeepEvents events(options.note_events ? &result.notes : nullptr,
                    timed ? &result.timeline : nullptr);
  const bool any = options.note_events || timed;
  result.status = convert_caught(source, *sink, collect, true, any ? &events : nullptr);
  events.finish();
  if (options.midi && result.status == 0) result.midi = write_midi(result.timeline, result.title);
  if (!options.timeline) result.timeline = {};
  return result;
}

// A message for a conversion that cannot start, with the status it ends with.
Message refusal(Code code, std::string reason) {
  Failure f;
  f.code = code;
  f.reason = std::move(reason);
  return make_message(f);
}

// The one message for a C stream that is a null pointer, in a result or printed.
Message null_c_stream() {
  return refusal(Code::kUnreadableInput, "the C stream is a null pointer");
}

// Why a stream cannot be read from; nothing when it can.
std::optional<Message> unusable_input(std::istream& in) {
  if (in.rdbuf() == nullptr) return refusal(Code::kUnreadableInput, "the stream has no buffer");
  if (!in.fail()) return std::nullopt;
  // A file stream that failed to open: said as the program says it of a file.
  if (const auto* file = dynamic_cast<const std::ifstream*>(&in); file && !file->is_open()) {
    return refusal(Code::kCannotOpen, "the input file stream is not open");
  }
  return refusal(Code::kUnreadableInput, "the stream has already failed");
}

std::optional<Message> unusable_output(std::ostream& out) {
  if (out.rdbuf() == nullptr) return refusal(Code::kUnwritableOutput, "the stream has no buffer");
  if (out.fail()) return refusal(Code::kUnwritableOutput, "the stream has already failed");
  return std::nullopt;
}

// Streams to streams, as the program converts: `run` refuses what cannot be used or converts,
// and running out of memory before the conversion has begun is the program's "Out of memory".
template <typename Run>
int printed(std::ostream& err, std::string_view program_name, Run run) {
  Print print(err, program_name);
  try {
    return run(print);
  } catch (const std::bad_alloc&) {
    print.print(Code::kOutOfMemory);
    return 1;
  }
}

// A refusal printed as the program prints it: its message, then each hint on a line of its own.
int refuse(Print& print, const Message& refused) {
  print.print(refused.text);
  for (const Hint& h : refused.hints) print.print(h.text);
  return refused.status;
}

int convert_to_streams(ByteSource& source, std::ostream& out, Print& print) {
  Sink sink(out.rdbuf());
  return convert_caught(source, sink, print, false, nullptr);  // the program prints no places
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` for reading as the program does, or says why it cannot: the message, with the
// system's reason as its one hint (the program prints it as a second line).
std::optional<Message> open_file(const char* path, File& file) {
  file.reset(std::fopen(path, "r"));
  int open_error = errno;
  struct stat st;
  // A directory opens for reading here but holds no text: refuse it like a missing file.
  if (file != nullptr && fstat(fileno(file.get()), &st) == 0 && S_ISDIR(st.st_mode)) {
    file.reset();
    open_error = EISDIR;
  }
  if (file != nullptr) return std::nullopt;
  Failure f;
  f.code = Code::kCannotOpen;
  f.word = path;
  f.reason = std::strerror(open_error);
  return make_message(f);
}

Result refused_result(Message m) {
  Result r;
  r.status = m.status;
  r.messages.push_back(std::move(m));
  return r;
}

// Runs `convert` and turns running out of memory on the way into its message.
template <typename Convert>
Result guarded(Convert convert) {
  try {
    return convert();
  } catch (const std::bad_alloc&) {
    return refused_result(refusal(Code::kOutOfMemory, ""));
  }
}

}  // namespace
}  // namespace detail

Message message_of(Code code, std::string_view word, std::string_view reason) {
  detail::Failure f;
  f.code = code;
  f.word = word;
  f.reason = reason;
  return detail::make_message(f);
}

Result convert(std::string_view input, const Options& options) {
  return detail::guarded([&] {
    detail::ByteSource source(input);
    return detail::convert_into(source, options, input.size());
  });
}

Result convert(std::istream& in, const Options& options) {
  return detail::guarded([&] {
    if (auto refused = detail::unusable_input(in)) return detail::refused_result(*refused);
    detail::ByteSource source(in, "the input stream");
    return detail::convert_into(source, options);
  });
}

Result convert(std::FILE* in, const Options& options) {
  return detail::guarded([&] {
    if (in == nullptr) {
      return detail::refused_result(detail::null_c_stream());
    }
    detail::ByteSource source(in, in == stdin ? "standard input" : "the input file");
    return detail::convert_into(source, options);
  });
}

Result convert_file(const std::string& path, const Options& options) {
  return detail::guarded([&] {
    detail::File file;
    if (auto refused = detail::open_file(path.c_str(), file)) {
      return detail::refused_result(*refused);
    }
    detail::ByteSource source(file.get(), path);
    return detail::convert_into(source, options);
  });
}

int convert(std::istream& in, std::ostream& out, std::ostream& err, std::string_view program_name) {
  return detail::printed(err, program_name, [&](detail::Print& print) {
    std::optional<Message> refused = detail::unusable_input(in);
    if (!refused) refused = detail::unusable_output(out);
    if (refused) return detail::refuse(print, *refused);
    detail::ByteSource source(in, "standard input");
    return detail::convert_to_streams(source, out, print);
  });
}

int convert(std::FILE* in, std::ostream& out, std::ostream& err, std::string_view program_name) {
  return detail::printed(err, program_name, [&](detail::Print& print) {
    if (auto refused = detail::unusable_output(out)) return detail::refuse(print, *refused);
    if (in == nullptr) return detail::refuse(print, detail::null_c_stream());
    detail::ByteSource source(in, in == stdin ? "standard input" : "the input file");
    return detail::convert_to_streams(source, out, print);
  });
}

int convert_file(const std::string& path, std::ostream& out, std::ostream& err,
                 std::string_view program_name) {
  return detail::printed(err, program_name, [&](detail::Print& print) {
    if (auto refused = detail::unusable_output(out)) return detail::refuse(print, *refused);
    detail::File file;
    if (auto refused = detail::open_file(path.c_str(), file)) {
      return detail::refuse(print, *refused);
    }
    detail::ByteSource source(file.get(), path);
    return detail::convert_to_streams(source, out, print);
  });
}

}  // namespace pn2tavix
