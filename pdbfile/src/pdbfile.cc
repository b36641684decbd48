#include "pdbfile/pdbfile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "pdbfile/bytes.h"
#include "platform/os.h"

namespace nb::pdb {
namespace {

bool Fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
}

// Where one block of the file begins; it runs to the next start or to the end of the file.
struct Start {
  uint32_t offset;
  int order;  // ties: application info, sort info, then records in list order
};
constexpr int kAppInfo = -2, kSortInfo = -1;

// The end of each start, by its position in `starts`.
std::vector<size_t> Ends(std::vector<Start>& starts, size_t size) {
  std::sort(starts.begin(), starts.end(), [](const Start& a, const Start& b) {
    return a.offset != b.offset ? a.offset < b.offset : a.order < b.order;
  });
  std::vector<size_t> ends(starts.size(), size);
  for (size_t i = 0; i + 1 < starts.size(); ++i) ends[i] = starts[i + 1].offset;
  return ends;
}

}  // namespace

std::optional<Database> Parse(std::span<const uint8_t> file, std::string* error) {
  Reader in(file);
  Database db;
  db.name = in.Fixed(32);
  db.attributes = in.U16();
  db.version = in.U16();
  db.created = in.U32();
  db.modified = in.U32();
  db.backed_up = in.U32();
  db.mod_number = in.U32();
  const uint32_t app_info = in.U32();
  const uint32_t sort_info = in.U32();
  db.type = in.U32();
  db.creator = in.U32();
  db.unique_id_seed = in.U32();
  in.U32();  // next record list: chained lists are not used by backup files
  const uint16_t count = in.U16();
  if (!in.ok()) return Fail(error, "file shorter than the database header"), std::nullopt;

  const bool resource = db.IsResource();
  if (!in.Has(size_t(count) * (resource ? kResourceEntrySize : kRecordEntrySize)))
    return Fail(error, "record list runs past the end of the file"), std::nullopt;
  db.records.resize(count);
  std::vector<uint32_t> offsets(count);
  for (size_t i = 0; i < count; ++i) {
    Record& r = db.records[i];
    if (resource) {
      r.res_type = in.U32();
      r.res_id = in.U16();
      offsets[i] = in.U32();
    } else {
      offsets[i] = in.U32();
      const uint8_t attr = in.U8();
      r.attributes = attr & 0xF0;
      r.category = attr & 0x0F;
      r.unique_id = uint32_t(in.U8()) << 16;
      r.unique_id |= in.U16();
    }
  }
  const size_t list_end = in.pos();
  const size_t size = file.size();
  auto inside = [&](uint32_t offset) { return offset >= list_end && offset <= size; };

  // Blocks may lie in any order. Only the application-info block and the records that are
  // not deleted are read; a deleted entry or a sort-info offset that points nowhere is
  // passed over, since the file is readable without them.
  std::vector<Start> starts;
  if (app_info) {
    if (!inside(app_info))
      return Fail(error, "application-info offset outside the file"), std::nullopt;
    starts.push_back({app_info, kAppInfo});
  }
  for (size_t i = 0; i < count; ++i) {
    if (inside(offsets[i]))
      starts.push_back({offsets[i], int(i)});
    else if (!(db.records[i].attributes & kRecordDeleted))
      return Fail(error, "record offset outside the file"), std::nullopt;
  }
  std::vector<size_t> ends = Ends(starts, size);
  // A sort-info offset inside a record's data would cut that record short.
  bool use_sort_info = sort_info && inside(sort_info);
  for (size_t i = 0; use_sort_info && i < starts.size(); ++i)
    use_sort_info = starts[i].order < 0 || sort_info <= starts[i].offset || sort_info >= ends[i];
  if (use_sort_info) {
    starts.push_back({sort_info, kSortInfo});
    ends = Ends(starts, size);
  }
  for (size_t i = 0; i < starts.size(); ++i) {
    const auto block = file.subspan(starts[i].offset, ends[i] - starts[i].offset);
    std::vector<uint8_t>& to = starts[i].order == kAppInfo    ? db.app_info
                               : starts[i].order == kSortInfo ? db.sort_info
                                                              : db.records[starts[i].order].data;
    to.assign(block.begin(), block.end());
  }
  return db;
}

std::vector<uint8_t> Serialize(const Database& db, const Layout& layout) {
  const bool resource = db.IsResource();
  const size_t list_end =
      kHeaderSize + db.records.size() * (resource ? kResourceEntrySize : kRecordEntrySize);
  size_t offset = list_end + 2;
  const bool app_info_offset = !db.app_info.empty() || (layout.app_info_offset_always && !resource);
  const uint32_t app_info = app_info_offset ? uint32_t(offset) : 0;
  offset += db.app_info.size();
  const uint32_t sort_info = db.sort_info.empty() ? 0 : uint32_t(offset);
  offset += db.sort_info.size();

  std::vector<uint8_t> out;
  out.reserve(offset);
  PutFixed(out, HandheldName(db.name), 32);
  Put16(out, db.attributes);
  Put16(out, db.version);
  Put32(out, db.created);
  Put32(out, db.modified);
  Put32(out, db.backed_up);
  Put32(out, db.mod_number);
  Put32(out, app_info);
  Put32(out, sort_info);
  Put32(out, db.type);
  Put32(out, db.creator);
  Put32(out, db.unique_id_seed);
  Put32(out, 0);
  Put16(out, uint16_t(db.records.size()));
  for (const auto& r : db.records) {
    if (resource) {
      Put32(out, r.res_type);
      Put16(out, r.res_id);
      Put32(out, uint32_t(offset));
    } else {
      Put32(out, uint32_t(offset));
      Put8(out, uint8_t((r.attributes & 0xF0) | (r.category & 0x0F)));
      Put8(out, uint8_t(r.unique_id >> 16));
      Put16(out, uint16_t(r.unique_id));
    }
    offset += r.data.size();
  }
  Put16(out, layout.filler);
  out.insert(out.end(), db.app_info.begin(), db.app_info.end());
  out.insert(out.end(), db.sort_info.begin(), db.sort_info.end());
  for (const auto& r : db.records) out.insert(out.end(), r.data.begin(), r.data.end());
  return out;
}

std::optional<Database> ReadFile(const std::string& path, std::string* error) {
  std::string text;
  if (!ReadWholeFile(path, &text)) {
    return Fail(error, "cannot open " + path + ": " + strerror(errno)), std::nullopt;
  }
  return Parse(std::vector<uint8_t>(text.begin(), text.end()), error);
}

bool WriteFile(const std::string& path, const Database& db, const Layout& layout,
               std::string* error) {
  const std::vector<uint8_t> bytes = Serialize(db, layout);
  return WriteFileDurably(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), error);
}

uint32_t LocalTimeNow() {
  time_t now = TheOs().Now();
  struct tm local;
  localtime_r(&now, &local);
  // tm_gmtoff already holds the daylight-saving hour when it applies.
  return uint32_t(int64_t(now) + local.tm_gmtoff + kEpochDelta);
}

}  // namespace nb::pdb
