// The installer script: an INI file with an [Installer] section, a [PRC_Files] section and
// one section per application (any section whose name begins with "App"). Read through
// the platform's one profile reader; every file path in it is made absolute. A failure
// comes back as the message to show and nothing of the script is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"

namespace installer {

struct Application {
  std::string section;
  std::string creator_id;  // four characters
  uint32_t creator = 0;
  std::string app_file;
  std::vector<std::string> tables;
};

struct Script {
  std::string eng_title = "Nimbra Engine Install";
  std::string app_title = "Nimbra App Install";
  std::string eng_instruct =
      "Ready to copy the Nimbra engine to Handheld. Press the \"Install\" button to install or "
      "press \"Cancel\" to abort.";
  std::string app_instruct =
      "Press \"Install\" to begin installation of the application on your Handheld.\n\n"
      "Press \"Cancel\" to abort.";
  std::string conduit_path;  // as the script gives it; resolved later
  std::string nddi = "pdbdevice.dll";
  std::string name = "Nimbra EE App";
  std::vector<std::string> prc_files;
  std::vector<Application> apps;
};

// Reads options.script. Given -NDDI and -name, the script's NDDI and Name keys are not
// read; the caller puts the options in their place.
bool ReadScript(const Options& options, Script* script, std::string* error);

// A path made absolute as the platform does it: a drive path stays, a path with a leading
// separator gets drive C:, anything else is taken from the current folder. Empty when the
// result would exceed 259 characters.
std::string FullPath(const std::string& path);

}  // namespace installer
