// nbreg: reads and changes the registry stand-in from the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

using nb::reg::Hive;
using nb::reg::Value;

constexpr int kOk = 0;
constexpr int kError = 1;
constexpr int kUsage = 2;

const char kHelp[] =
    "usage: nbreg COMMAND [ARGS]\n"
    "\n"
    "  query KEY [NAME]              list the values and subkeys of KEY, or print one value\n"
    "  set KEY NAME VALUE [--dword]  set a string value (or a dword: decimal or 0x hex)\n"
    "  add KEY                       create KEY and its parents\n"
    "  delete KEY [NAME]             delete a value, or KEY with everything below it\n"
    "  export [KEY]                  print KEY (or both hives) in the export text format\n"
    "  import FILE                   apply a file in regedit's text form (8-bit or UTF-16)\n"
    "\n"
    "KEY starts with a hive: HKEY_LOCAL_MACHINE (HKLM) or HKEY_CURRENT_USER (HKCU),\n"
    "optionally followed by a backslash and a path, e.g. HKCU\\Software\\Example.\n"
    "An empty NAME (\"\") means the default value.\n"
    "\n"
    "The hives live in $NB_PREFIX/system.reg and $NB_PREFIX/user.reg\n"
    "(NB_PREFIX defaults to $HOME/.nimbra).\n"
    "\n"
    "Exit status: 0 on success, 1 on errors, 2 on usage errors.\n";

struct KeyArg {
  Hive hive;
  std::string path;  // without the hive
  std::string full;  // as shown in messages
};

int Usage(const std::string& message) {
  fprintf(stderr, "nbreg: %s\n", message.c_str());
  fprintf(stderr, "Try 'nbreg --help' for more information.\n");
  return kUsage;
}

int Fail(const std::string& message) {
  fprintf(stderr, "nbreg: %s\n", message.c_str());
  return kError;
}

// A change the registry refused, with its reason.
int Refused(const std::string& what) { return Fail(what + ": " + nb::reg::LastError()); }

bool ParseKey(const std::string& arg, KeyArg& out) {
  size_t sep = arg.find('\\');
  std::string hive_name = arg.substr(0, sep);
  std::optional<Hive> hive = nb::reg::ParseHive(hive_name);
  if (!hive) return false;
  out.hive = *hive;
  out.path = sep == std::string::npos ? std::string() : arg.substr(sep + 1);
  while (!out.path.empty() && out.path.back() == '\\') out.path.pop_back();
  out.full = nb::reg::HiveName(*hive);
  if (!out.path.empty()) out.full += "\\" + out.path;
  return true;
}

bool ParseDword(const std::string& text, uint32_t& out) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  int base = 10;
  std::string digits = text;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    digits = text.substr(2);
  }
  if (digits.empty()) return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = strtoull(digits.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || v > 0xffffffffULL) return false;
  out = static_cast<uint32_t>(v);
  return true;
}

std::string Shown(const std::string& name, const Value& v) {
  std::string left = name.empty() ? "@" : "\"" + name + "\"";
  if (v.kind != Value::Kind::kString) return left + "=" + nb::reg::DataText(v);
  return left + "=\"" + v.text + "\"";
}

int Query(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Usage("query takes KEY [NAME]");
  KeyArg key;
  if (!ParseKey(args[0], key)) return Usage("unknown hive in key: " + args[0]);
  if (!nb::reg::KeyExists(key.hive, key.path)) return Fail("key not found: " + key.full);
  if (args.size() == 2) {
    std::optional<Value> v = nb::reg::GetValue(key.hive, key.path, args[1]);
    if (!v) return Fail("value not found: " + key.full + "\\" + args[1]);
    if (v->kind == Value::Kind::kDword) {
      printf("%u\n", v->number);
    } else if (v->kind == Value::Kind::kBinary) {
      printf("%s\n", nb::reg::DataText(*v).c_str());
    } else {
      printf("%s\n", v->text.c_str());
    }
    return kOk;
  }
  printf("%s\n", key.full.c_str());
  for (const auto& [name, v] : nb::reg::Values(key.hive, key.path))
    printf("  %s\n", Shown(name, v).c_str());
  for (const std::string& sub : nb::reg::SubKeys(key.hive, key.path))
    printf("  %s\\\n", sub.c_str());
  return kOk;
}

int Set(std::vector<std::string> args) {
  bool dword = false;
  std::vector<std::string> rest;
  for (const std::string& a : args) {
    if (a == "--dword") {
      dword = true;
    } else {
      rest.push_back(a);
    }
  }
  if (rest.size() != 3) return Usage("set takes KEY NAME VALUE [--dword]");
  KeyArg key;
  if (!ParseKey(rest[0], key)) return Usage("unknown hive in key: " + rest[0]);
  bool ok;
  if (dword) {
    uint32_t n;
    if (!ParseDword(rest[2], n)) return Usage("not a dword (decimal or 0x hex): " + rest[2]);
    ok = nb::reg::SetDword(key.hive, key.path, rest[1], n);
  } else {
    ok = nb::reg::SetString(key.hive, key.path, rest[1], rest[2]);
  }
  if (!ok) return Refused("cannot save " + key.full + "\\" + rest[1]);
  return kOk;
}

int Add(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("add takes KEY");
  KeyArg key;
  if (!ParseKey(args[0], key)) return Usage("unknown hive in key: " + args[0]);
  if (!nb::reg::CreateKey(key.hive, key.path)) return Refused("cannot create key " + key.full);
  return kOk;
}

int Delete(const std::vector<std::string>& args) {
  if (args.empty() || args.size() > 2) return Usage("delete takes KEY [NAME]");
  KeyArg key;
  if (!ParseKey(args[0], key)) return Usage("unknown hive in key: " + args[0]);
  if (!nb::reg::KeyExists(key.hive, key.path)) return Fail("key not found: " + key.full);
  if (args.size() == 2) {
    if (!nb::reg::GetValue(key.hive, key.path, args[1]))
      return Fail("value not found: " + key.full + "\\" + args[1]);
    if (!nb::reg::DeleteValue(key.hive, key.path, args[1]))
      return Refused("cannot delete " + key.full + "\\" + args[1]);
    return kOk;
  }
  if (key.path.empty()) return Fail("cannot delete a whole hive: " + key.full);
  if (!nb::reg::DeleteKey(key.hive, key.path)) return Refused("cannot delete key " + key.full);
  return kOk;
}

int Import(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("import takes FILE");
  if (!nb::reg::Import(args[0])) return Refused("cannot import " + args[0]);
  return kOk;
}

int Export(const std::vector<std::string>& args) {
  if (args.size() > 1) return Usage("export takes [KEY]");
  if (args.size() == 1) {
    KeyArg key;
    if (!ParseKey(args[0], key)) return Usage("unknown hive in key: " + args[0]);
    if (!nb::reg::KeyExists(key.hive, key.path)) return Fail("key not found: " + key.full);
    fputs(nb::reg::Export(key.hive, key.path).c_str(), stdout);
    return kOk;
  }
  // One header line for both hives: drop the second one's.
  std::string machine = nb::reg::Export(Hive::kLocalMachine, "");
  std::string user = nb::reg::Export(Hive::kCurrentUser, "");
  size_t body = user.find("\n\n");
  fputs(machine.c_str(), stdout);
  if (body != std::string::npos) fputs(user.c_str() + body + 2, stdout);
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fputs(kHelp, stderr);
    return kUsage;
  }
  std::string cmd = argv[1];
  if (cmd == "--help" || cmd == "-h") {
    fputs(kHelp, stdout);
    return kOk;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  int rc;
  if (cmd == "query") {
    rc = Query(args);
  } else if (cmd == "set") {
    rc = Set(args);
  } else if (cmd == "add") {
    rc = Add(args);
  } else if (cmd == "delete") {
    rc = Delete(args);
  } else if (cmd == "export") {
    rc = Export(args);
  } else if (cmd == "import") {
    rc = Import(args);
  } else {
    return Usage("unknown command: " + cmd);
  }
  if (fflush(stdout) != 0) return Fail(std::string("cannot write output: ") + strerror(errno));
  return rc;
}
