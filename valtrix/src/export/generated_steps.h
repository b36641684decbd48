// Storage for mapping lists built at start-up from smaller tables (room list, condition
// items): the steps and the names they point into live as long as the program.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "export/export_mapping.h"

namespace valtrix {

struct GeneratedSteps {
  std::deque<std::string> names;  // a deque keeps earlier names where they are
  std::vector<ExportStep> steps;

  std::string_view Keep(std::string name) { return names.emplace_back(std::move(name)); }
  void Add(const ExportStep& step) { steps.push_back(step); }
};

}  // namespace valtrix
