// A dithering plug-in of another interface version, for the version check.
#include "nbdither/nbdither.h"

NBDITHER_API CNBDither* NBDither_New() { return nullptr; }
NBDITHER_API void NBDither_Delete(CNBDither*) {}
NBDITHER_API uint32_t NBDither_GetVersion() { return 0xFF; }
