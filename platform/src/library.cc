#include "platform/library.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <strings.h>

#include "platform/os.h"
#include "platform/prefix.h"

namespace nb {

std::string LibraryFile(const std::string& name) {
  std::string file = name;
  size_t sep = file.find_last_of("\\/");
  size_t dot = file.rfind('.');
  bool has_ext = dot != std::string::npos && (sep == std::string::npos || dot > sep);
  if (has_ext && strcasecmp(file.c_str() + dot, ".dll") == 0) {
    file = file.substr(0, dot) + ".so";
  } else if (!has_ext) {
    file += ".so";
  }
  return MapPath(file);
}

void* LoadLibrary(const std::string& name, std::string* error) {
  std::string file = LibraryFile(name);
  // Desktop folders hold links to the installed libraries; loading the library where it
  // really lies lets its $ORIGIN-relative search path find its neighbours.
  if (char* real = realpath(file.c_str(), nullptr)) {
    file = real;
    free(real);
  }
  return TheOs().LoadLibrary(file.c_str(), RTLD_NOW | RTLD_LOCAL, error);
}

void* GetProcAddress(void* library, const char* symbol) {
  return library ? dlsym(library, symbol) : nullptr;
}

void FreeLibrary(void* library) {
  if (library) dlclose(library);
}

}  // namespace nb
