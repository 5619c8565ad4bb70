// What the unit tests share: the text of the message a failure becomes, as the conversion
// would complete it with the measure where it happened.
#pragma once

#include <string>

#include "base/diagnostic.h"

namespace pn2tavix::detail {

inline std::string text_of(const Failure& failure, int measure = 0) {
  Failure f = failure;
  f.measure = measure;
  return message_text(f);
}

}  // namespace pn2tavix::detail
