#include "VoiceNaming.h"
