#include "TagRules.h"
