// The lines that pn2tavix-check and pn2tavix-midi print about a piece, in the form that
// editors' error lists read: "FILE:LINE:COLUMN: error: TEXT" and its "note:" lines, with
// names and texts escaped where they could break the line. Knows nothing of conversions.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "pn2tavix/message.h"

namespace pn2tavix::cli {

/// A file name as printed: as it is when nothing in it could be taken for the separators of
/// "FILE:LINE:COLUMN:" or be lost on a terminal; else in double quotes, with '"' and '\'
/// escaped and control characters and bytes that are not UTF-8 written as \t, \n, \r or \xHH.
std::string printable_name(std::string_view name);

/// One line on `to`: "FILE:LINE:COLUMN: KIND: TEXT", or "FILE: KIND: TEXT" where there is no
/// place; control characters and bytes that are not UTF-8 in TEXT escaped as in names.
void print_line(std::ostream& to, std::string_view file, const std::optional<Position>& at,
                std::string_view kind, std::string_view text);

/// A message and its hints as "error:" or "warning:" and "note:" lines about `file`.
void print_message(std::ostream& to, std::string_view file, const Message& m);

}  // namespace pn2tavix::cli
