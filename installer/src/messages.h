// How the installer talks to the user: errors in the "Installer Error" box (each one makes
// the exit code 1), information in the "Setup" window that closes itself after three
// seconds (nothing with -quiet), and the usage box.
#pragma once

#include <string>

namespace installer {

void SetQuiet(bool quiet);
bool Quiet();

void ShowError(const std::string& text);
void ShowInfo(const std::string& text);
void ShowUsage(const std::string& text);

// 1 once an error was shown, else 0.
int ExitCode();

}  // namespace installer
