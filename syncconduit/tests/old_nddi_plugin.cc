// A device-database plug-in of interface version 1: it has the three exports, and an
// object whose conversions must never be reached.
#include <cstdint>

#define OLD_API extern "C" __attribute__((visibility("default")))

namespace {
int g_object;
}

OLD_API void* NDDI_New() { return &g_object; }
OLD_API void NDDI_Delete(void*) {}
OLD_API uint32_t NDDI_GetVersion() { return 1; }
