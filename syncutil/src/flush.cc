// The wait dialog and the message target: a desktop program flushes the queue by
// waiting, in a modal dialog, for the conduit's notifications of the next synchronisation.
#include <memory>

#include "platform/bus.h"
#include "platform/ui.h"
#include "shared_block.h"
#include "syncutil/syncutil.h"

namespace syncutil {
void EmptyQueue();
}

NB_SYNCUTIL_API void* NB_CreateMsgTarget(void* window) {
  auto* to = static_cast<nb::bus::Window*>(window);
  if (!to) return nullptr;
  nb::bus::WindowInfo dest = to->info();
  uint32_t ipc = NB_GetRegisteredMsg();
  auto target = nb::bus::Window::Create(
      "NimbraMsgTarget", "Nimbra Msg Target",
      [dest, ipc](uint32_t msg, uintptr_t wparam, intptr_t lparam) {
        if (msg == ipc) nb::bus::PostMessage(dest, msg, wparam, lparam);
      });
  return target.release();
}

NB_SYNCUTIL_API void NB_DeleteMsgTarget(void* target) {
  delete static_cast<nb::bus::Window*>(target);
}

NB_SYNCUTIL_API int NB_FlushCommandQueueEx(const char* title, uint32_t creatorId) {
  const uint32_t ipc = NB_GetRegisteredMsg();
  const uint32_t filter = creatorId;
  int success = 1;
  bool finished = false;
  std::string caption = title ? title : "HotSync with Handheld";

  // The dialog's own window; notifications reach it through the message target.
  auto dialog_window = nb::bus::Window::Create(
      "#32770", caption, [&](uint32_t msg, uintptr_t wparam, intptr_t lparam) {
        if (msg != ipc || finished) return;
        if (filter != 0 && filter != NB_GetCreatorId()) return;
        if (wparam == kSyncFinished) finished = true;
        if (wparam == kCommandDone) success = success && lparam != 0;
      });
  void* target = dialog_window ? NB_CreateMsgTarget(dialog_window.get()) : nullptr;
  auto* target_window = static_cast<nb::bus::Window*>(target);

  std::string answer = "cancel";
  if (dialog_window && target_window) {
    nb::ui::Dialog d;
    d.caption = caption;
    d.lines = {"Ready to synchronize with Handheld.",
               "Press the HotSync button on the cradle to begin."};
    d.icon = nb::ui::Icon::kInformation;
    d.buttons = {"&Abort"};
    d.default_button = "&Abort";
    d.headless_answers_at_once = false;
    d.poll = [&]() -> std::string {
      target_window->Pump(0);
      dialog_window->Pump(0);
      return finished ? "accept" : "";
    };
    answer = nb::ui::RunDialog(d);
  }
  NB_DeleteMsgTarget(target);
  if (answer == "accept") return success ? 0 : 1;
  syncutil::EmptyQueue();
  return 2;
}

NB_SYNCUTIL_API int NB_FlushCommandQueue(const char* title) {
  return NB_FlushCommandQueueEx(title, 0);
}
