#include "VoiceCatalogue.h"
