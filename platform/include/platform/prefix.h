// The desktop prefix: every machine-wide state of one desktop lives below one folder,
// $NB_PREFIX (default $HOME/.nimbra). MapPath is the only place that understands
// Windows paths.
#pragma once

#include <string>
#include <string_view>

namespace nb {

// The prefix folder, without a trailing slash. Not created.
std::string Prefix();

// Folder of the runtime state (shared block, bus endpoints, locks), private to the user;
// created on demand. In a session with a private $XDG_RUNTIME_DIR it is
// $XDG_RUNTIME_DIR/nimbra/<16 hex digits naming this desktop folder>, so it goes with the
// session and every desktop has its own; otherwise $NB_PREFIX/run.
std::string RunDir();

// Maps a Windows path ("C:\Palm\HOTSYNC.EXE") to a POSIX path below the prefix
// ($NB_PREFIX/drive_c/Palm/HOTSYNC.EXE). Backslashes and slashes both separate; a
// component that does not exist under its exact name is matched without regard to case
// against the existing entries. A POSIX absolute path passes unchanged; a relative
// path has its separators turned into slashes.
std::string MapPath(const std::string& windows_path);

// A name taken from data (a handheld database, a table, a script, the queue) that becomes
// one file name inside a folder. False, with the reason in *why, when it could lead out of
// the folder: empty, "." or "..", a separator, a drive letter, a NUL or another control
// character.
bool IsPlainFileName(std::string_view name, std::string* why = nullptr);
// Creates a folder and its parents; true when it exists afterwards.
bool MakeDirs(const std::string& posix_path);

}  // namespace nb
