#include "cli/report.h"

namespace pn2tavix::cli {

namespace {

// The length of the UTF-8 character at `i` of `text`, or 0 where the bytes there are not one
// (overlong forms and surrogates included) or are a C1 control, on which a terminal may act.
size_t printable_length(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char c = byte(0);
  const size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 ? 2 : 0;
  if (c >= 0xF5 || n == 0 || i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
  }
  // The second byte's range for the leads that allow only part of it; C1 is C2 80 to C2 9F.
  if ((c == 0xC2 && byte(1) < 0xA0) || (c == 0xE0 && byte(1) < 0xA0) ||
      (c == 0xED && byte(1) > 0x9F) || (c == 0xF0 && byte(1) < 0x90) ||
      (c == 0xF4 && byte(1) > 0x8F)) {
    return 0;
  }
  return n;
}

// `text` with what could break its line or be lost on a terminal written as \t, \n, \r or
// \xHH: control characters and bytes that are not UTF-8; inside double quotes also '"' and '\'.
std::string escaped(std::string_view text, bool quoted) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string q;
  q.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t n = c >= 0x80 ? printable_length(text, i) : 0;
    if (n > 0) {
      q.append(text.substr(i, n));
      i += n;
      continue;
    }
    ++i;
    if (quoted && (c == '"' || c == '\\')) {
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
  return q;
}

}  // namespace

// A file name as printed: as it is when nothing in it could be taken for the separators of
// "FILE:LINE:COLUMN:" or be lost on a terminal; else in double quotes, escaped.
std::string printable_name(std::string_view name) {
  const auto plain = [](unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("._-/+@%,=~#").find(static_cast<char>(c)) != std::string_view::npos;
  };
  bool quote = name.empty();
  for (size_t i = 0; i < name.size() && !quote;) {
    const auto c = static_cast<unsigned char>(name[i]);
    const size_t n = c < 0x80 ? (plain(c) ? 1 : 0) : printable_length(name, i);
    if (n == 0) quote = true;
    i += n;
  }
  if (!quote) return std::string(name);
  std::string q = "\"";
  q.append(escaped(name, true)).append("\"");
  return q;
}

void print_line(std::ostream& out, std::string_view file, const std::optional<Position>& at,
                std::string_view kind, std::string_view text) {
  std::string line(file);
  if (at) {
    line.append(":").append(std::to_string(at->line));
    line.append(":").append(std::to_string(at->column));
  }
  line.append(": ").append(kind).append(": ").append(escaped(text, false)).append("\n");
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void print_message(std::ostream& to, std::string_view file, const Message& m) {
  print_line(to, file, m.at, m.severity == Severity::kError ? "error" : "warning", m.text);
  for (const Hint& h : m.hints) print_line(to, file, h.at, "note", h.text);
}

}  // namespace pn2tavix::cli
