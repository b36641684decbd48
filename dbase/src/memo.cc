#include "dbase/memo.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/os.h"

namespace dbase {
namespace {

uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Set32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

constexpr uint8_t kEntryTag[4] = {0xFF, 0xFF, 0x08, 0x00};
constexpr size_t kEntryHeaderSize = 8;

size_t BaseStart(const std::string& path) {
  size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? 0 : sep + 1;
}

}  // namespace

std::string MemoPathFor(const std::string& table_path) {
  size_t base = BaseStart(table_path);
  size_t dot = table_path.rfind('.');
  if (dot == std::string::npos || dot < base) return table_path + ".dbt";
  return table_path.substr(0, dot) + ".dbt";
}

std::string ExistingMemoPathFor(const std::string& table_path) {
  const std::string exact = MemoPathFor(table_path);
  struct stat st;
  if (nb::TheOs().Stat(exact.c_str(), &st) == 0) return exact;
  const size_t base = BaseStart(exact);
  const std::string folder = base ? exact.substr(0, base) : "./";
  const std::string name = exact.substr(base);
  std::vector<std::string> entries;
  nb::TheOs().ListFolder(folder.c_str(), &entries);
  for (const std::string& candidate : entries) {
    if (strcasecmp(candidate.c_str(), name.c_str()) == 0) return exact.substr(0, base) + candidate;
  }
  return exact;
}

std::string TableNameFor(const std::string& table_path) {
  size_t base = BaseStart(table_path);
  std::string name = table_path.substr(base);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name.substr(0, 8);
}

bool MemoFile::Create(const std::string& path, const std::string& table_name) {
  return file_.Open(path, File::Mode::kCreate) && Start(table_name);
}

bool MemoFile::CreateBeside(const std::string& path, const std::string& table_name,
                            std::string* temp) {
  return file_.CreateBeside(path, temp) && Start(table_name);
}

bool MemoFile::Start(const std::string& table_name) {
  window_length_ = 0;
  writable_ = true;
  block_size_ = kMemoBlockSize;
  std::memset(header_, 0, sizeof header_);
  std::memcpy(header_ + 8, table_name.data(), std::min<size_t>(table_name.size(), 8));
  header_[18] = 0x02;
  header_[19] = 0x01;
  Set32(header_ + 20, kMemoBlockSize);
  next_free_ = 1;
  dirty_ = true;
  // Block 0 is the header padded to a whole block.
  std::vector<uint8_t> block(kMemoBlockSize, 0);
  Set32(header_, next_free_);
  std::memcpy(block.data(), header_, sizeof header_);
  if (!file_.WriteAt(0, block.data(), block.size())) {
    file_.Close();
    return false;
  }
  return true;
}

bool MemoFile::Open(const std::string& path, bool writable) {
  if (!file_.Open(path, writable ? File::Mode::kReadWrite : File::Mode::kRead)) return false;
  window_length_ = 0;
  writable_ = writable;
  dirty_ = false;
  std::memset(header_, 0, sizeof header_);
  int64_t got = file_.ReadAt(0, header_, sizeof header_);
  if (got < 0) {
    file_.Close();
    return false;
  }
  // Files of older programs leave the block size out; their blocks are 512 bytes.
  uint32_t size = got >= 24 ? Get32(header_ + 20) : 0;
  block_size_ = size ? size : kMemoBlockSize;
  next_free_ = got >= 4 ? Get32(header_) : 0;
  if (writable) {
    // Never hand out a block that lies inside data already in the file.
    int64_t file_size = file_.Size();
    uint64_t used = file_size > 0 ? (uint64_t(file_size) + kMemoBlockSize - 1) / kMemoBlockSize : 1;
    if (block_size_ != kMemoBlockSize) {
      file_.Close();
      return false;
    }
    next_free_ = uint32_t(std::max<uint64_t>({next_free_, used, 1}));
  }
  return true;
}

bool MemoFile::WriteHeader() {
  Set32(header_, next_free_);
  return file_.WriteAt(0, header_, sizeof header_);
}

bool MemoFile::Close(bool write_header, bool sync) {
  window_length_ = 0;
  bool ok = true;
  if (file_.is_open() && writable_ && dirty_ && write_header) ok = WriteHeader();
  if (file_.is_open() && sync) ok = ok && file_.Sync();
  file_.Close();
  dirty_ = false;
  return ok;
}

std::optional<uint32_t> MemoFile::Write(const void* data, size_t size) {
  if (!file_.is_open() || !writable_) return std::nullopt;
  if (size == 0) return 0u;
  const size_t entry = size + kEntryHeaderSize;
  const size_t blocks = (entry + kMemoBlockSize - 1) / kMemoBlockSize;
  if (uint64_t(next_free_) + blocks > UINT32_MAX) return std::nullopt;
  std::vector<uint8_t> bytes(blocks * kMemoBlockSize, 0);
  std::memcpy(bytes.data(), kEntryTag, 4);
  Set32(bytes.data() + 4, uint32_t(entry));
  std::memcpy(bytes.data() + kEntryHeaderSize, data, size);
  if (!file_.WriteAt(uint64_t(next_free_) * kMemoBlockSize, bytes.data(), bytes.size()))
    return std::nullopt;
  const uint32_t block = next_free_;
  next_free_ += uint32_t(blocks);
  window_length_ = 0;
  dirty_ = true;
  return block;
}

std::optional<std::vector<uint8_t>> MemoFile::Read(uint32_t block, bool tagged) const {
  std::vector<uint8_t> data;
  if (!ReadInto(block, tagged, &data)) return std::nullopt;
  return data;
}

const uint8_t* MemoFile::Window(uint64_t at, size_t n, size_t* got) const {
  constexpr size_t kWindowBytes = 64 * 1024;
  if (at < window_at_ || at + n > window_at_ + window_length_) {
    window_length_ = 0;
    window_.resize(std::max(n, kWindowBytes));
    const int64_t read = file_.ReadAt(at, window_.data(), window_.size());
    if (read < 0) return nullptr;
    window_at_ = at;
    window_length_ = size_t(read);
  }
  const uint64_t end = window_at_ + window_length_;
  *got = at >= end ? 0 : size_t(std::min<uint64_t>(n, end - at));
  return window_.data() + (at - window_at_);
}

bool MemoFile::ReadInto(uint32_t block, bool tagged, std::vector<uint8_t>* out) const {
  std::vector<uint8_t>& data = *out;
  data.clear();
  if (!file_.is_open() || block == 0) return false;
  const uint64_t at = uint64_t(block) * block_size_;
  if (tagged) {
    size_t got = 0;
    const uint8_t* head = Window(at, kEntryHeaderSize, &got);
    if (!head || got != kEntryHeaderSize) return false;
    if (std::memcmp(head, kEntryTag, 4) != 0) return false;
    const uint32_t length = Get32(head + 4);
    if (length < kEntryHeaderSize) return false;
    // A truncated entry gives the bytes that are there.
    const size_t want = std::min<size_t>(length - kEntryHeaderSize, kMemoReadLimit);
    const uint8_t* bytes = Window(at + kEntryHeaderSize, want, &got);
    if (!bytes) return false;
    data.assign(bytes, bytes + got);
    return true;
  }
  const int64_t size = file_.Size();
  if (size < 0 || at >= uint64_t(size)) return false;
  // Untagged entries end at two 0x1A bytes in a row, a 0x1A that ends the file, or the end.
  uint8_t chunk[4096];
  uint64_t pos = at;
  bool pending_eof_byte = false;
  while (data.size() < kMemoReadLimit) {
    int64_t got = file_.ReadAt(pos, chunk, sizeof chunk);
    if (got < 0) return false;
    if (got == 0) break;
    for (int64_t i = 0; i < got; ++i) {
      if (pending_eof_byte) {
        if (chunk[i] == 0x1A) return true;
        pending_eof_byte = false;
        data.push_back(0x1A);
        if (data.size() >= kMemoReadLimit) return true;
      }
      if (chunk[i] == 0x1A) {
        pending_eof_byte = true;
        continue;
      }
      data.push_back(chunk[i]);
      if (data.size() >= kMemoReadLimit) return true;
    }
    pos += uint64_t(got);
  }
  return true;
}

}  // namespace dbase
