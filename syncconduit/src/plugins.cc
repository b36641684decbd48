#include "plugins.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>

#include "platform/library.h"
#include "platform/ui.h"
#include "sync_ops.h"
#include "syncutil/syncutil.h"

namespace conduit {
namespace {

int32_t g_plugin_activity = 9;

std::string RuntimeFolder() {
  char dir[1040] = {};
  NB_GetNimbraDir(dir, sizeof dir);
  return dir;
}

}  // namespace

std::string DevicePluginPath(const std::string& plugin) {
  std::string name = plugin.empty() || plugin == "0" ? "pdbdevice.dll" : plugin;
  return RuntimeFolder() + "Bin\\NDDI\\" + name;
}

std::string TablePluginPath(const std::string& table_file) {
  std::string kind = table_file.size() >= 3 ? table_file.substr(table_file.size() - 3) : table_file;
  for (char& c : kind) c = char(std::tolower(uint8_t(c)));
  return RuntimeFolder() + "Bin\\NBDDB\\" + kind + "store.so";
}

DevicePlugin::DevicePlugin(const std::string& plugin, Binding binding)
    : path_(DevicePluginPath(plugin)) {
  const int32_t activity = binding == Binding::kDownload ? 9 : 17;
  library_ = nb::LoadLibrary(path_);
  if (!library_) {
    if (binding != Binding::kWriteFile) Log("Unable to find or open " + path_, activity, true);
    return;
  }
  auto make = reinterpret_cast<NDDI_NewFn>(nb::GetProcAddress(library_, "NDDI_New"));
  delete_ = reinterpret_cast<NDDI_DeleteFn>(nb::GetProcAddress(library_, "NDDI_Delete"));
  auto version =
      reinterpret_cast<NDDI_GetVersionFn>(nb::GetProcAddress(library_, "NDDI_GetVersion"));
  if (!make || !delete_ || !version) return;

  const char* bad_version = binding == Binding::kWriteFile
                                ? "### Cannot load NDDI plugin [bad version]"
                                : "### Unable to load NDDI plugin [bad version]";
  if (binding == Binding::kUpload) {
    object_ = make();
    if (object_ && version() != kNddiVersion) {
      Log(bad_version, activity, true);
      delete_(object_);
      object_ = nullptr;
    }
    return;
  }
  if (version() != kNddiVersion) {
    Log(bad_version, activity, true);
    return;
  }
  object_ = make();
}

DevicePlugin::~DevicePlugin() {
  if (object_) delete_(object_);
  if (library_) nb::FreeLibrary(library_);
}

void SetPluginLogActivity(int32_t activity) { g_plugin_activity = activity; }

void PluginLog(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Log(text, g_plugin_activity, true);
}

void ReportPluginException(int code, const char* text, int32_t activity) {
  char message[1024];
  std::snprintf(message, sizeof message, "Unable to load the necessary plugin (error: %d [%s])",
                code, text);
  nb::ui::MessageBox("Nimbra Conduit Error", message, nb::ui::Icon::kNone);
  Log(message, activity, true);
}

}  // namespace conduit
