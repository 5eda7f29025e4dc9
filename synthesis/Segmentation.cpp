#include "Segmentation.h"
