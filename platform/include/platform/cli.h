// Command lines of our programs, on CLI11: every program takes --help and --version; a
// usage error is one line on standard error ending in "try 'PROGRAM --help'" and exit
// status 2. Typical use:
//   CLI::App app{"What it does.", "name"};
//   nb::cli::Prepare(app);  ... options ...
//   if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/installation.h"

namespace nb::cli {

constexpr int kUsageError = 2;

// Help that starts "usage: ", as our programs always printed it.
class Formatter : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string s = CLI::Formatter::make_usage(app, name);
    if (size_t at = s.find("Usage:"); at != std::string::npos) s.replace(at, 6, "usage:");
    return s;
  }
};

// The shared help layout and --version; subcommands added afterwards inherit the layout.
// A value given twice counts as the last one, as in most Unix tools; an option that
// gathers several values (a std::vector) needs ->allow_extra_args(false) to take one per use.
inline void Prepare(CLI::App& app) {
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.formatter(std::make_shared<Formatter>());
  app.set_version_flag("--version", app.get_name() + " " + nb::Version());
}

// The deepest subcommand given on the command line, for the "try" hint.
inline const CLI::App* Deepest(const CLI::App& app) {
  const CLI::App* at = &app;
  for (auto subs = at->get_subcommands(); !subs.empty(); subs = at->get_subcommands())
    at = subs.front();
  return at;
}

inline std::string CommandPath(const CLI::App* app) {
  std::string path = app->get_name();
  for (const CLI::App* p = app->get_parent(); p; p = p->get_parent())
    path = p->get_name() + " " + path;
  return path;
}

// Reports a usage problem of `app` (or of its subcommand given on the command line).
inline int UsageError(const CLI::App& app, std::string problem) {
  for (char& c : problem)
    if (c == '\n') c = ' ';
  const CLI::App* root = &app;
  while (root->get_parent()) root = root->get_parent();
  std::fprintf(stderr, "%s: %s; try '%s --help'\n", root->get_name().c_str(), problem.c_str(),
               CommandPath(Deepest(app)).c_str());
  return kUsageError;
}

// The problem in our words: an argument nobody takes comes first, as an unknown option,
// an unknown command or an unexpected argument.
inline std::string Problem(const CLI::App& app, const CLI::ParseError& e) {
  const std::vector<std::string> extras = app.remaining(true);
  if (extras.empty()) return e.what();
  const std::string& first = extras.front();
  if (first.size() > 1 && first[0] == '-') return "unknown option " + first;
  const CLI::App* at = Deepest(app);
  const bool has_commands = !at->get_subcommands([](const CLI::App*) { return true; }).empty();
  return (has_commands && at->get_subcommands().empty() ? "unknown command "
                                                        : "unexpected argument ") +
         first;
}

// -1 when the program goes on; otherwise its exit status: 0 after --help or --version
// (printed), 2 after a usage error (reported).
inline int Parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
    return -1;
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return UsageError(app, Problem(app, e));
  }
}

}  // namespace nb::cli
