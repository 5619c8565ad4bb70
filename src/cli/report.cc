#include "cli/report.h"

#include <cstdio>

namespace pn2tavix::cli {

std::string printable_name(std::string_view name) {
  const auto plain = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._-/+@%,=~#").find(static_cast<char>(c)) != std::string_view::npos;
  };
  // The length of the UTF-8 character at `i`, or 0 where the bytes there are not one.
  const auto utf8_length = [&](size_t i) -> size_t {
    const auto c = static_cast<unsigned char>(name[i]);
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c >= 0xF5 || i + n > name.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80) return 0;
    }
    return n;
  };
  bool quote = name.empty();
  for (size_t i = 0; i < name.size() && !quote;) {
    const auto c = static_cast<unsigned char>(name[i]);
    const size_t n = c < 0x80 ? (plain(c) ? 1 : 0) : utf8_length(i);
    if (n == 0) quote = true;
    i += n;
  }
  if (!quote) return std::string(name);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string q = "\"";
  for (size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    const size_t n = c >= 0x80 ? utf8_length(i) : 0;
    if (n > 0) {
      q.append(name.substr(i, n));
      i += n;
      continue;
    }
    ++i;
    if (c == '"' || c == '\\') {
      q += '\\';
      q += static_cast<char>(c);
    } else if (c == '\t') {
      q += "\\t";
    } else if (c == '\n') {
      q += "\\n";
    } else if (c == '\r') {
      q += "\\r";
    } else if (c < 0x20 || c >= 0x7F) {
      q += "\\x";
      q += kHex[c >> 4];
      q += kHex[c & 15];
    } else {
      q += static_cast<char>(c);
    }
  }
  return q + "\"";
}

void print_line(std::FILE* to, std::string_view file, const std::optional<Position>& at,
                std::string_view kind, std::string_view text) {
  std::string line(file);
  if (at) {
    line.append(":").append(std::to_string(at->line));
    line.append(":").append(std::to_string(at->column));
  }
  line.append(": ").append(kind).append(": ").append(text).append("\n");
  std::fwrite(line.data(), 1, line.size(), to);
}

void print_message(std::FILE* to, std::string_view file, const Message& m) {
  print_line(to, file, m.at, m.severity == Severity::kError ? "error" : "warning", m.text);
  for (const Hint& h : m.hints) print_line(to, file, h.at, "note", h.text);
}

}  // namespace pn2tavix::cli
