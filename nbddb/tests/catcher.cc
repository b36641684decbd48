// Stands in for the conduit: loads the holder's library and catches its exception by type.
// Returns the exception's code, -1 when nothing was thrown, -2 for another exception,
// -3 when the holder's library is not usable.
#include <dlfcn.h>

#include <cstring>

#include "nbddb/exception.h"

extern "C" __attribute__((visibility("default"))) int Catcher_Run(const char* user_library,
                                                                  const char* plugin,
                                                                  const char* table, char* text,
                                                                  int text_size) {
  void* lib = dlopen(user_library, RTLD_NOW | RTLD_LOCAL);
  if (!lib) return -3;
  auto open = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(lib, "HolderUser_Open"));
  int result = -3;
  if (open) {
    try {
      open(plugin, table);
      result = -1;
    } catch (const CNbddb_Exception& e) {
      std::strncpy(text, e.text(), size_t(text_size - 1));
      text[text_size - 1] = '\0';
      result = e.code();
    } catch (...) {
      result = -2;
    }
  }
  dlclose(lib);
  return result;
}
