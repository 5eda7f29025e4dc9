#include "GetVoices.h"

void GetVoices::run() {}
