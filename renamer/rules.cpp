#include "renamer/renamer.h"

namespace renamer {}  // namespace renamer
