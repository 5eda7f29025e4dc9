#include "PinyinSyllables.h"

namespace tavrel::reading {
}  // namespace tavrel::reading
