#include "MandarinNormalizer.h"

namespace tavrel::reading {
}  // namespace tavrel::reading
