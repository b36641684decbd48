// The application-file reader on whatever bytes libFuzzer makes: it must give problems,
// never read outside the input, overflow or leak.
#include <cstddef>
#include <cstdint>

#include "app_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const conduit::app::Names names{"EFUZZ0100#FUZZ", 0x46555A5A, 1, 0};
  conduit::app::ReadApplication({data, size}, names);
  return 0;
}
