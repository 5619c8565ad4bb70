// pn2tavix-check: converts each file named, in memory, and prints every message located in
// the file as "FILE:LINE:COLUMN: error: TEXT", the form that editors' error lists and CI
// annotations read, with the hints that help to fix it as "note:" lines. A folder stands for
// the .pdp1 files in it and below. Ends with a summary on standard error.
#include "cli/check_cli.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/report.h"
#include "pn2tavix/pn2tavix.h"

namespace pn2tavix::cli {
namespace {

constexpr std::string_view kName = "pn2tavix-check";
constexpr std::string_view kUsage =
    "Usage: pn2tavix-check [--columns=bytes|chars|display] [--] FILE|FOLDER|- ...\n";
constexpr std::string_view kHelp =
    "Checks PDP-1 music files: converts each one, keeps no output, and prints every\n"
    "message as FILE:LINE:COLUMN: error: TEXT (or warning:), with note: lines that\n"
    "help to fix it. A FOLDER stands for the .pdp1 files in it and below; - reads\n"
    "standard input. A summary goes to standard error.\n"
    "\n"
    "Exit status: 0 every file converts, 1 some file does not, 2 a usage error.\n"
    "\n"
    "  --columns=bytes    count columns in bytes (the default): vim's %c, clang\n"
    "  --columns=chars    count characters: editors that count characters\n"
    "  --columns=display  count columns as a terminal shows them, tabs stopping\n"
    "                     every 8 columns: GCC's default, Emacs\n"
    "  --help             print this help\n"
    "  --version          print the version\n";

struct Tally {
  long files = 0;
  long converted = 0;
  long failed = 0;
  long warnings = 0;
};

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads `f` into `bytes` up to `limit` bytes; false on a read error.
bool read_bytes(std::FILE* f, std::string& bytes, std::uint64_t limit = UINT64_MAX) {
  char buffer[1 << 16];
  for (size_t n; bytes.size() < limit && (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
    bytes.append(buffer, std::min<std::uint64_t>(n, limit - bytes.size()));
  }
  return std::ferror(f) == 0;
}

// Checks one file ("-" for standard input) and prints what it finds, its places counted as
// `columns` says: found again in the bytes, which the checker reads itself. A file is converted
// as it streams in, and only what lies up to the last place is read again; standard input, which
// cannot be read twice, is read whole first (where that fails, the conversion reads it and says
// why in its own words). Where the bytes cannot be had, the places stay as the conversion
// counts them.
void check(std::ostream& out, const std::string& path, pn2tavix::ColumnMode columns, Tally& tally) {
  pn2tavix::Options options;
  options.keep_output = false;
  const bool from_stdin = path == "-";
  std::string bytes;
  bool read = false;
  pn2tavix::Result r;
  if (from_stdin) {
    read = read_bytes(stdin, bytes);
    r = read ? pn2tavix::convert(bytes, options) : pn2tavix::convert(stdin, options);
  } else {
    r = pn2tavix::convert_file(path, options);
    std::uint64_t end = 0;  // the bytes that the places need: one more, to see a CR's LF
    for (const pn2tavix::Message& m : r.messages) {
      if (m.at) end = std::max(end, m.at->offset + 2);
      for (const pn2tavix::Hint& h : m.hints) {
        if (h.at) end = std::max(end, h.at->offset + 2);
      }
    }
    if (end > 0) {
      const std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
      read = f != nullptr && read_bytes(f.get(), bytes, end);
    }
  }
  pn2tavix::Locator locator(bytes, columns);
  const auto place = [&](const std::optional<pn2tavix::Position>& at) {
    return at && read ? locator.at(at->offset) : at;
  };
  const std::string shown = from_stdin ? "<stdin>" : printable_name(path);
  for (const pn2tavix::Message& m : r.messages) {
    const bool error = m.severity == pn2tavix::Severity::kError;
    print_line(out, shown, place(m.at), error ? "error" : "warning", m.text);
    for (const pn2tavix::Hint& h : m.hints) print_line(out, shown, place(h.at), "note", h.text);
    if (!error) ++tally.warnings;
  }
  ++tally.files;
  if (r.status == 0) {
    ++tally.converted;
  } else {
    ++tally.failed;
  }
}

// The .pdp1 files in `folder` and below, in the order of their names.
std::vector<std::string> pieces_in(const std::string& folder, std::error_code& error) {
  std::vector<std::string> found;
  namespace fs = std::filesystem;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code type_error;
    if (it->path().extension() == ".pdp1" && it->is_regular_file(type_error)) {
      found.push_back(it->path().string());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string plural(long n, std::string_view one, std::string_view many) {
  return std::to_string(n).append(" ").append(n == 1 ? one : many);
}

}  // namespace

int run_check(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> paths;
  bool options_done = false;
  pn2tavix::ColumnMode columns = pn2tavix::ColumnMode::kBytes;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!options_done && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_done = true;
      } else if (arg == "--help") {
        out << kUsage << '\n' << kHelp;
        return 0;
      } else if (arg.substr(0, 10) == "--columns=") {
        const std::string_view mode = arg.substr(10);
        if (mode == "bytes") {
          columns = pn2tavix::ColumnMode::kBytes;
        } else if (mode == "chars") {
          columns = pn2tavix::ColumnMode::kChars;
        } else if (mode == "display") {
          columns = pn2tavix::ColumnMode::kDisplay;
        } else {
          err << kName << ": " << message_of(Code::kCheckBadColumns, printable_name(mode)).text
              << '\n'
              << kUsage;
          return 2;
        }
      } else if (arg == "--version") {
        out << kName << ' ' << pn2tavix::version() << '\n';
        return 0;
      } else {
        err << kName << ": " << message_of(Code::kCheckUnknownOption, printable_name(arg)).text
            << '\n'
            << kUsage;
        return 2;
      }
    } else {
      paths.emplace_back(arg);
    }
  }
  if (paths.empty()) {
    err << kName << ": " << message_of(Code::kCheckNoFiles).text << '\n' << kUsage;
    return 2;
  }

  Tally tally;
  for (const std::string& path : paths) {
    std::error_code error;
    if (path != "-" && std::filesystem::is_directory(path, error)) {
      const std::vector<std::string> pieces = pieces_in(path, error);
      if (error) {
        print_message(out, printable_name(path),
                      message_of(Code::kCheckUnreadableFolder, {}, error.message()));
        ++tally.files;
        ++tally.failed;
      } else if (pieces.empty()) {
        print_message(out, printable_name(path), message_of(Code::kCheckEmptyFolder));
        ++tally.warnings;
      }
      for (const std::string& piece : pieces) check(out, piece, columns, tally);
    } else {
      check(out, path, columns, tally);
    }
  }
  out.flush();
  err << kName << ": " << plural(tally.files, "file", "files") << ", " << tally.converted
      << " converted, " << tally.failed << " with errors, "
      << plural(tally.warnings, "warning", "warnings") << '\n';
  return tally.failed == 0 ? 0 : 1;
}

}  // namespace pn2tavix::cli
