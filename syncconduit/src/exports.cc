// What HotSync Manager asks a conduit about itself.
#include <cstring>

#include "syncconduit/syncconduit.h"

namespace {

constexpr char kConduitName[] = "Nimbra EE";

void CopyName(char* out, size_t size) {
  std::memset(out, 0, size);
  std::strncpy(out, kConduitName, size - 1);
}

}  // namespace

NB_CONDUIT_API long GetConduitName(char* buffer, uint16_t size) {
  if (buffer && size) CopyName(buffer, size);
  return 0;
}

NB_CONDUIT_API uint32_t GetConduitVersion() { return 0x0101; }

NB_CONDUIT_API long GetConduitInfo(int info_type, void* in_args, void* out, uint32_t* out_size) {
  constexpr long kBufferTooSmall = 4211, kUnknownInfo = 4208;
  switch (info_type) {
    case 0:
      if (!in_args || !out || !out_size || *out_size < 19) return kBufferTooSmall;
      CopyName(static_cast<char*>(out), *out_size);
      return 0;
    case 1:
      if (!out || !out_size || *out_size != 4) return kBufferTooSmall;
      *static_cast<uint32_t*>(out) = 0x0600;
      return 0;
  }
  return kUnknownInfo;
}

NB_CONDUIT_API long ConfigureConduit(HsConduitPreferences* preferences) {
  if (preferences) {
    preferences->sync_type = 0;
    preferences->pref_kind = 1;  // permanent
  }
  return 0;
}
