// Loading libraries by (Windows) path and looking up exports by name.
#pragma once

#include <string>

namespace nb {

// The file a library name stands for: "x.dll" (any case) becomes "x.so", a name without
// extension gets ".so", and the result goes through MapPath.
std::string LibraryFile(const std::string& name);

// dlopen of LibraryFile(name); null on failure, with the reason in *error when given.
void* LoadLibrary(const std::string& name, std::string* error = nullptr);
void* GetProcAddress(void* library, const char* symbol);
void FreeLibrary(void* library);

}  // namespace nb
