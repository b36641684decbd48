// The Access store's texts and how it shows them. A failed data-access call is shown with
// the engine's source and description when the error carries them, else with the short
// text; making the database and the table report the engine's code instead.
#pragma once

#include <string>

#include "data/data_access.h"

namespace mdbstore {

struct FailureText {
  const char* with_source;  // %s path (when named), source, description
  const char* plain;        // %s path (when named)
  bool names_path;
};

inline constexpr FailureText kReadSchemaFailed{
    "Unable to read schema from \"NBTable\" in %s\n\nSource: %s\nError: %s",
    "Unable to read schema from \"NBTable\" in %s", true};
inline constexpr FailureText kEmptyFailed{
    "Unable to delete record from \"NBTable\" in %s\n\nSource: %s\nError: %s",
    "Unable to delete record from \"NBTable\" in %s", true};
inline constexpr FailureText kSeekFailed{"Unable to seek record pointer\n\nSource: %s\nError: %s",
                                         "Unable to seek record pointer", false};
inline constexpr FailureText kOpenFailed{
    "Unable to open table \"NBTable\" in %s\n\nSource: %s\nError: %s",
    "Unable to open table \"NBTable\" in %s", true};
inline constexpr FailureText kWriteFailed{
    "Unable to write record into \"NBTable\"\n\nSource: %s\nError: %s",
    "Unable to write record into \"NBTable\"", false};
inline constexpr FailureText kReadFailed{"Unable to read field data\n\nSource: %s\nError: %s",
                                         "Unable to read field data", false};

inline constexpr const char* kNoEngine =
    "In order for Nimbra to use MDB table format, you need to have MDAC version 2.5 or later "
    "installed on your system.\n\nYou can find the installer for this component in the Redist "
    "directory.\n\n[%x, %s]";
inline constexpr const char* kCreateDatabaseFailed =
    "Unable to create table \"NBTable\" in %s\n\n[%s]\n\nMost likely this file has moved from "
    "its original location.\nPlease do a \"Save As...\" to reset its location.";
inline constexpr const char* kCreateDatabasePlain = "Unable to create database %s";
inline constexpr const char* kTableInUse =
    "Unable to re-create table \"NBTable\" in %s.\nTable is in use by some other "
    "program.\n\n[%x, %s]";
inline constexpr const char* kCreateTableFailed =
    "Unable to create table \"NBTable\" in %s\n\n[%x, %s]";
inline constexpr const char* kCreateTableNoCode =
    "Unable to create table \"NBTable\" in %s\n\n[%s]";
inline constexpr const char* kCreateTablePlain = "Unable to create table \"NBTable\" in %s";

inline constexpr const char* kOpenForReadFailed = "Error: could not open file \"%s\".";
inline constexpr const char* kFileNameRule =
    "Error: table filenames must be at most 32 characters long and must not contain the "
    "characters '?', '\\', '/', '*', '<', '>', and '|'.\n\n";
inline constexpr const char* kUnknownType = "Unknown type in Cmdbstore::AddValue";

// printf into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A plain message box.
void Show(const std::string& text);
// The same box with the exclamation icon.
void ShowWarning(const std::string& text);
// A "Nimbra DLL Error <code>: <text>" report.
void ShowDllError(const std::string& text);
// A failed data-access call, in the long or the short form.
void ShowFailure(const FailureText& text, const std::string& path, const mdb::data::Error& e);
// A failure of making the table: "[%x, %s]" with a code, "[%s]" without, else plain.
void ShowCreateTableFailure(const std::string& path, const mdb::data::Error& e);
// The system's text for an error: the engine's description, or "Unknown error 0x%0lX".
std::string SystemText(const mdb::data::Error& e);

}  // namespace mdbstore
