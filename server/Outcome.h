// What a piece of work behind an endpoint answers: success or not, and the
// message the envelope carries.
#pragma once

#include <string>

namespace tavrel {

struct Outcome {
    bool ok = false;
    std::string msg;  // short Chinese message for the user
};

}  // namespace tavrel
