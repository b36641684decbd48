#include "app_image.h"

#include <algorithm>

#include "block.h"
#include "forms.h"
#include "menus.h"
#include "pdbfile/bytes.h"
#include "scripts.h"
#include "table_names.h"

namespace conduit::app {
namespace {

constexpr uint16_t kBlockVersion = 0x0230;
constexpr uint32_t kFlagQMNE = 0x400;
constexpr size_t kDirectoryAt = 116, kDirectoryEntry = 34;
constexpr size_t kTableHeader = 34, kFieldEntry = 44;

void SetFixed(Block& b, size_t at, const std::string& text, size_t width) {
  b.Reserve(at + width);
  b.SetBytes(at, {reinterpret_cast<const uint8_t*>(text.data()), std::min(text.size(), width - 1)});
}

// One table: directory entry at `entry`, its table info appended. The file's table header
// is 32-bit, 16-bit, 32-bit, 16-bit, the 16-bit field count and five 32-bit items that
// are dropped: 34 bytes, item for item where they go in the block's header. A field is
// likewise 44 bytes laid out as the entry it becomes: a 32-byte name, 16-bit width, type
// letter, decimals, 16-bit flags, then a 16-bit and a 32-bit item that are dropped.
void ReadTable(FileCursor& c, const Names& names, uint32_t table_creator, size_t entry,
               Block& block) {
  const std::string table = c.String();
  SetFixed(block, entry, DatabaseName(table, table_creator, names.major, names.minor, '_', true),
           32);
  block.AlignEven();
  const size_t at = block.size();
  block.Set16(entry + 32, uint16_t(at));
  block.Set32(at, c.U32());
  block.Set16(at + 4, c.U16());
  block.Set32(at + 6, c.U32());
  block.Set16(at + 10, c.U16());
  const uint16_t fields = c.U16();
  block.Set16(at + 12, fields);
  c.Skip(20);
  block.Reserve(at + kTableHeader);
  for (uint16_t f = 0; f < fields && c.ok(); ++f) {
    const size_t field = block.size();
    block.SetBytes(field, c.Bytes(32));
    block.Set16(field + 32, c.U16());
    block.Set8(field + 34, c.U8());
    block.Set8(field + 35, c.U8());
    block.Set16(field + 36, c.U16());
    c.U16();
    c.U32();
    block.Reserve(field + kFieldEntry);
  }
}

// Slots of 4 bytes (the first two hold the distance from the slot to its string), then
// the strings, each NUL-terminated, and one more NUL.
void PutStringTable(const std::vector<std::string>& strings, Block& block) {
  block.AlignEven();
  const size_t slots = block.size();
  block.Set16(94, uint16_t(strings.size()));
  block.Set16(96, uint16_t(slots));
  block.Reserve(slots + 4 * strings.size());
  for (size_t i = 0; i < strings.size() && !block.overflowed(); ++i) {
    const size_t at = block.AppendText(strings[i]);
    block.Set16(slots + 4 * i, uint16_t(at - (slots + 4 * i)));
  }
  block.AppendText("");
  block.AlignEven();
}

// Trailer: the file's last two bytes give its length T; T bytes before the end stand a
// string (to 58, at most 31 characters and a NUL) and a 32-bit value (to 90).
bool ReadTrailer(const FileCursor& c, Block& block) {
  if (c.size() < 2) return false;
  FileCursor length = c.At(c.size() - 2);
  const uint16_t t = length.U16();
  if (t < 2 || t > c.size()) return false;
  FileCursor trailer = c.At(c.size() - t);
  const std::string text = trailer.String();
  const uint32_t value = trailer.U32();
  if (!trailer.ok() || trailer.pos() > c.size() - 2) return false;
  SetFixed(block, 58, text, 32);
  block.Set32(90, value);
  return true;
}

// The application-info block from the header items, tables, string table, extra string,
// script lists and trailer. Sets the form and menu-bar counts. False with stage set when
// no block can be made.
bool ReadInfoBlock(FileCursor& c, const Names& names, Image* image, uint32_t* forms,
                   uint32_t* bars) {
  const uint32_t v = image->version;
  Block block;
  block.SetBytes(0, {reinterpret_cast<const uint8_t*>("NBAP"), 4});
  block.Set32(48, c.U32());
  SetFixed(block, 4, c.String(), 32);
  block.Set16(36, kBlockVersion);
  const uint32_t flags = c.U32();
  block.Set16(38, uint16_t(flags));
  block.Set16(46, c.U16());
  bool has_extra = false;
  std::string extra;
  if (v > 257) {
    has_extra = c.U16() != 0;
    extra = c.String();
  }
  if (v > 259)
    for (size_t at : {54, 55, 56}) block.Set8(at, uint8_t(c.U16()));
  if (v > 261) {
    block.Set16(98, c.U16());
    if (v > 271) block.Set8(57, uint8_t(c.U16()));
  }
  *forms = c.U32();
  *bars = c.U32();
  const uint32_t tables = c.U32();
  block.Set16(40, uint16_t(*forms));
  block.Set16(42, uint16_t(*bars));
  block.Set16(44, uint16_t(tables));
  block.Reserve(kDirectoryAt + kDirectoryEntry * size_t(tables));
  const uint32_t table_creator = flags & kFlagQMNE ? nb::pdb::FourCC("QMNE") : names.creator;
  for (uint32_t t = 0; t < tables && c.ok() && !block.overflowed(); ++t)
    ReadTable(c, names, table_creator, kDirectoryAt + kDirectoryEntry * t, block);

  if (block.overflowed()) {
    image->stage = Image::Stage::kNoInfoBlock;
    image->info_overflow = true;
    return false;
  }
  if (v > 260 && c.ok()) {
    const uint16_t count = c.U16();
    std::vector<std::string> strings;
    for (uint16_t i = 0; i < count && c.ok(); ++i) strings.push_back(c.String());
    PutStringTable(strings, block);
  }
  if (has_extra) {
    block.AlignEven();
    block.Set16(52, uint16_t(block.AppendText(extra)));
    block.AlignEven();
  }
  for (size_t i = 0; i < 2 && v > 276u + i && c.ok(); ++i) {
    Block list = ReadScriptList(c, v);
    block.AlignEven();
    if (list.overflowed()) block.MarkOverflowed();
    block.Set16(100 + 2 * i, uint16_t(block.size()));
    block.Append(list.bytes());
    block.AlignEven();
  }
  if (block.overflowed()) {
    image->stage = Image::Stage::kNoInfoBlock;
    image->info_overflow = true;
    return false;
  }
  if (!c.ok() || (v > 274 && !ReadTrailer(c, block))) {
    c.problems().Add(1040);
    image->stage = Image::Stage::kNoInfoBlock;
    return false;
  }
  image->app_info = block.Take();
  return true;
}

}  // namespace

int HeaderProblem(std::span<const uint8_t> file) {
  Problems none;
  FileCursor c(file, &none);
  if (!c.Tag("NBAP")) return 1010;
  const uint32_t version = c.U32();
  return !c.ok() ? 1010 : version < kMinVersion ? 1020 : 0;
}

Image ReadApplication(std::span<const uint8_t> file, const Names& names) {
  Image image;
  if (const int problem = HeaderProblem(file)) {
    image.problems.Add(problem);
    return image;
  }
  FileCursor c(file, &image.problems, 4);
  image.version = c.U32();
  uint32_t forms = 0, bars = 0;
  if (!ReadInfoBlock(c, names, &image, &forms, &bars)) return image;
  image.stage = Image::Stage::kBuilt;

  std::vector<Resource> bitmaps;
  bool lost = false;
  for (uint32_t f = 0; f < forms && !lost; ++f) {
    std::vector<uint8_t> record;
    switch (ReadForm(c, image.version, names.resource_db, &record, &bitmaps)) {
      case FormRead::kDone:
        image.forms.push_back(std::move(record));
        break;
      case FormRead::kFailed:
        image.forms_failed = true;
        break;
      case FormRead::kLost:
        image.forms_failed = lost = true;
        break;
    }
  }

  std::vector<MenuBar> menu_bars;
  if (lost || !ReadMenuBars(c, image.version, bars, &menu_bars)) {
    // Menus behind an unreadable form cannot be found; nothing is guessed.
    image.menus_failed = true;
  } else {
    Block record = MenuRecord(menu_bars);
    if (record.overflowed()) {
      image.problems.Add(1100);
      image.menus_failed = true;
    } else {
      image.has_menu_record = true;
      image.menu_record = record.Take();
      for (const MenuBar& bar : menu_bars)
        image.resources.push_back(
            {nb::pdb::FourCC("MBAR"), uint16_t(bar.id), MenuBarResource(bar)});
    }
  }
  for (Resource& r : bitmaps) image.resources.push_back(std::move(r));
  return image;
}

}  // namespace conduit::app
