// Profile (INI) files under the Windows private-profile rules. One reader, one writer.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace nb {

// A profile file held in memory. Parse once, read many; edit many, save once. Saving an
// edited profile gives the same bytes as the Windows functions writing key by key.
class Profile {
 public:
  Profile() = default;
  static Profile Parse(std::string_view text);
  // Missing file reads as an empty profile; *exists tells which when given.
  static Profile Load(const std::string& path, bool* exists = nullptr);

  // The value of the first matching key of the first matching section (names without
  // regard to case or surrounding blanks), enclosing quotes removed; `def` when missing or
  // without "=". Only a line feed ends a line; a "[" line without "]" is a key line.
  std::string Get(std::string_view section, std::string_view key, std::string_view def = "") const;
  bool Has(std::string_view section, std::string_view key) const;
  // Key names of a section in file order, duplicates included, entries without "=" left out.
  std::vector<std::string> Keys(std::string_view section) const;
  // Section names in file order, duplicates included; a header that no name finds (its
  // name empty or with blanks at its ends) is left out, as its keys cannot be read.
  std::vector<std::string> Sections() const;

  // Replaces an existing key's value in place, or adds "name=value" at the end of its
  // section, or adds the section at the end of the file.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  std::string Text() const;
  // Written durably (platform/os.h); false on failure with the file unchanged and *error
  // naming it.
  bool Save(const std::string& path, std::string* error = nullptr) const;
  // Save for many files of one folder: each file is complete on disk when this returns,
  // and the folder is synced once for all of them by SyncFolder, which makes their names
  // survive a crash.
  bool SaveWithoutFolderSync(const std::string& path, std::string* error = nullptr) const;
  static bool SyncFolder(const std::string& folder);

  // Windows GetPrivateProfileString copy-out semantics over Get/Keys: fills dest (size n)
  // and returns the number of characters copied, as the Windows function does.
  size_t GetString(std::string_view section, std::string_view key, std::string_view def, char* dest,
                   size_t n) const;

 private:
  // Offsets are relative to the header so inserting a line only shifts later headers.
  struct Section {
    size_t header;
    std::unordered_map<std::string, size_t> keys;  // lowered name -> first entry offset
  };
  const Section* Find(std::string_view section) const;
  // Line index of the first entry named `key` in the first matching section, or npos.
  size_t FindEntry(std::string_view section, std::string_view key) const;
  size_t SectionEnd(size_t index) const;

  std::vector<std::string> lines_;                 // raw lines without line ends
  std::vector<Section> sections_;                  // every header in file order
  std::unordered_map<std::string, size_t> first_;  // lowered name -> first section index
};

}  // namespace nb
