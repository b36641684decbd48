// The UI seam: every message box and modal dialog goes through here. Windows when a
// display is available and the program installed a windowing host (ui_host.h); headless
// otherwise or when NB_UI=headless. Headless prints
// "[caption] text" to standard error, lets timed boxes time out at once, and answers a
// dialog with its default button unless NB_UI_ANSWERS names another. When NB_UI_LOG
// names a file, each box or dialog appends one JSON line {"caption","text","answer","icon"}
// (the icon by its name below: "none", "information", "exclamation", "error", "question").
//
// NB_UI_ANSWERS scripts headless answers: semicolon-separated `caption=answer` pairs, e.g.
// "Install=&Yes;*=Cancel". The caption compares without regard to case; `*` matches any
// caption, and a pair naming the caption wins over `*`. The answer is a button label with
// or without '&' (compared ignoring '&' and case); the dialog returns its own label of
// that button, and an answer naming no button leaves the default. A timed box takes "OK"
// or "timeout". Dialogs that wait for poll are not scripted.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace nb::ui {

// True when a display is there for real windows (NB_UI and the environment); they show
// only in a program that installed a windowing host.
bool HasDisplay();

// The icon of a box, as Windows names them: exclamation is also called warning, error
// is also called stop.
enum class Icon { kNone, kInformation, kExclamation, kError, kQuestion };
const char* IconName(Icon icon);

// A modal message box with one OK button.
void MessageBox(const std::string& caption, const std::string& text, Icon icon);

// A message box that closes itself after `seconds`; returns "timeout" or "OK".
std::string TimedMessageBox(const std::string& caption, const std::string& text, Icon icon,
                            int seconds);

// Unattended: while set, no box waits for a person. MessageBox and the dialogs that
// headless mode answers at once close themselves after `seconds`, as OK or the default
// button would, and log "timeout" as their answer (headless: at once, unless
// NB_UI_ANSWERS names an answer). Timed boxes keep their own time; 0 ends it. For the
// whole process, e.g. while a synchronisation runs in it.
void SetUnattended(int seconds);
int Unattended();

// A modal dialog. `buttons` are labels as shown ("&Abort"); `default_button` is the one
// a person presses to go on. `poll` is called about every 100 ms while the dialog is up
// (also headless) and may close it by returning a button label or "accept"; an empty
// string keeps it open. Returns the label that closed the dialog ("accept" when poll
// accepted, "cancel" when the dialog could not be shown or was interrupted).
struct Dialog {
  std::string caption;
  std::vector<std::string> lines;  // texts shown, top to bottom
  Icon icon = Icon::kNone;
  std::vector<std::string> buttons;
  std::string default_button;
  // When false, headless mode does not answer with the default button but waits for
  // poll (or SIGINT, which answers the cancel/abort button).
  bool headless_answers_at_once = true;
  std::function<std::string()> poll;
};
std::string RunDialog(const Dialog& dialog);

// A window showing `text` read-only (a report, a log) with a Close button, opened at the
// first line of its last paragraph (after the last blank line: a log's newest entry). It does not
// wait: the program goes on while it is open, and showing the same caption again replaces
// the text of the open window. Headless prints "[caption] text" as a box does; either way
// NB_UI_LOG gets {"caption", "text", "answer": "shown"}.
void ShowTextWindow(const std::string& caption, const std::string& text);

// Opens a file or folder as the desktop opens it (xdg-open found on PATH, started
// detached, not waited for). Headless opens nothing. NB_UI_LOG gets {"caption": "open",
// "text": path, "answer": "xdg-open" or "headless"}. False with the reason when the path
// does not exist or the opener cannot be started.
bool OpenWithDesktop(const std::string& path, std::string* error);

}  // namespace nb::ui
