// The one way a conversion ends early: a RunError carries the message and the exit status
// up to run(), which alone writes it. Nothing below run() exits or prints to stderr.
#pragma once

#include <stdexcept>
#include <string>

enum ExitStatus { kExitOk = 0, kExitError = 1, kExitMeasureMismatch = 2 };

class RunError : public std::runtime_error {
 public:
  RunError(ExitStatus status, const std::string& text)
      : std::runtime_error(text), status_(status) {}
  ExitStatus status() const { return status_; }

 private:
  ExitStatus status_;
};

/// Ends the run with `status`; the text is formatted without the leading "me: " and without
/// the final newline, which run() adds.
[[noreturn]] void fail(ExitStatus status, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));

/// Formats into a std::string; for messages and the rare warning, never for note lines.
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
