#include "SqlLite.h"
