// Prints what the tests' reader makes of a tavix text (the file named, or standard input) as
// one JSON object, for the tests written in other languages: the title, each voice's settings
// and tempo changes, and each note.
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "support/tavix_reader.h"

namespace {

// A JSON string of bytes that may not be UTF-8: each byte above 0x7F as the character of that
// number, which is enough to compare names.
std::string quoted(const std::string& s) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string q = "\"";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      q += '\\';
      q += ch;
    } else if (c < 0x20 || c >= 0x7F) {
      q += "\\u00";
      q += kHex[c >> 4];
      q += kHex[c & 15];
    } else {
      q += ch;
    }
  }
  return q + '"';
}

}  // namespace

int main(int argc, char** argv) {
  std::string text;
  if (argc > 1) {
    std::ifstream in(argv[1], std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), {});
  } else {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
  }
  const pn2tavix::test_support::TavixText t = pn2tavix::test_support::read_tavix(text);
  std::cout << "{\"title\": " << quoted(t.title) << ", \"complete\": " << t.complete
            << ", \"voices\": [";
  const char* comma = "";
  for (const pn2tavix::TimedVoice& v : t.timeline.voices) {
    std::cout << comma << "\n {\"voice\": " << v.voice << ", \"title\": " << quoted(v.title)
              << ", \"pan\": " << v.pan << ", \"program\": " << v.program
              << ", \"reverb\": " << v.reverb << ", \"chorus\": " << v.chorus
              << ", \"end\": " << v.end << ", \"tempos\": [";
    const char* c2 = "";
    for (const pn2tavix::TempoChange& c : v.tempos) {
      std::cout << c2 << '[' << c.tick << ", " << c.tempo << ']';
      c2 = ", ";
    }
    std::cout << "]}";
    comma = ",";
  }
  std::cout << "],\n\"notes\": [";
  comma = "";
  for (const pn2tavix::TimedNote& n : t.timeline.notes) {
    std::cout << comma << "\n [" << n.voice << ", " << n.start << ", " << n.length << ", "
              << n.sounding << ", " << n.key << ']';
    comma = ",";
  }
  std::cout << "]}\n";
  return t.complete ? 0 : 1;
}
