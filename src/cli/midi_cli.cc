// pn2tavix-midi: converts PDP-1 music files to Standard MIDI Files, to hear what was written.
// A piece that does not convert writes no file at all and has its messages printed as
// pn2tavix-check prints them, on standard error, since standard output may carry the MIDI.
#include "cli/midi_cli.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/report.h"
#include "pn2tavix/pn2tavix.h"

namespace pn2tavix::cli {
namespace {

constexpr std::string_view kName = "pn2tavix-midi";
constexpr std::string_view kUsage =
    "Usage: pn2tavix-midi [-o OUT.mid] [--] [FILE|-]\n"
    "       pn2tavix-midi -d DIR [--] FILE...\n";
constexpr std::string_view kHelp =
    "Converts a PDP-1 music file (standard input without FILE, or -) to a Standard MIDI\n"
    "File, written to OUT.mid or to standard output, which must not be a terminal. With -d,\n"
    "converts each FILE to DIR/NAME.mid, NAME being the file's name without its extension;\n"
    "a FILE whose NAME an earlier FILE had is refused rather than replace its MIDI file.\n"
    "A piece that does not convert writes no file; its messages are printed on standard\n"
    "error as FILE:LINE:COLUMN: error: TEXT, with note: lines that help to fix it.\n"
    "\n"
    "Exit status: 0 every file written, 1 some file not, 2 a usage error.\n"
    "\n"
    "  -o OUT.mid  write the MIDI file here\n"
    "  -d DIR      write one MIDI file for each FILE into the folder DIR\n"
    "  --help      print this help\n"
    "  --version   print the version\n";

int usage_error(std::ostream& err, std::string_view what) {
  err << kName << ": " << what << '\n' << kUsage;
  return 2;
}

// Why `bytes` could not be written to `path`; nothing when they were. The file appears whole
// or not at all: the bytes go to a new file in the same folder, renamed to `path` when complete,
// so a reader never sees part of a file and a file that was there stays if writing fails.
std::optional<std::string> write_whole(const std::string& path, std::string_view bytes) {
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return std::string(std::strerror(errno));
  const auto give_up = [&](int error) {
    close(fd);
    unlink(temporary.c_str());
    return std::string(std::strerror(error));
  };
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return give_up(errno);
    done += static_cast<size_t>(n);
  }
  // mkstemp makes the file for its owner alone; give it what a new file would have.
  const mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd, 0666 & ~mask) != 0) return give_up(errno);
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return std::string(std::strerror(error));
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return std::string(std::strerror(error));
  }
  return std::nullopt;
}

// Converts `path` ("-" standard input) and writes its MIDI to `out` ("-" standard output).
// True if written.
bool convert_one(const std::string& path, const std::string& midi, std::ostream& out,
                 std::ostream& err) {
  Options options;
  options.keep_output = false;
  options.midi = true;
  const bool from_stdin = path == "-";
  const Result r = from_stdin ? convert(stdin, options) : convert_file(path, options);
  const std::string shown = from_stdin ? "<stdin>" : printable_name(path);
  // The checker's own warnings are its business: only what pn2tavix would say.
  for (const Message& m : r.messages) {
    if (m.printed) print_message(err, shown, m);
  }
  if (r.status != 0 || r.midi.empty()) return false;
  std::optional<std::string> error;
  if (midi == "-") {
    errno = 0;
    if (!out.write(r.midi.data(), static_cast<std::streamsize>(r.midi.size())).flush()) {
      error = errno != 0 ? std::strerror(errno) : "the stream failed";
    }
  } else {
    error = write_whole(midi, r.midi);
  }
  if (error) {
    print_line(err, midi == "-" ? "<stdout>" : printable_name(midi), std::nullopt, "error",
               "Can't write the MIDI file: " + *error);
  }
  return !error;
}

}  // namespace

int run_midi(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             bool out_is_terminal) {
  std::vector<std::string> files;
  std::optional<std::string> midi, folder;
  bool options_done = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      files.emplace_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "--help") {
      out << kUsage << '\n' << kHelp;
      return 0;
    } else if (arg == "--version") {
      out << kName << ' ' << version() << '\n';
      return 0;
    } else if (arg == "-o" || arg == "-d") {
      auto& value = arg == "-o" ? midi : folder;
      if (value) return usage_error(err, std::string(arg) + " given twice");
      if (++i == args.size()) return usage_error(err, std::string(arg) + " needs an argument");
      value = args[i];
    } else {
      return usage_error(err, "unknown option " + printable_name(arg));
    }
  }

  struct Job {
    std::string file;
    std::string midi;
    std::optional<std::string> clash;  // an earlier file whose MIDI file has the same name
  };
  std::vector<Job> jobs;
  if (folder) {
    if (midi) return usage_error(err, "-o and -d cannot go together");
    if (files.empty()) return usage_error(err, "-d needs the files to convert");
    for (const std::string& file : files) {
      if (file == "-") return usage_error(err, "-d cannot name standard input as -");
      const std::string name = std::filesystem::path(file).stem().string();
      Job job{file, (std::filesystem::path(*folder) / (name + ".mid")).string(), std::nullopt};
      // a/x.pdp1 and b/x.pdp1 both make DIR/x.mid: the second would silently replace the first.
      for (const Job& before : jobs) {
        if (before.midi == job.midi && !before.clash) job.clash = before.file;
      }
      jobs.push_back(std::move(job));
    }
  } else {
    if (files.size() > 1) return usage_error(err, "one file at a time; -d DIR for several");
    jobs.push_back({files.empty() ? "-" : files[0], midi.value_or("-"), std::nullopt});
    if (jobs[0].midi == "-" && out_is_terminal) {
      return usage_error(err, "will not write MIDI to a terminal: give -o OUT.mid, or redirect");
    }
  }

  bool all = true;
  for (const Job& job : jobs) {
    if (std::filesystem::path(job.file).stem().empty() && folder) {
      print_line(err, printable_name(job.file), std::nullopt, "error",
                 "no name to give its MIDI file");
      all = false;
      continue;
    }
    if (job.clash) {
      print_line(err, printable_name(job.file), std::nullopt, "error",
                 "not converted: its MIDI file " + printable_name(job.midi) + " is that of " +
                     printable_name(*job.clash) + ", given before it");
      all = false;
      continue;
    }
    all = convert_one(job.file, job.midi, out, err) && all;
  }
  err.flush();
  return all ? 0 : 1;
}

}  // namespace pn2tavix::cli
