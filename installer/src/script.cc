#include "script.h"

#include <strings.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

#include "platform/os.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace installer {
namespace {

constexpr size_t kValueBuffer = 1024;
constexpr size_t kMaxPath = 259;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  return strncasecmp(s.c_str(), prefix, strlen(prefix)) == 0;
}

// The reader's value; "|" is the default asked for, so a value starting with it is missing.
// An empty value is missing too: no key means nothing when it is left empty, and a blank
// conduit path or file name would only fail later, where nobody sees why.
bool Read(const nb::Profile& p, const std::string& section, const std::string& key,
          std::string* out, bool* empty = nullptr) {
  char buf[kValueBuffer];
  p.GetString(section, key, "|", buf, sizeof buf);
  if (empty) *empty = buf[0] == '\0';
  if (buf[0] == '|' || buf[0] == '\0') return false;
  *out = buf;
  return true;
}

std::string MissingKey(const std::string& section, const std::string& key) {
  return "[" + section + "] section missing required key: '" + key + "'";
}

std::string TooLong(const std::string& path) {
  return "Path is longer than 259 characters: \"" + path + "\"";
}

// "\n" in an instruction is a line break.
std::string LineBreaks(std::string text) {
  for (size_t at = 0; (at = text.find("\\n", at)) != std::string::npos; at += 2)
    text.replace(at, 2, "\r\n");
  return text;
}

bool ReadPath(const nb::Profile& p, const std::string& section, const std::string& key,
              std::string* out, std::string* error, bool* empty = nullptr) {
  std::string value;
  if (!Read(p, section, key, &value, empty)) return false;
  *out = FullPath(value);
  if (out->empty()) *error = TooLong(value);
  return true;
}

// Values of key0, key1, ... until the first missing one. An empty one is refused rather
// than taken as the end, which would drop the files listed after it without a word.
bool ReadList(const nb::Profile& p, const std::string& section, const std::string& stem,
              std::vector<std::string>* out, std::string* error) {
  for (int n = 0;; ++n) {
    std::string path;
    bool empty = false;
    const std::string key = stem + std::to_string(n);
    if (!ReadPath(p, section, key, &path, error, &empty))
      return empty ? (*error = MissingKey(section, key), false) : true;
    if (path.empty()) return false;
    out->push_back(path);
  }
}

bool ReadApplication(const nb::Profile& p, const std::string& section, Application* app,
                     std::string* error) {
  app->section = section;
  if (!Read(p, section, "Creator", &app->creator_id))
    return *error = MissingKey(section, "Creator"), false;
  if (app->creator_id.size() != 4) {
    *error = "Specified creator id does not have 4 characters: \"" + app->creator_id + "\"";
    return false;
  }
  app->creator = CreatorNumber(app->creator_id);
  if (!ReadPath(p, section, "AppFile", &app->app_file, error))
    return *error = MissingKey(section, "AppFile"), false;
  if (app->app_file.empty()) return false;
  return ReadList(p, section, "TableFile", &app->tables, error);
}

}  // namespace

std::string FullPath(const std::string& path) {
  std::string full;
  if (path.size() >= 2 && path[1] == ':') {
    full = path;
  } else if (!path.empty() && path[0] == '\\') {
    full = "C:" + path;
  } else {
    full = nb::AbsolutePath(path);
  }
  return full.size() > kMaxPath ? "" : full;
}

bool ReadScript(const Options& options, Script* script, std::string* error) {
  if (options.script.empty()) return *error = "Name of script file not specified.", false;
  const std::string file = FullPath(options.script);
  if (file.empty()) return *error = TooLong(options.script), false;
  std::string bytes;
  nb::ReadWholeFile(file, &bytes);  // an unreadable script reads as empty, refused below
  // Titles, names and paths end up on the handheld and in the registry as Windows-1252.
  const nb::Windows1252Text text = nb::ToWindows1252(bytes);
  const nb::Profile p = nb::Profile::Parse(text.text);
  const std::vector<std::string> sections = p.Sections();
  if (sections.empty()) return *error = "Error opening script file '" + file + "'.", false;
  if (!text.error.empty())
    return *error = "Error in script file '" + file + "': " + text.error + ".", false;

  Script s;
  bool conduit_read = false;
  std::set<std::string> seen;  // a repeated section reads as its first occurrence
  for (const std::string& section : sections) {
    std::string lowered = section;
    for (char& c : lowered) c = char(std::tolower(uint8_t(c)));
    if (!seen.insert(lowered).second) continue;
    if (lowered == "installer") {
      Read(p, section, "EngWinTitle", &s.eng_title);
      Read(p, section, "AppWinTitle", &s.app_title);
      if (Read(p, section, "EngInstruct", &s.eng_instruct))
        s.eng_instruct = LineBreaks(s.eng_instruct);
      if (Read(p, section, "AppInstruct", &s.app_instruct))
        s.app_instruct = LineBreaks(s.app_instruct);
      if (options.NeedsConduitPath()) {
        if (!Read(p, section, "ConduitPath", &s.conduit_path))
          return *error = MissingKey(section, "ConduitPath"), false;
        conduit_read = true;
      }
      if (!options.nddi_given) Read(p, section, "NDDI", &s.nddi);
      if (!options.name_given) Read(p, section, "Name", &s.name);
    } else if (lowered == "prc_files") {
      if (!ReadList(p, section, "PrcFile", &s.prc_files, error)) return false;
    } else if (StartsWithNoCase(section, "App")) {
      Application app;
      if (!ReadApplication(p, section, &app, error)) return false;
      s.apps.push_back(std::move(app));
    }
  }
  // Without an [Installer] section the conduit path would silently stay empty.
  if (options.NeedsConduitPath() && !conduit_read)
    return *error = MissingKey("Installer", "ConduitPath"), false;
  *script = std::move(s);
  return true;
}

}  // namespace installer
