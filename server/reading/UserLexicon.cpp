#include "UserLexicon.h"

namespace tavrel::reading {
}  // namespace tavrel::reading
