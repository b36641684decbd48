// Writing an application's handheld databases as desktop files is not part of this conduit
// yet: it fails, and says so.
#include "dispatch.h"
#include "sync_ops.h"

namespace conduit {

int WriteApplicationFile(const std::string&) {
  Log("Nimbra: application file writing is not available in this conduit.", -1, false);
  return 0;
}

}  // namespace conduit
