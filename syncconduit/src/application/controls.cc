#include "controls.h"

#include <cstdio>

#include "action_block.h"
#include "pdbfile/bytes.h"
#include "scripts.h"

namespace conduit::app {
namespace {

constexpr size_t kBase = 36;

// Places an action block at `at` and returns the end of the type data.
size_t PutAction(Block& ctl, size_t at, Block action) {
  if (action.overflowed()) {
    ctl.MarkOverflowed();  // cannot fit: mark the control overflowed
    return at;
  }
  ctl.SetBytes(at, action.bytes());
  return at + action.size();
}

void PutValues(FileCursor& c, Block& ctl, std::initializer_list<size_t> offsets) {
  for (size_t at : offsets) ctl.Set16(at, c.U16());
}

// The bitmap a type-7 control carries: a long-form item holding the "NBRL" reference to
// the resource, and the bitmap kept for the resource database.
size_t PutBitmap(FileCursor& c, Block& ctl, const std::string& resource_db,
                 std::vector<Resource>* bitmaps) {
  ctl.Set16(26, 0xFFFF);
  const uint16_t id = c.U16();
  char text[80];
  std::snprintf(text, sizeof text, "RSRC:%.31s:Tbmp:%d", resource_db.c_str(), int(id));
  const std::string ref = text;
  const uint16_t n = uint16_t(ref.size() + 5);
  ctl.Set8(36, 0xFF);
  ctl.Set16(37, n);
  ctl.Set8(39, 0);
  ctl.SetBytes(40, {reinterpret_cast<const uint8_t*>("NBRL"), 4});
  ctl.SetBytes(44, {reinterpret_cast<const uint8_t*>(ref.data()), ref.size()});
  const uint16_t size = c.U16();
  auto data = c.Bytes(size);
  if (c.ok()) bitmaps->push_back({nb::pdb::FourCC("Tbmp"), id, {data.begin(), data.end()}});
  return kBase + n + 3;
}

}  // namespace

ControlRead ReadControl(FileCursor& c, uint32_t version, const std::string& resource_db,
                        Block* form, std::vector<Resource>* bitmaps) {
  const uint16_t type = c.U16();
  if (!c.ok()) return ControlRead::kDone;  // the caller sees the cut
  if (type < 2 || type > 17) return ControlRead::kBadType;
  Block ctl(kRecordLimit - form->size());
  uint32_t flags = c.U32();
  if (type == 9) flags |= 0x04;
  ctl.SetBytes(0, {reinterpret_cast<const uint8_t*>("CTRL"), 4});
  ctl.Set16(4, kBase);
  ctl.Set16(8, type);
  ctl.Set32(10, flags);
  PutValues(c, ctl, {14, 16, 18, 20, 22});
  if (version > 262) PutValues(c, ctl, {24});
  ctl.Reserve(kBase);

  std::vector<Resource> carried;
  size_t end = kBase;  // end of the type data
  switch (type) {
    case 2:
    case 16:
      break;
    case 3:
    case 14:
      PutValues(c, ctl, {26, 36, 38, 40, 42, 44, 46, 48});
      ctl.Set16(50, 16);
      end = PutAction(ctl, 52, ReadActionBlock(c, version));
      break;
    case 4:
    case 5: {
      const std::string text = c.String();
      ctl.SetText(36, text);
      end = kBase + text.size() + 1;
      break;
    }
    case 6:
      PutValues(c, ctl, {26, 36, 38});
      end = kBase + 4;
      break;
    case 7:
      if (flags & 1) {
        end = PutBitmap(c, ctl, resource_db, &carried);
      } else {
        PutValues(c, ctl, {26});
      }
      break;
    case 8: {
      const std::string text = c.String();
      ctl.SetText(38, text);
      const size_t action = (text.size() + 4) & ~size_t(1);
      ctl.Set16(36, uint16_t(action));
      end = PutAction(ctl, kBase + action, ReadActionBlock(c, version));
      break;
    }
    case 9:
      ctl.Set16(36, 1);
      PutValues(c, ctl, {26, 38});
      end = kBase + 4;
      break;
    case 10: {
      PutValues(c, ctl, {36});
      const uint16_t rows = c.U16();
      ctl.Set16(38, rows);
      for (uint16_t i = 0; i < rows && c.ok(); ++i) {
        const size_t at = 42 + 12 * size_t(i);
        PutValues(c, ctl, {at, at + 2, at + 10, at + 4, at + 6, at + 8});
      }
      const size_t action = 6 + 12 * size_t(rows);
      ctl.Set16(40, uint16_t(action));
      end = PutAction(ctl, kBase + action, ReadActionBlock(c, version));
      break;
    }
    case 11:
    case 12: {
      const std::string text = c.String();
      ctl.SetText(42, text);
      if (type == 11)
        PutValues(c, ctl, {26});
      else
        PutValues(c, ctl, {26, 36, 38});
      const size_t action = (text.size() + 8) & ~size_t(1);
      ctl.Set16(40, uint16_t(action));
      end = PutAction(ctl, kBase + action, ReadActionBlock(c, version));
      break;
    }
    case 13:
      PutValues(c, ctl, {26});
      end = kBase + 1;
      break;
    case 15:
      PutValues(c, ctl, {26, 36, 38, 42});
      end = kBase + 10;
      break;
    case 17: {
      PutValues(c, ctl, {36});
      ctl.Set16(38, 22);
      const std::vector<uint8_t> script = ReadScript(c);
      ctl.SetBytes(58, script);
      end = 58 + script.size();
      if (version >= 273) {
        const size_t action = 22 + script.size();
        ctl.Set16(40, uint16_t(action));
        end = PutAction(ctl, kBase + action, ReadActionBlock(c, version));
      }
      break;
    }
  }
  const size_t length = (end + 1) & ~size_t(1);
  ctl.Set16(6, uint16_t(length));
  ctl.Reserve(length);
  if (!c.ok()) return ControlRead::kDone;
  if (ctl.overflowed()) return ControlRead::kTooBig;
  form->Append(ctl.bytes());
  for (Resource& r : carried) bitmaps->push_back(std::move(r));
  return ControlRead::kDone;
}

}  // namespace conduit::app
