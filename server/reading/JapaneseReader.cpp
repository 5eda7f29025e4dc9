#include "JapaneseReader.h"

namespace tavrel::reading {
}  // namespace tavrel::reading
