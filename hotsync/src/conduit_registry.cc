#include "hotsync/conduit_registry.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/registry.h"

namespace hotsync {
namespace {

using nb::reg::Hive;

constexpr uint32_t kHotSync20 = 2 * 65536;
constexpr char kTag[] = "NimbraEE";

std::string Join(const std::string& key, const std::string& sub) { return key + "\\" + sub; }

std::optional<uint32_t> CreatorOf(const std::string& key) {
  return nb::reg::GetDword(Hive::kCurrentUser, key, "Creator");
}

std::string FourChars(uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

bool StartsWithApplication(const std::string& name) {
  return name.size() >= 11 && strncasecmp(name.c_str(), "Application", 11) == 0;
}

// n of a key named "Application<n>", the way HotSync 1.0 numbers its entries.
std::optional<unsigned long> EntryNumber(const std::string& name) {
  const std::string digits = name.substr(std::min<size_t>(name.size(), 11));
  if (!StartsWithApplication(name) || digits.empty() || digits.size() > 9) return std::nullopt;
  if (digits.size() > 1 && digits[0] == '0') return std::nullopt;  // not what "%d" makes
  for (char c : digits)
    if (!std::isdigit(uint8_t(c))) return std::nullopt;
  return std::stoul(digits);
}

}  // namespace

PalmKeys FindPalmKeys() {
  const PalmKeys pairs[] = {
      {"Software\\U.S. Robotics\\Pilot Desktop", "SOFTWARE\\U.S. Robotics\\PalmPilot Desktop"},
      {"Software\\Palm Computing\\Pilot Desktop", "SOFTWARE\\Palm Computing\\Pilot Desktop"},
  };
  for (const PalmKeys& p : pairs)
    if (nb::reg::KeyExists(Hive::kCurrentUser, p.user)) return p;
  return {};
}

PalmKeys DefaultPalmKeys() {
  return {"Software\\Palm Computing\\Pilot Desktop", "SOFTWARE\\Palm Computing\\Pilot Desktop"};
}

uint32_t HotSyncVersion(const std::string& machine_key) {
  uint32_t best = 0;
  if (machine_key.empty()) return 0;
  for (const std::string& name : nb::reg::SubKeys(Hive::kLocalMachine, machine_key)) {
    size_t dot = name.find('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size()) continue;
    uint64_t major = 0, minor = 0;
    bool ok = true;
    for (size_t i = 0; ok && i < name.size(); ++i) {
      if (i == dot) continue;
      ok = std::isdigit(uint8_t(name[i])) != 0;
      uint64_t& part = i < dot ? major : minor;
      part = part * 10 + uint64_t(name[i] - '0');
      ok = ok && part <= 0xFFFFFFFFu;
    }
    if (!ok) continue;
    uint32_t v = uint32_t(major * 65536 + (minor & 0xFFFF));
    if (v > best) best = v;
  }
  return best;
}

std::string RegistrationKeyName(uint32_t creator) {
  const std::string id = FourChars(creator);
  if (id == "QMNB") return "ApplicationNimbraEE";
  if (id.compare(0, 3, "QMN") == 0 && id[3] >= '0' && id[3] <= '9')
    return std::string("ApplicationNimbraQTX") + id[3];
  return "ApplicationNimbra_OEM_" + id;
}

bool WriteRegistration(const std::string& palm_key, const ConduitRegistration& entry,
                       const std::string& key_name, bool create, uint32_t hotsync_version,
                       std::string* error) {
  if (palm_key.empty() || !nb::reg::KeyExists(Hive::kCurrentUser, palm_key)) {
    *error = "Could not open Palm key = \"" + palm_key + "\"";
    return false;
  }
  // Removing an entry leaves a gap in the numbers, so every numbered entry is looked at,
  // lowest number first, before one is added.
  std::vector<std::pair<unsigned long, std::string>> numbered;
  for (const std::string& name : nb::reg::SubKeys(Hive::kCurrentUser, palm_key)) {
    if (auto n = EntryNumber(name)) numbered.emplace_back(*n, name);
  }
  std::sort(numbered.begin(), numbered.end());
  std::string found;
  for (const auto& [n, name] : numbered) {
    if (CreatorOf(Join(palm_key, name)) == entry.creator) {
      found = name;
      break;
    }
  }
  std::string fresh = key_name;  // where a new entry goes
  if (hotsync_version < kHotSync20) {
    unsigned long first_free = 0;
    for (const auto& numbered_entry : numbered) first_free += numbered_entry.first == first_free;
    fresh = "Application" + std::to_string(first_free);
  } else if (found.empty() && CreatorOf(Join(palm_key, key_name)) == entry.creator) {
    found = key_name;
  }
  if (found.empty()) {
    if (!create) return true;
    if (!nb::reg::CreateKey(Hive::kCurrentUser, Join(palm_key, fresh))) {
      *error = "Could not create new key = \"" + fresh + "\"";
      return false;
    }
    found = fresh;
  }
  const std::string key = Join(palm_key, found);
  auto fail = [&](const char* value) {
    *error = "Could not set value -  key = \"" + found + "\" - value = \"" + value + "\"";
    return false;
  };
  using nb::reg::SetDword;
  using nb::reg::SetString;
  const Hive u = Hive::kCurrentUser;
  if (!SetString(u, key, "Conduit", entry.conduit)) return fail("Conduit");
  if (!SetDword(u, key, "Creator", entry.creator)) return fail("Creator");
  if (!SetString(u, key, "Directory", kTag)) return fail("Directory");
  if (!SetString(u, key, "File0", kTag)) return fail("File0");
  if (!SetDword(u, key, "Integrate", 0)) return fail("Integrate");
  if (!SetString(u, key, "Module", kTag)) return fail("Module");
  if (!SetString(u, key, "Remote0", kTag)) return fail("Remote0");
  if (!SetString(u, key, "Name", entry.name)) return fail("Name");
  return true;
}

bool RemoveRegistrations(const std::string& palm_key, uint32_t low, uint32_t high,
                         std::string* error) {
  if (palm_key.empty() || !nb::reg::KeyExists(Hive::kCurrentUser, palm_key)) {
    *error = "Could not open Palm key = \"" + palm_key + "\"";
    return false;
  }
  bool all = true;
  for (bool again = true; again;) {
    again = false;
    for (const std::string& name : nb::reg::SubKeys(Hive::kCurrentUser, palm_key)) {
      if (!StartsWithApplication(name)) continue;
      auto creator = CreatorOf(Join(palm_key, name));
      if (!creator || *creator < low || *creator > high) continue;
      if (!nb::reg::DeleteKey(Hive::kCurrentUser, Join(palm_key, name))) {
        all = false;
        continue;
      }
      again = true;
      break;
    }
  }
  if (!all) *error = "Could not delete all Handheld registry keys.";
  return all;
}

bool SetRegistrationConduit(const std::string& palm_key, const std::string& key,
                            const std::string& conduit, std::string* error) {
  if (nb::reg::SetString(Hive::kCurrentUser, Join(palm_key, key), "Conduit", conduit)) return true;
  *error = "Could not set value -  key = \"" + key + "\" - value = \"Conduit\"";
  return false;
}

std::vector<ConduitRegistration> ListRegistrations(const std::string& palm_key) {
  std::vector<ConduitRegistration> out;
  if (palm_key.empty()) return out;
  for (const std::string& name : nb::reg::SubKeys(Hive::kCurrentUser, palm_key)) {
    const std::string key = Join(palm_key, name);
    auto conduit = nb::reg::GetString(Hive::kCurrentUser, key, "Conduit");
    auto creator = CreatorOf(key);
    if (!conduit || !creator) continue;
    ConduitRegistration r;
    r.key = name;
    r.conduit = *conduit;
    r.creator = *creator;
    r.name = nb::reg::GetString(Hive::kCurrentUser, key, "Name").value_or("");
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace hotsync
