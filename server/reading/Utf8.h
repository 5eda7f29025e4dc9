// UTF-8 ↔ code points for the front end's stages: the text rules' own.
#pragma once

#include "TextUtf8.h"

namespace tavrel::reading {
namespace utf8 = ::textrules::utf8;
}  // namespace tavrel::reading
