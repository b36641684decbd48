// The registry stand-in. HKEY_LOCAL_MACHINE persists in $NB_PREFIX/system.reg,
// HKEY_CURRENT_USER in $NB_PREFIX/user.reg, both in the registry-export text format
// ("Windows Registry Editor Version 5.00"; regedit's UTF-16 form and "REGEDIT4" are read
// too). Key and value names compare without regard to case. Each change re-reads the file
// under an exclusive lock, applies itself and replaces the file atomically, so concurrent
// processes lose nothing; reads take a shared lock and see the latest saved state.
//
// A hive file with a line this reader does not understand is read up to that line and
// never rewritten: every change to it fails, and LastError() names the file and the line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nb::reg {

enum class Hive { kLocalMachine, kCurrentUser };

// "HKEY_LOCAL_MACHINE"/"HKLM" and "HKEY_CURRENT_USER"/"HKCU" (any case).
std::optional<Hive> ParseHive(const std::string& name);
const char* HiveName(Hive hive);

struct Value {
  enum class Kind { kString, kDword, kBinary } kind = Kind::kString;
  std::string text;     // kString; kBinary: the raw data (text types in UTF-16LE)
  uint32_t number = 0;  // kDword; kBinary: the Windows value type (3 binary, 2, 7, 11...)
};

// Key paths use backslashes ("SOFTWARE\\Palm Computing\\Pilot Desktop").
bool KeyExists(Hive hive, const std::string& key);
// Creates the key and its parents; true on success.
bool CreateKey(Hive hive, const std::string& key);
// Deletes the key with its subkeys and values; false when it did not exist.
bool DeleteKey(Hive hive, const std::string& key);

std::optional<Value> GetValue(Hive hive, const std::string& key, const std::string& name);
std::optional<std::string> GetString(Hive hive, const std::string& key, const std::string& name);
std::optional<uint32_t> GetDword(Hive hive, const std::string& key, const std::string& name);
// Setters create the key when missing; false only when the file cannot be changed.
bool SetString(Hive hive, const std::string& key, const std::string& name, const std::string& v);
bool SetDword(Hive hive, const std::string& key, const std::string& name, uint32_t v);
// False when the value did not exist.
bool DeleteValue(Hive hive, const std::string& key, const std::string& name);

// Direct subkey names in stored order (the order they were created); empty if none.
std::vector<std::string> SubKeys(Hive hive, const std::string& key);
// Value names and values in stored order.
std::vector<std::pair<std::string, Value>> Values(Hive hive, const std::string& key);

// The key and everything below it in the export text format (with the header line).
std::string Export(Hive hive, const std::string& key);
// A value's data as the export text writes it ("text", dword:0000000a, hex(7):61,00,...).
std::string DataText(const Value& v);

// Applies a file in regedit's text form (8-bit or UTF-16LE with its byte-order mark):
// keys, values, "[-key]" and "name"=- deletions. Nothing is imported from a file with a
// line that is not understood.
bool Import(const std::string& path);

// Why the last failing change of this thread failed.
const std::string& LastError();

}  // namespace nb::reg
