#include "dbase/table.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <set>

#include "dbase/replace.h"
#include "dbase/values.h"
#include "platform/os.h"

namespace dbase {
namespace {

constexpr size_t kBufferBytes = 64 * 1024;

bool Exists(const std::string& path) {
  struct stat st;
  return nb::TheOs().Stat(path.c_str(), &st) == 0;
}

// A link could point out of the folder: a table or memo file that is one is not written.
bool IsLink(const std::string& path) {
  struct stat st;
  return nb::TheOs().Lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string Reason(const std::string& what, int err) {
  return err ? what + ": " + std::strerror(err) : what;
}

// A link could point out of the folder: no table or memo file is read through one.
std::string LinkRefused(const std::string& path) {
  return path + " is a link, and a table is not read through a link";
}

// Finishes what a killed writer of the table left; false with *error when it cannot.
bool FinishPending(const std::string& path, std::string* error) {
  std::string note;
  if (!FinishPendingReplacement(path, &note, error)) return false;
  if (!note.empty()) std::fprintf(stderr, "%s\n", note.c_str());
  return true;
}

FieldValue MemoText(const std::vector<uint8_t>& data) {
  // A memo is C text: it ends at its first NUL. An empty entry has no bytes at all.
  const size_t length = size_t(std::find(data.begin(), data.end(), uint8_t(0)) - data.begin());
  return FieldValue::Text(std::string_view(reinterpret_cast<const char*>(data.data()), length));
}

// Files changed in place and not yet synced; folders that got a new memo file.
struct Unsynced {
  std::mutex mutex;
  std::set<std::string> files, folders;
};
// Made when the module loads, so it outlives every table closed at exit, and freed when it
// unloads (a plug-in that links this library is unloaded before the process ends).
Unsynced g_changed;
Unsynced& Changed() { return g_changed; }

void NoteChanged(const std::string& path, bool folder = false) {
  Unsynced& changed = Changed();
  std::lock_guard<std::mutex> lock(changed.mutex);
  (folder ? changed.folders : changed.files).insert(path);
}

}  // namespace

bool SyncChangedTables(std::string* error) {
  Unsynced& changed = Changed();
  std::set<std::string> files, folders;
  {
    std::lock_guard<std::mutex> lock(changed.mutex);
    files.swap(changed.files);
    folders.swap(changed.folders);
  }
  bool ok = true;
  auto failed = [&](const std::string& path, bool folder) {
    if (ok && error) *error = "cannot bring " + path + " to the disk: " + std::strerror(errno);
    ok = false;
    NoteChanged(path, folder);
  };
  for (const std::string& path : files) {
    File file;
    // A table replaced or removed since has nothing of its old changes left to keep.
    if (!file.Open(path, File::Mode::kReadWrite)) {
      if (errno != ENOENT) failed(path, false);
    } else if (!file.Sync()) {
      failed(path, false);
    }
  }
  for (const std::string& folder : folders)
    if (!nb::SyncFolder(folder)) failed(folder, true);
  return ok;
}

Table::~Table() { Close(false); }

bool Table::Fail(std::string reason) {
  error_ = std::move(reason);
  return false;
}

void Table::Forget() {
  writable_ = dirty_ = memo_writable_ = memo_missing_ = false;
  header_ = Header();
  columns_.clear();
  fields_.clear();
  offsets_.clear();
  record_length_ = 1;
  count_ = 0;
  window_first_ = window_count_ = 0;
  pending_.clear();
}

bool Table::Create(const std::string& path, const std::vector<FieldDesc>& schema) {
  Close(false);
  Forget();
  std::vector<Column> columns;
  size_t record_length = 1;
  bool memo = false;
  for (const FieldDesc& field : schema) {
    if (!IsKnownType(field.type))
      return Fail("field \"" + std::string(field.name, strnlen(field.name, sizeof field.name)) +
                  "\" has an unknown type " + std::to_string(field.type));
    columns.push_back(ColumnFor(field));
    record_length += RecordWidth(field);
    memo = memo || UsesMemo(field);
  }
  const size_t header_length = HeaderLength(schema.size());
  if (header_length > UINT16_MAX) return Fail("too many fields for a dBase header");
  if (record_length > UINT16_MAX) return Fail("the fields are too wide for a dBase record");
  if (IsLink(path) || (memo && IsLink(MemoPathFor(path))))
    return Fail("cannot create " + path + ": a link is in its place");
  std::string why;
  if (!FinishPending(path, &why)) return Fail(why);
  if (!file_.CreateBeside(path, &table_temp_)) return Fail(Reason("cannot create " + path, errno));

  std::time_t now = nb::TheOs().Now();
  std::tm local{};
  localtime_r(&now, &local);
  header_.version = memo ? uint8_t(kVersion | kMemoVersionBits) : kVersion;
  header_.year = uint8_t(local.tm_year);
  header_.month = uint8_t(local.tm_mon + 1);
  header_.day = uint8_t(local.tm_mday);
  header_.record_count = 0;
  header_.header_length = uint16_t(header_length);
  header_.record_length = uint16_t(record_length);
  columns_ = columns;
  fields_ = schema;
  record_length_ = record_length;
  size_t offset = 1;
  for (const Column& c : columns_) {
    offsets_.push_back(offset);
    offset += c.length;
  }
  writable_ = dirty_ = true;
  path_ = path;
  memo_path_ = MemoPathFor(path);
  // The memo header names the table by its final name, not the temporary one.
  table_name_ = TableNameFor(path);

  std::vector<uint8_t> area(header_length, 0);
  EncodeHeader(header_, area.data());
  for (size_t j = 0; j < columns_.size(); ++j)
    EncodeColumn(columns_[j], area.data() + kHeaderSize + j * kDescriptorSize);
  area[header_length - 1] = kHeaderEnd;
  if (!file_.WriteAt(0, area.data(), area.size())) {
    const int err = errno;
    Finish(false, 0);
    Forget();
    return Fail(Reason("cannot write the header of " + path, err));
  }
  if (memo) {
    if (!memo_.CreateBeside(memo_path_, table_name_, &memo_temp_)) {
      const int err = errno;
      Finish(false, 0);
      Forget();
      return Fail(Reason("cannot create the memo file " + memo_path_, err));
    }
    memo_writable_ = true;
  }
  return true;
}

bool Table::Open(const std::string& path, bool writable) {
  Close(false);
  Forget();
  std::string why;
  if (!FinishPending(path, &why)) return Fail(why);
  if (!file_.Open(path, writable ? File::Mode::kReadWrite : File::Mode::kRead))
    return Fail(errno == ELOOP ? "cannot open " + LinkRefused(path)
                               : Reason("cannot open " + path, errno));
  auto fail = [&](std::string reason) {
    file_.Close();
    Forget();
    return Fail(path + ": " + reason);
  };
  const int64_t size = file_.Size();
  uint8_t head[kHeaderSize];
  if (size < int64_t(kHeaderSize) || file_.ReadAt(0, head, kHeaderSize) != int64_t(kHeaderSize))
    return fail("shorter than a dBase header");
  header_ = DecodeHeader(head);
  const size_t header_length = header_.header_length;
  if (header_length < kHeaderSize)
    return fail("header length " + std::to_string(header_length) + " is too short");
  if (int64_t(header_length) > size)
    return fail("header length " + std::to_string(header_length) +
                " lies beyond the end of the file");
  std::vector<uint8_t> area(header_length);
  if (file_.ReadAt(0, area.data(), area.size()) != int64_t(area.size()))
    return fail("cannot read the header");
  const size_t descriptors = header_length >= 33 ? (header_length - 33) / kDescriptorSize : 0;
  size_t offset = 1;
  for (size_t j = 0; j < descriptors; ++j) {
    const uint8_t* d = area.data() + kHeaderSize + j * kDescriptorSize;
    if (d[0] == kHeaderEnd) break;  // some writers pad the header after the terminator
    columns_.push_back(DecodeColumn(d));
    fields_.push_back(FieldFor(columns_.back()));
    offsets_.push_back(offset);
    offset += columns_.back().length;
  }
  record_length_ = header_.record_length;
  if (record_length_ == 0 || record_length_ < offset)
    return fail("record length " + std::to_string(record_length_) + " is shorter than its " +
                std::to_string(offset) + " bytes of fields");
  // The last record may lack its final byte and still count, as the store always read it.
  const uint64_t body = uint64_t(size) - header_length + (record_length_ > 1 ? 1 : 0);
  count_ = size_t(std::min<uint64_t>(header_.record_count, body / record_length_));
  writable_ = writable;
  path_ = path;
  memo_path_ = ExistingMemoPathFor(path);
  table_name_ = TableNameFor(path);
  // Writes refuse a linked memo file when they reach it; a reader is told here.
  bool memo = false;
  for (size_t j = 0; j < columns_.size(); ++j) memo = memo || IsMemoColumn(j);
  if (!writable && memo && !EnsureMemoReadable() && errno == ELOOP)
    return fail("its memo file " + LinkRefused(memo_path_));
  return true;
}

bool Table::Close(bool update_headers) {
  if (!file_.is_open()) {
    memo_.Close(false);
    return true;
  }
  const bool created = !table_temp_.empty();
  const bool commit = created && update_headers;
  int err = 0;
  auto step = [&](bool done) {
    if (!done && !err) err = errno ? errno : EIO;
    return done;
  };
  bool ok = step(Flush());
  ok = step(memo_.Close(update_headers && writable_, commit)) && ok;
  // The record count is written last, after every byte it counts: a failing write before
  // it leaves the old count.
  if (ok && writable_ && dirty_ && update_headers) {
    uint8_t head[kHeaderSize];
    header_.record_count = uint32_t(count_);
    EncodeHeader(header_, head);
    const uint8_t end = kFileEnd;
    ok = step(file_.WriteAt(RecordOffset(count_), &end, 1)) &&
         step(file_.WriteAt(0, head, kHeaderSize));
  }
  if (commit && ok) ok = step(file_.Sync());
  if (!created && writable_ && dirty_) {
    NoteChanged(path_);
    if (memo_writable_) NoteChanged(memo_path_);
  }
  file_.Close();
  dirty_ = false;
  window_count_ = 0;
  if (created) return Finish(commit && ok, commit ? err : 0);
  return ok || Fail(Reason("cannot bring the headers of " + path_ + " up to date", err));
}

bool Table::Finish(bool commit, int err) {
  memo_.Close(false);
  file_.Close();
  std::string table_temp, memo_temp;
  table_temp.swap(table_temp_);
  memo_temp.swap(memo_temp_);
  std::string why;
  if (commit) return CommitReplacement(table_temp, memo_temp, path_, &why) || Fail(why);
  for (const std::string& temp : {table_temp, memo_temp})
    if (!temp.empty()) nb::TheOs().Unlink(temp.c_str());
  return err == 0 ||
         Fail(Reason("cannot write the new table " + path_ + "; the old one is kept", err));
}

const char* Table::RawRecord(size_t i) {
  if (!file_.is_open() || i >= count_ || !Flush()) return nullptr;
  if (i >= window_first_ && i < window_first_ + window_count_)
    return window_.data() + (i - window_first_) * record_length_;
  const size_t n = std::min(std::max<size_t>(1, kBufferBytes / record_length_), count_ - i);
  window_.resize(n * record_length_);
  window_count_ = 0;
  const int64_t got = file_.ReadAt(RecordOffset(i), window_.data(), window_.size());
  if (got < 0) {
    Fail("cannot read record " + std::to_string(i));
    return nullptr;
  }
  size_t whole = size_t(got) / record_length_;
  if (whole < n && size_t(got) % record_length_ == record_length_ - 1) {
    window_[size_t(got)] = ' ';
    ++whole;
  }
  if (whole == 0) return nullptr;
  window_first_ = i;
  window_count_ = whole;
  return window_.data();
}

std::string_view Table::FieldBytes(const char* raw, size_t j) const {
  return std::string_view(raw + offsets_[j], columns_[j].length);
}

bool Table::IsMemoColumn(size_t j) const {
  return columns_[j].letter == 'M' || columns_[j].letter == 'G';
}

FieldValue Table::MemoValue(size_t j, std::string_view bytes) {
  const bool text = columns_[j].letter == 'M';
  const uint32_t block = ParseMemoBlock(bytes.data(), bytes.size());
  if (block == 0) return text ? FieldValue::Null() : FieldValue::Binary(nullptr, 0);
  if (!EnsureMemoReadable()) return FieldValue::Null();
  if (!memo_.ReadInto(block, tagged_memos(), &memo_data_)) return FieldValue::Null();
  return text ? MemoText(memo_data_) : FieldValue::Binary(memo_data_.data(), memo_data_.size());
}

bool Table::ReadRecord(size_t i, std::vector<FieldValue>* values, bool* deleted, size_t* unknown) {
  values->clear();
  const char* raw = RawRecord(i);
  if (!raw) return false;
  // Memo reads may move the window; keep this record's bytes.
  scratch_.assign(raw, raw + record_length_);
  raw = scratch_.data();
  if (deleted) *deleted = raw[0] == kDeletedFlag;
  for (size_t j = 0; j < columns_.size(); ++j) {
    std::string_view bytes = FieldBytes(raw, j);
    if (IsMemoColumn(j)) {
      values->push_back(MemoValue(j, bytes));
      continue;
    }
    std::optional<FieldValue> v =
        ParseValue(bytes.data(), bytes.size(), fields_[j].type, fields_[j].decimals);
    if (!v && unknown) ++*unknown;
    values->push_back(v ? std::move(*v) : FieldValue::Null());
  }
  return true;
}

bool Table::Encode(const std::vector<FieldValue>& values, char* out) {
  if (values.size() != columns_.size())
    return Fail("a record needs " + std::to_string(columns_.size()) + " values, not " +
                std::to_string(values.size()));
  for (size_t j = 0; j < columns_.size(); ++j) {
    char* at = out + offsets_[j];
    const FieldDesc& field = fields_[j];
    if (IsMemoColumn(j)) {
      FieldDesc as = field;
      as.type = columns_[j].letter == 'G' ? FieldType::Binary : FieldType::Text;
      MemoPayload payload = MemoPayloadFor(as, values[j]);
      uint32_t block = 0;
      if (payload.size) {
        if (!EnsureMemoWritable()) return false;
        std::optional<uint32_t> written = memo_.Write(payload.data, payload.size);
        if (!written) return Fail(Reason("cannot write to the memo file " + memo_path_, errno));
        block = *written;
      }
      FormatMemoBlock(block, at);
    } else if (blank_null_logicals_ && field.type == FieldType::Logical && values[j].is_null()) {
      std::memset(at, ' ', columns_[j].length);
    } else if (IsKnownType(field.type)) {
      FormatValue(field, values[j], at, columns_[j].length);
    }
  }
  return true;
}

bool Table::AppendRecord(const std::vector<FieldValue>& values) {
  if (!file_.is_open() || !writable_) return Fail("the table is not open for writing");
  if (count_ >= UINT32_MAX) return Fail("the table is full");
  const size_t at = pending_.size();
  pending_.resize(at + record_length_, ' ');
  pending_[at] = kLiveFlag;
  if (!Encode(values, pending_.data() + at)) {
    pending_.resize(at);
    return false;
  }
  ++count_;
  dirty_ = true;
  return pending_.size() < kBufferBytes || Flush();
}

bool Table::Flush() {
  if (pending_.empty()) return true;
  const size_t records = pending_.size() / record_length_;
  const uint64_t at = RecordOffset(count_ - records);
  const bool ok = file_.WriteAt(at, pending_.data(), pending_.size());
  pending_.clear();
  if (!ok) {
    count_ -= records;
    return Fail("cannot write records to the table file");
  }
  return true;
}

bool Table::RewriteRecord(size_t i, const std::vector<FieldValue>& values) {
  if (!writable_) return Fail("the table is not open for writing");
  const char* raw = RawRecord(i);
  if (!raw) return Fail("record " + std::to_string(i) + " is not in the table");
  std::vector<char> record(raw, raw + record_length_);
  if (!Encode(values, record.data())) return false;
  if (!file_.WriteAt(RecordOffset(i), record.data(), record.size()))
    return Fail("cannot rewrite record " + std::to_string(i));
  window_count_ = 0;
  dirty_ = true;
  return true;
}

bool Table::MarkDeleted(size_t i, bool deleted) {
  if (!writable_) return Fail("the table is not open for writing");
  if (!RawRecord(i)) return Fail("record " + std::to_string(i) + " is not in the table");
  const char flag = deleted ? kDeletedFlag : kLiveFlag;
  if (!file_.WriteAt(RecordOffset(i), &flag, 1))
    return Fail("cannot mark record " + std::to_string(i));
  window_[(i - window_first_) * record_length_] = flag;
  dirty_ = true;
  return true;
}

bool Table::EnsureMemoWritable() {
  if (memo_.is_open() && memo_writable_) return true;
  memo_.Close(false);
  const bool made = !Exists(memo_path_);
  const bool ok = made ? memo_.Create(memo_path_, table_name_) : memo_.Open(memo_path_, true);
  // A memo file new beside a table changed in place: its name must reach the disk too.
  if (ok && made && table_temp_.empty()) NoteChanged(nb::FolderOf(memo_path_), true);
  memo_writable_ = ok;
  memo_missing_ = !ok;
  return ok || Fail("cannot open the memo file " + memo_path_ + " for writing");
}

bool Table::EnsureMemoReadable() {
  if (memo_.is_open()) return true;
  if (memo_missing_) return false;
  memo_missing_ = !memo_.Open(memo_path_, false);
  return !memo_missing_;
}

}  // namespace dbase
