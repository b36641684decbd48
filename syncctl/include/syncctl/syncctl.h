// The forms runtime's synchronisation control, as the desktop program uses it: the creator
// ID HotSync is synchronising, requests that have a table moved within the running
// synchronisation, and the conduit's notifications as events.
//
// The control is a window on the message bus. The conduit's broadcast is delivered to it
// synchronously while the program pumps it (fd() / Pump()), so a request made inside the
// event handler is queued before the conduit takes its next command.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace nb::bus {
class Window;
}

namespace syncctl {

class SyncCtl {
 public:
  // code: 1 SyncStarted, 2 SyncFinished, 3 CommandDone; param: the notification's second
  // parameter.
  using EventHandler = std::function<void(int code, long param)>;

  // Throws std::runtime_error when the bus endpoint cannot be created.
  explicit SyncCtl(EventHandler on_event);
  ~SyncCtl();
  SyncCtl(const SyncCtl&) = delete;
  SyncCtl& operator=(const SyncCtl&) = delete;

  // Events arrive only while enabled (false after construction).
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Enabled() const { return enabled_; }

  // The four characters of the creator ID in the shared block, most significant first.
  std::string SyncCreatorId() const;

  // Bring the handheld's table of `creator` into the desktop table file `path`
  // (UploadTable), or send that file to the handheld (DownloadTableForCreator). Throws
  // std::runtime_error when the command cannot be queued or creator is not four characters.
  void RequestUpload(const std::string& path, const std::string& creator, const std::string& plugin,
                     uint32_t param1, uint8_t param2, uint8_t param3);
  void RequestDownload(const std::string& path, const std::string& creator,
                       const std::string& plugin, uint32_t param1, uint8_t param2, uint8_t param3);

  // At CommandDone: whether the command the conduit has just run is an upload (a
  // download) of `path`. The shared block's command type and file name still name that
  // command then, the name as far as the block keeps it (259 characters).
  bool DoneIsUpload(const std::string& path) const;
  bool DoneIsDownload(const std::string& path) const;

  int fd() const;
  // Delivers waiting notifications; waits up to timeout_ms for the first.
  int Pump(int timeout_ms);

 private:
  bool DoneIs(uint32_t type, const std::string& path) const;
  void Request(uint32_t type, const std::string& path, const std::string& creator,
               const std::string& plugin, uint32_t param1, uint8_t param2, uint8_t param3);

  EventHandler on_event_;
  bool enabled_ = false;
  uint32_t ipc_message_ = 0;
  std::unique_ptr<nb::bus::Window> window_;
};

// "vXA1" <-> 0x76584131.
uint32_t CreatorFromText(const std::string& text);
std::string CreatorToText(uint32_t creator);

}  // namespace syncctl
