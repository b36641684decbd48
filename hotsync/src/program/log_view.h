// The HotSync log for people: "hotsync sync" frames each synchronisation in the log with a
// begin and an end entry of its own activities; ReadableLog turns the raw lines into one
// block per synchronisation with a header (date, user, handheld, result) and activity
// names instead of numbers.
#pragma once

#include <string>

namespace hotsync {

constexpr int kActivitySyncBegin = 100;  // text: the SyncBeginText
constexpr int kActivitySyncEnd = 101;    // text: "completed" or "finished with errors"
constexpr int kActivityProblem = 102;    // text: why the synchronisation failed
constexpr int kActivityNote = -1;        // per-command lines, and each file installed

std::string SyncBeginText(const std::string& user, const std::string& handheld);

// Every block, or only the last one.
std::string ReadableLog(const std::string& raw, bool last_only);

}  // namespace hotsync
