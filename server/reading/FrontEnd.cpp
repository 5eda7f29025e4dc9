#include "FrontEnd.h"
