#include "log_view.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <vector>

namespace hotsync {
namespace {

const std::map<int, const char*> kActivityNames = {
    {-1, "note"},           {9, "download problem"},       {13, "record error"},
    {17, "upload problem"}, {19, "conduit started"},       {20, "conduit done"},
    {21, "conduit failed"}, {kActivityProblem, "problem"},
};

constexpr char kBeginLead[] = "synchronisation of ";

struct Entry {
  int activity = 0;
  std::string stamp;  // "YYYY-MM-DD HH:MM:SS" or empty
  std::string text;
};

Entry ParseLine(const std::string& line) {
  Entry e;
  size_t tab = line.find('\t');
  if (tab == std::string::npos) {
    e.activity = -1;
    e.text = line;
    return e;
  }
  e.activity = std::atoi(line.substr(0, tab).c_str());
  e.text = line.substr(tab + 1);
  // "2026-12-08 11:50:02 " in front when time-stamped.
  if (e.text.size() >= 20 && e.text[4] == '-' && e.text[7] == '-' && e.text[10] == ' ' &&
      e.text[13] == ':' && e.text[16] == ':' && e.text[19] == ' ') {
    e.stamp = e.text.substr(0, 19);
    e.text = e.text.substr(20);
  }
  return e;
}

struct Block {
  std::string header;
  std::string result = "did not finish";
  std::vector<Entry> entries;
};

std::string Show(const Block& b) {
  std::string out = b.header + ": " + b.result + "\n";
  for (const Entry& e : b.entries) {
    auto name = kActivityNames.find(e.activity);
    std::string label = name != kActivityNames.end() ? std::string(name->second)
                                                     : "activity " + std::to_string(e.activity);
    if (!e.text.empty()) label.resize(std::max<size_t>(label.size(), 16), ' ');
    const std::string time = e.stamp.size() == 19 ? e.stamp.substr(11) : std::string(8, ' ');
    out += "  " + time + "  " + label + (e.text.empty() ? "" : "  " + e.text) + "\n";
  }
  return out;
}

}  // namespace

std::string SyncBeginText(const std::string& user, const std::string& handheld) {
  return kBeginLead + ("\"" + user + "\", handheld " + handheld);
}

std::string ReadableLog(const std::string& raw, bool last_only) {
  std::vector<Block> blocks;
  std::istringstream in(raw);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    Entry e = ParseLine(line);
    if (e.activity == kActivitySyncBegin) {
      Block b;
      std::string what =
          e.text.rfind(kBeginLead, 0) == 0 ? e.text.substr(sizeof kBeginLead - 1) : e.text;
      b.header = (e.stamp.empty() ? "HotSync" : e.stamp + " HotSync") + " of " + what;
      blocks.push_back(b);
      continue;
    }
    if (blocks.empty()) {
      // Entries written before synchronisations were framed.
      blocks.push_back(Block{"Earlier entries", "no record of the result", {}});
    }
    if (e.activity == kActivitySyncEnd) {
      blocks.back().result = e.text;
      continue;
    }
    blocks.back().entries.push_back(e);
  }
  std::string out;
  for (size_t i = last_only && !blocks.empty() ? blocks.size() - 1 : 0; i < blocks.size(); ++i)
    out += (out.empty() ? "" : "\n") + Show(blocks[i]);
  return out;
}

}  // namespace hotsync
