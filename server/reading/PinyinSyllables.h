#pragma once

namespace tavrel::reading {
}  // namespace tavrel::reading
