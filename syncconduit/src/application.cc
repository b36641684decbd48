// Application downloads are not part of this conduit yet: they fail, and say so.
#include "dispatch.h"
#include "sync_ops.h"

namespace conduit {

int DownloadApplication(const std::string&, uint32_t, uint32_t, uint32_t, uint32_t) {
  Log("Nimbra: application download is not available in this conduit.", -1, false);
  return 0;
}

}  // namespace conduit
