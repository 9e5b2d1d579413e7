// The name under which an exception that ended a run is reported.
// SPDX-License-Identifier: MIT
#include <new>

#include "platform/platform.h"

namespace platform {

const char* UnexpectedErrorKind(const std::exception& error) {
  if (dynamic_cast<const IoError*>(&error) != nullptr) return "I/O error";
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "Out of memory";
  return "Error";
}

}  // namespace platform
