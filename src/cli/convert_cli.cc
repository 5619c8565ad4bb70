#include "cli/convert_cli.h"

#include <cstdio>
#include <iostream>
#include <string_view>

#include "pn2tavix/pn2tavix.h"

namespace pn2tavix::cli {
namespace {

// The part of `path` after its last '/', else after its last backslash, else all of it.
std::string_view basename(std::string_view path) {
  size_t cut = path.rfind('/');
  if (cut == std::string_view::npos) cut = path.rfind('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

}  // namespace

int run_convert(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                std::ostream& err) {
  const std::string_view me = basename(args.empty() ? "pn2tavix" : std::string_view(args[0]));
  if (args.empty() || args.size() > 2) {
    err << me << ": " << message_of(Code::kUsage, me).text << '\n' << std::flush;
    return 1;
  }
  if (args.size() == 2) return convert_file(args[1], out, err, me);
  // The process's own standard input is read through its C stream, which, unlike a C++ stream,
  // tells a read error (standard input a folder, say) from the end of the input. std::cin
  // shares that stream, so no byte read through either is lost.
  if (&in == &std::cin) return convert(stdin, out, err, me);
  return convert(in, out, err, me);
}

}  // namespace pn2tavix::cli
