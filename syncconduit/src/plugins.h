// Loading the device-database plug-in for one table command, and the paths of both
// plug-in kinds under the runtime folder.
#pragma once

#include <cstdint>
#include <string>

#include "pdbdevice/nddi.h"

namespace conduit {

// "<runtime>Bin\NDDI\<name>": an empty name or "0" is pdbdevice.dll.
std::string DevicePluginPath(const std::string& plugin);
// "<runtime>Bin\NBDDB\<last three characters of the table file, lower case>store.so".
std::string TablePluginPath(const std::string& table_file);

// How the binding is checked and logged: a download and PdbFileWriteTable check the
// version before creating the object, an upload after.
enum class Binding { kDownload, kWriteFile, kUpload };

// One loaded device-database plug-in and its object; released when destroyed.
class DevicePlugin {
 public:
  DevicePlugin(const std::string& plugin, Binding binding);
  ~DevicePlugin();
  DevicePlugin(const DevicePlugin&) = delete;
  DevicePlugin& operator=(const DevicePlugin&) = delete;

  CNddi* object() const { return object_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* library_ = nullptr;
  NDDI_DeleteFn delete_ = nullptr;
  CNddi* object_ = nullptr;
};

// The log callback handed to the plug-in: formats into 1,024 characters and logs with
// the current activity, time-stamped.
void SetPluginLogActivity(int32_t activity);
void PluginLog(const char* format, ...);

// Reports a desktop-database plug-in failure in a message box and in the log.
void ReportPluginException(int code, const char* text, int32_t activity);

}  // namespace conduit
