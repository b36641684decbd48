#include "pdbfile/pdbfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

#include "pdbfile/bytes.h"

namespace nb::pdb {
namespace {

struct Entry {
  uint32_t offset;
  Record record;
};

bool Fail(std::string* error, std::string why) {
  if (error) *error = std::move(why);
  return false;
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
  uint32_t app_info = in.U32();
  uint32_t sort_info = in.U32();
  db.type = in.U32();
  db.creator = in.U32();
  db.unique_id_seed = in.U32();
  in.U32();  // next record list: chained lists are not used by backup files
  uint16_t count = in.U16();
  if (!in.ok()) return Fail(error, "file shorter than the database header"), std::nullopt;

  const size_t entry_size = db.IsResource() ? kResourceEntrySize : kRecordEntrySize;
  if (!in.Has(size_t(count) * entry_size))
    return Fail(error, "record list runs past the end of the file"), std::nullopt;
  std::vector<Entry> entries(count);
  for (auto& e : entries) {
    if (db.IsResource()) {
      e.record.res_type = in.U32();
      e.record.res_id = in.U16();
      e.offset = in.U32();
    } else {
      e.offset = in.U32();
      uint8_t attr = in.U8();
      e.record.attributes = attr & 0xF0;
      e.record.category = attr & 0x0F;
      uint32_t id = uint32_t(in.U8()) << 16;
      id |= in.U16();
      e.record.unique_id = id;
    }
  }
  const size_t list_end = in.pos();
  const size_t size = file.size();

  // Each part ends where the next one present begins.
  auto check_start = [&](uint32_t offset, const char* what) {
    if (offset < list_end || offset > size)
      return Fail(error, std::string(what) + " offset outside the file");
    return true;
  };
  uint32_t first_record = count ? entries[0].offset : uint32_t(size);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!check_start(entries[i].offset, "record")) return std::nullopt;
    if (i && entries[i].offset < entries[i - 1].offset)
      return Fail(error, "records overlap"), std::nullopt;
  }
  if (app_info) {
    if (!check_start(app_info, "application-info")) return std::nullopt;
    uint32_t end = sort_info ? sort_info : first_record;
    if (end < app_info) return Fail(error, "application-info block overlaps"), std::nullopt;
    db.app_info.assign(file.begin() + app_info, file.begin() + end);
  }
  if (sort_info) {
    if (!check_start(sort_info, "sort-info")) return std::nullopt;
    if (first_record < sort_info) return Fail(error, "sort-info block overlaps"), std::nullopt;
    db.sort_info.assign(file.begin() + sort_info, file.begin() + first_record);
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t end = i + 1 < entries.size() ? entries[i + 1].offset : size;
    entries[i].record.data.assign(file.begin() + entries[i].offset, file.begin() + end);
    db.records.push_back(std::move(entries[i].record));
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
  PutFixed(out, db.name.substr(0, 31), 32);
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
  std::ifstream in(path, std::ios::binary);
  if (!in) return Fail(error, "cannot open " + path), std::nullopt;
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) return Fail(error, "cannot read " + path), std::nullopt;
  return Parse(bytes, error);
}

bool WriteFile(const std::string& path, const Database& db, const Layout& layout) {
  const std::vector<uint8_t> bytes = Serialize(db, layout);
  const std::string temp = path + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  bool ok = done == bytes.size() && ::fsync(fd) == 0;
  int saved = errno;
  ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  saved = errno ? errno : saved;
  ::unlink(temp.c_str());
  errno = saved;
  return false;
}

uint32_t LocalTimeNow() {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  // tm_gmtoff already holds the daylight-saving hour when it applies.
  return uint32_t(int64_t(now) + local.tm_gmtoff + kEpochDelta);
}

}  // namespace nb::pdb
