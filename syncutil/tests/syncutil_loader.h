// Loads libsyncutil.so into the test process for one desktop prefix, as a program would,
// and unloads it afterwards so the next test starts from a fresh load.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "syncutil/syncutil.h"

namespace nb::testing {

class SyncUtil {
 public:
  SyncUtil() {
    lib_ = dlopen(NB_BIN_DIR "/libsyncutil.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib_) ADD_FAILURE() << dlerror();
  }
  ~SyncUtil() {
    if (lib_) dlclose(lib_);
  }
  template <typename F>
  F* Get(const char* name) {
    void* sym = lib_ ? dlsym(lib_, name) : nullptr;
    if (!sym) ADD_FAILURE() << "missing export " << name;
    return reinterpret_cast<F*>(sym);
  }

 private:
  void* lib_ = nullptr;
};

#define NB_FN(util, name) (util).Get<decltype(name)>(#name)

}  // namespace nb::testing
