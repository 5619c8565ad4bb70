#include "driver/errors.h"

#include <cstdarg>
#include <cstdio>

namespace {

// The format attribute lets clang check the callers' formats instead of warning here.
__attribute__((format(printf, 1, 0))) std::string vformat_text(const char* fmt, va_list args) {
  va_list again;
  va_copy(again, args);
  char small[256];
  int n = std::vsnprintf(small, sizeof small, fmt, args);
  std::string text;
  if (n < 0) {
    text = fmt;  // a broken format is still better reported than lost
  } else if (static_cast<size_t>(n) < sizeof small) {
    text.assign(small, static_cast<size_t>(n));
  } else {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), fmt, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return text;
}

}  // namespace

void fail(ExitStatus status, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat_text(fmt, args);
  va_end(args);
  throw RunError(status, text);
}

std::string format_text(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat_text(fmt, args);
  va_end(args);
  return text;
}
