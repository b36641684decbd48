#include "syncctl/syncctl.h"

#include <stdexcept>

#include "platform/bus.h"
#include "syncutil/syncutil.h"

namespace syncctl {

uint32_t CreatorFromText(const std::string& text) {
  if (text.size() != 4)
    throw std::runtime_error("creator ID \"" + text + "\" is not four characters");
  uint32_t id = 0;
  for (unsigned char c : text) id = id << 8 | c;
  return id;
}

std::string CreatorToText(uint32_t creator) {
  std::string text(4, '\0');
  for (int i = 0; i < 4; ++i) text[i] = char(creator >> (24 - 8 * i) & 0xFF);
  return text;
}

SyncCtl::SyncCtl(EventHandler on_event)
    : on_event_(std::move(on_event)), ipc_message_(NB_GetRegisteredMsg()) {
  window_ = nb::bus::Window::Create(
      "SyncCtlLib.SyncCtl", "", [this](uint32_t msg, uintptr_t code, intptr_t param) {
        if (msg == ipc_message_ && ipc_message_ != 0 && enabled_ && on_event_)
          on_event_(int(code), long(param));
      });
  if (!window_) throw std::runtime_error("the synchronisation control cannot open its window");
}

SyncCtl::~SyncCtl() = default;

std::string SyncCtl::SyncCreatorId() const { return CreatorToText(NB_GetCreatorId()); }

void SyncCtl::RequestUpload(const std::string& path, const std::string& creator,
                            const std::string& plugin, uint32_t param1, uint8_t param2,
                            uint8_t param3) {
  Request(kCmdUploadTable, path, creator, plugin, param1, param2, param3);
}

void SyncCtl::RequestDownload(const std::string& path, const std::string& creator,
                              const std::string& plugin, uint32_t param1, uint8_t param2,
                              uint8_t param3) {
  Request(kCmdDownloadTableForCreator, path, creator, plugin, param1, param2, param3);
}

void SyncCtl::Request(uint32_t type, const std::string& path, const std::string& creator,
                      const std::string& plugin, uint32_t param1, uint8_t param2, uint8_t param3) {
  if (!NB_AddToCommandQueueEx(type, path.c_str(), CreatorFromText(creator), plugin.c_str(), param1,
                              param2, param3))
    throw std::runtime_error("the command queue did not take the request for " + path);
}

bool SyncCtl::DoneIsUpload(const std::string& path) const { return DoneIs(kCmdUploadTable, path); }

bool SyncCtl::DoneIsDownload(const std::string& path) const {
  return DoneIs(kCmdDownloadTableForCreator, path);
}

bool SyncCtl::DoneIs(uint32_t type, const std::string& path) const {
  if (NB_GetCmdType() != type) return false;
  char file[261];
  NB_GetCmdFilename(file, sizeof file);
  return path.compare(0, 259, file) == 0;
}

int SyncCtl::fd() const { return window_->fd(); }
int SyncCtl::Pump(int timeout_ms) { return window_->Pump(timeout_ms); }

}  // namespace syncctl
