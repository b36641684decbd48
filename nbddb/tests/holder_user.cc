// Stands in for pdbdevice: a library with its own holder whose exceptions leave it
// unhandled.
#include "nbddb/plugin.h"

extern "C" __attribute__((visibility("default"))) int HolderUser_Open(const char* plugin,
                                                                      const char* table) {
  CNbddbPlugin holder(plugin);
  return holder.Open(table, true) ? 1 : 0;
}
