#include "platform/ui.h"

#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/installation.h"
#include "platform/library.h"
#include "platform/os.h"
#include "platform/ui_host.h"
#include "ui_internal.h"

namespace nb::ui {

namespace {

std::string Env(const char* name) {
  const char* v = getenv(name);
  return v ? v : "";
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof(buf), "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

}  // namespace

namespace internal {

void Log(const std::string& caption, const std::string& text, const std::string& answer,
         Icon icon) {
  std::string path = Env("NB_UI_LOG");
  if (path.empty()) return;
  std::string line = "{\"caption\": " + JsonString(caption) + ", \"text\": " + JsonString(text) +
                     ", \"answer\": " + JsonString(answer) + ", \"icon\": \"" + IconName(icon) +
                     "\"}\n";
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write so lines from several processes do not interleave.
  ssize_t n = write(fd, line.data(), line.size());
  (void)n;
  close(fd);
}

}  // namespace internal

namespace {

using internal::Log;

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\n" : "") + lines[i];
  return out;
}

void PrintHeadless(const std::string& caption, const std::string& text) {
  std::string line = "[" + caption + "] " + text + "\n";
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
}

}  // namespace

namespace internal {

std::string Normalize(const std::string& label) {
  std::string out;
  for (char c : label)
    if (c != '&') out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string ScriptedAnswer(const std::string& caption) {
  std::string script = Env("NB_UI_ANSWERS");
  std::string any;
  size_t start = 0;
  while (start <= script.size()) {
    size_t end = script.find(';', start);
    if (end == std::string::npos) end = script.size();
    std::string pair = script.substr(start, end - start);
    size_t eq = pair.rfind('=');
    if (eq != std::string::npos) {
      std::string key = pair.substr(0, eq), value = pair.substr(eq + 1);
      if (strcasecmp(key.c_str(), caption.c_str()) == 0) return value;
      if (key == "*" && any.empty()) any = value;
    }
    start = end + 1;
  }
  return any;
}

}  // namespace internal

namespace {

using internal::Normalize;
using internal::ScriptedAnswer;

// The dialog's own label for `answer`, or empty.
std::string MatchButton(const Dialog& d, const std::string& answer) {
  for (const std::string& b : d.buttons)
    if (Normalize(b) == Normalize(answer)) return b;
  return "";
}

std::string CancelButton(const Dialog& d) {
  for (const std::string& b : d.buttons) {
    std::string n = Normalize(b);
    if (n.find("abort") != std::string::npos || n.find("cancel") != std::string::npos) return b;
  }
  return "cancel";
}

volatile sig_atomic_t g_interrupted = 0;
void OnSigint(int) { g_interrupted = 1; }

std::string WaitForPoll(const Dialog& d) {
  struct sigaction sa = {}, old = {};
  sa.sa_handler = OnSigint;
  sigemptyset(&sa.sa_mask);
  sig_atomic_t outer = g_interrupted;
  g_interrupted = 0;
  sigaction(SIGINT, &sa, &old);
  std::string answer;
  while (!g_interrupted) {
    if (d.poll) answer = d.poll();
    if (!answer.empty() || g_interrupted) break;
    timespec ts{0, 100 * 1000 * 1000};
    nanosleep(&ts, nullptr);  // SIGINT cuts it short
  }
  sigaction(SIGINT, &old, nullptr);
  bool interrupted = g_interrupted;
  g_interrupted = outer;
  if (answer.empty() || interrupted) return CancelButton(d);
  std::string label = MatchButton(d, answer);
  return label.empty() ? answer : label;
}

}  // namespace

const char* IconName(Icon icon) {
  switch (icon) {
    case Icon::kInformation:
      return "information";
    case Icon::kExclamation:
      return "exclamation";
    case Icon::kError:
      return "error";
    case Icon::kQuestion:
      return "question";
    case Icon::kNone:
      break;
  }
  return "none";
}

bool HasDisplay() {
  std::string mode = Env("NB_UI");
  if (mode == "headless") return false;
  const bool display = !Env("DISPLAY").empty() || !Env("WAYLAND_DISPLAY").empty();
  // Qt aborts without a display unless told of another platform (offscreen, vnc...).
  if (mode == "qt" && !display && Env("QT_QPA_PLATFORM").empty()) {
    static bool warned = false;
    if (!warned)
      std::fprintf(stderr, "%s: NB_UI=qt but there is no display; running headless\n",
                   program_invocation_short_name);
    warned = true;
    return false;
  }
  return mode == "qt" || display;
}

namespace {
int g_unattended = 0;
Host* g_host = nullptr;
}  // namespace

void InstallHost(Host* host) { g_host = host; }
Host* WindowingHost() { return g_host && HasDisplay() ? g_host : nullptr; }

bool LoadQtHostIfDisplay() {
  if (!HasDisplay()) return false;
  if (g_host) return true;
  const std::string file = LibraryDir() + "/libnbui_qt.so";
  std::string error;
  void* library = LoadLibrary(file, &error);
  auto install = reinterpret_cast<void (*)()>(GetProcAddress(library, "NbInstallQtHost"));
  if (!install) {
    std::fprintf(stderr, "%s: no windows, %s: %s\n", program_invocation_short_name, file.c_str(),
                 library ? "no NbInstallQtHost" : error.c_str());
    return false;
  }
  install();  // the library stays loaded for the life of the process
  return g_host != nullptr;
}

void SetUnattended(int seconds) { g_unattended = seconds > 0 ? seconds : 0; }
int Unattended() { return g_unattended; }

void MessageBox(const std::string& caption, const std::string& text, Icon icon) {
  if (g_unattended) {
    TimedMessageBox(caption, text, icon, g_unattended);
    return;
  }
  if (Host* host = WindowingHost()) {
    host->MessageBox(caption, text, icon);
  } else {
    PrintHeadless(caption, text);
  }
  Log(caption, text, "OK", icon);
}

std::string TimedMessageBox(const std::string& caption, const std::string& text, Icon icon,
                            int seconds) {
  std::string answer;
  if (Host* host = WindowingHost()) {
    answer = host->TimedMessageBox(caption, text, icon, seconds);
  } else {
    PrintHeadless(caption, text);
    answer = Normalize(ScriptedAnswer(caption)) == "ok" ? "OK" : "timeout";
  }
  Log(caption, text, answer, icon);
  return answer;
}

std::string RunDialog(const Dialog& dialog) {
  std::string text = Join(dialog.lines);
  std::string answer;
  // Nobody is there to press it: the default button, as a person going on would.
  const bool timed = g_unattended && dialog.headless_answers_at_once;
  std::string fallback = dialog.default_button;
  if (fallback.empty()) fallback = dialog.buttons.empty() ? "accept" : dialog.buttons.front();
  std::string logged;
  if (Host* host = WindowingHost()) {
    answer = host->RunDialog(dialog, timed ? g_unattended : 0);
    if (answer == "timeout") answer = fallback, logged = "timeout";
  } else {
    PrintHeadless(dialog.caption, text);
    if (dialog.headless_answers_at_once) {
      answer = MatchButton(dialog, ScriptedAnswer(dialog.caption));
      if (answer.empty() && timed) logged = "timeout";
      if (answer.empty()) answer = fallback;
    } else {
      answer = WaitForPoll(dialog);
    }
  }
  Log(dialog.caption, text, logged.empty() ? answer : logged, dialog.icon);
  return answer;
}

void ShowTextWindow(const std::string& caption, const std::string& text) {
  if (Host* host = WindowingHost()) {
    host->ShowTextWindow(caption, text);
  } else {
    PrintHeadless(caption, text);
  }
  Log(caption, text, "shown");
}

bool OpenWithDesktop(const std::string& path, std::string* error) {
  if (!Exists(path)) {
    *error = "there is no " + path;
    return false;
  }
  if (!WindowingHost()) {
    Log("open", path, "headless");
    return true;
  }
  const std::string opener = "xdg-open";
  std::string found;
  const std::string dirs = Env("PATH");
  for (size_t start = 0; start <= dirs.size() && found.empty();) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string candidate = dirs.substr(start, end - start) + "/" + opener;
    if (end > start && IsRegularFile(candidate)) found = candidate;
    start = end + 1;
  }
  if (found.empty()) {
    *error = "the desktop has no " + opener + " to open it with";
    return false;
  }
  if (TheOs().StartDetached(found.c_str(), {opener, path}) != 0) {
    *error = found + ": " + std::strerror(errno);
    return false;
  }
  Log("open", path, opener);
  return true;
}

}  // namespace nb::ui
