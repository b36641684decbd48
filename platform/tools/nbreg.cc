// nbreg: reads and changes the registry stand-in from the command line.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/cli.h"
#include "platform/prefix.h"
#include "platform/registry.h"

namespace {

using nb::reg::Hive;
using nb::reg::Value;

constexpr int kOk = 0;
constexpr int kError = 1;

struct KeyArg {
  Hive hive;
  std::string path;  // without the hive
  std::string full;  // as shown in messages
};

CLI::App* g_app = nullptr;

int Usage(const std::string& message) { return nb::cli::UsageError(*g_app, message); }

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

int Set(const std::vector<std::string>& rest, bool dword) {
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
  CLI::App app{
      "Reads and changes the registry of the desktop in $NB_PREFIX (default ~/.nimbra): "
      "the hives $NB_PREFIX/system.reg and $NB_PREFIX/user.reg.",
      "nbreg"};
  g_app = &app;
  nb::cli::Prepare(app);
  app.require_subcommand(1);
  app.footer(
      "KEY starts with a hive: HKEY_LOCAL_MACHINE (HKLM) or HKEY_CURRENT_USER (HKCU), "
      "optionally followed by a backslash and a path, e.g. HKCU\\Software\\Example. An empty "
      "NAME (\"\") means the default value. Exit status: 0 on success, 1 on errors, 2 on usage "
      "errors.");
  std::vector<std::string> args;
  bool dword = false;
  struct Command {
    const char* name;
    const char* help;
    const char* args;
    int (*run)(const std::vector<std::string>&);
  };
  const Command commands[] = {
      {"query", "list the values and subkeys of KEY, or print one value", "KEY [NAME]", Query},
      {"set", "set a string value (or with --dword a dword: decimal or 0x hex)", "KEY NAME VALUE",
       nullptr},
      {"add", "create KEY and its parents", "KEY", Add},
      {"delete", "delete a value, or KEY with everything below it", "KEY [NAME]", Delete},
      {"export", "print KEY (or both hives) in the export text format", "[KEY]", Export},
      {"import", "apply a file in regedit's text form (8-bit or UTF-16)", "FILE", Import},
      {"path", "print the Linux path of each desktop path (e.g. 'C:\\Palm')", "PATH...",
       [](const std::vector<std::string>& paths) {
         if (paths.empty()) return Usage("path takes PATH...");
         for (const std::string& p : paths) printf("%s\n", nb::MapPath(p).c_str());
         return kOk;
       }},
  };
  for (const Command& c : commands) {
    CLI::App* sub = app.add_subcommand(c.name, c.help);
    sub->add_option("ARGS", args)->type_name(c.args);
    if (!c.run) sub->add_flag("--dword", dword, "store a dword");
  }
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  int rc = kOk;
  for (const Command& c : commands) {
    if (app.got_subcommand(c.name)) rc = c.run ? c.run(args) : Set(args, dword);
  }
  if (fflush(stdout) != 0) return Fail(std::string("cannot write output: ") + strerror(errno));
  return rc;
}
