// Desktop table -> handheld table database file.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "convert_bitmap.h"
#include "messages.h"
#include "nbddb/plugin.h"
#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "table_conversion.h"
#include "table_format.h"

namespace pdbdevice {
namespace {

// A record's bytes and the log of its warnings.
class RecordEncoder {
 public:
  RecordEncoder(const std::string& table_path, NddiLogFn log)
      : table_path_(table_path), log_(log) {}

  // Encodes one record, one item per letter; throws std::bad_alloc when memory runs out.
  void Encode(const std::vector<FieldValue>& values, const std::vector<char>& letters, int number,
              std::vector<uint8_t>* out) {
    record_ = out;
    number_ = number;
    out->clear();
    size_t room = 0;
    for (const FieldValue& v : values) {
      room += v.tag() == FieldTag::Text || v.tag() == FieldTag::Binary ? v.length() + 4 : 12;
    }
    out->reserve(room);
    for (size_t i = 0; i < letters.size(); ++i) {
      static const FieldValue kMissing = FieldValue::Null();
      Value(i < values.size() ? values[i] : kMissing, letters[i]);
    }
    if (out->size() > kRecordLimit && log_) {
      log_(
          "A record size is more than maximum size (64KB), so skipped all BINARY TYPE fields. "
          "(Record#%d)",
          number_);
    }
  }

 private:
  void Value(const FieldValue& v, char letter) {
    std::vector<uint8_t>& r = *record_;
    char text[32];
    switch (v.tag()) {
      case FieldTag::Text: {
        // The two-byte length holds the text and its terminator.
        std::string_view t = v.text_view();
        if (t.size() + 1 > kMaxItemLength) {
          if (log_) {
            log_(
                "A text in TEXT TYPE field is too long, so it was cut to %d characters. "
                "(Record#%d)",
                int(kMaxItemLength - 1), number_);
          }
          t = t.substr(0, kMaxItemLength - 1);
        }
        std::string with_end(t);
        AppendItem(r, with_end.c_str(), with_end.size() + 1);
        return;
      }
      case FieldTag::Int32:
      case FieldTag::Int64:
      case FieldTag::Double:
        Number(v, letter);
        return;
      case FieldTag::Logical:
        AppendItem(r, v.logical() ? "T" : "F", 1);
        return;
      case FieldTag::Date:
        if (v.length() == 0) return AppendEmptyItem(r);
        std::snprintf(text, sizeof text, "%08d", v.date());
        AppendItem(r, text, std::strlen(text));
        return;
      case FieldTag::Time: {
        if (v.length() == 0) return AppendEmptyItem(r);
        auto part = [](int32_t x) { return (x % 100 + 100) % 100; };
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", part(v.time() / 10000),
                      part(v.time() / 100), part(v.time()));
        AppendItem(r, text, 8);
        return;
      }
      case FieldTag::TimeStamp: {
        if (v.length() == 0) return AppendEmptyItem(r);
        uint8_t b[8];
        Put64(b, uint64_t(v.timestamp()));
        AppendItem(r, b, 8);
        return;
      }
      case FieldTag::Binary:
        Binary(v);
        return;
      case FieldTag::Null:
        AppendEmptyItem(r);
        return;
      default:
        ShowError("Unknown field type", table_path_);
        AppendEmptyItem(r);
        return;
    }
  }

  static void Put64(uint8_t* p, uint64_t v) {
    nb::pdb::Set32(p, uint32_t(v >> 32));
    nb::pdb::Set32(p + 4, uint32_t(v));
  }

  // Numbers take the representation their field's letter promises, so that a reader that
  // goes by the letter finds the item it expects whatever tag the producer chose.
  void Number(const FieldValue& v, char letter) {
    uint8_t b[8];
    char as = letter;
    if (as != 'N' && as != 'Q' && as != 'F') {
      as = v.tag() == FieldTag::Int32 ? 'N' : v.tag() == FieldTag::Int64 ? 'Q' : 'F';
    }
    if (as == 'N') {
      nb::pdb::Set32(b, uint32_t(int32_t(v.AsInt64())));
      AppendItem(*record_, b, 4);
    } else if (as == 'Q') {
      Put64(b, uint64_t(v.AsInt64()));
      AppendItem(*record_, b, 8);
    } else {
      const double d = v.AsDouble();
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      Put64(b, bits);
      AppendItem(*record_, b, 8);
    }
  }

  bool Fits(size_t payload) const { return record_->size() + payload + 4 <= kRecordLimit; }

  void Binary(const FieldValue& v) {
    std::vector<uint8_t>& r = *record_;
    const uint8_t* bytes = v.bytes();
    const size_t n = v.length();
    const bool names_file = bytes && n > 4;
    if (names_file && std::memcmp(bytes, "HSBM", 4) == 0) return BitmapFile(FilePath(v));
    if (names_file && std::memcmp(bytes, "HSRW", 4) == 0) return RawFile(FilePath(v));
    if (!Fits(n)) {
      if (log_) log_("Binary data in BINARY TYPE field is too big. (Record#%d)", number_);
      return AppendLeftOutBinary(r);
    }
    AppendBinaryItem(r, bytes, n);
  }

  static std::string FilePath(const FieldValue& v) {
    const char* p = reinterpret_cast<const char*>(v.bytes()) + 4;
    return std::string(p, strnlen(p, v.length() - 4));
  }

  void BitmapFile(const std::string& path) {
    std::vector<uint8_t>& r = *record_;
    try {
      std::vector<uint8_t> family;
      if (!ConvertBitmapFile(path, nullptr, &family, log_)) {
        if (log_) log_("Cannot convert %s to PalmBitmap. (Record#%d)", path.c_str(), number_);
        return AppendLeftOutBinary(r);
      }
      if (!Fits(family.size() + 4)) {
        if (log_) log_("Bitmap data is too big. (Record#%d, Path=%s)", number_, path.c_str());
        return AppendLeftOutBinary(r);
      }
      std::vector<uint8_t> payload{'T', 'b', 'm', 'p'};
      payload.insert(payload.end(), family.begin(), family.end());
      AppendBinaryItem(r, payload.data(), payload.size());
    } catch (const std::bad_alloc&) {
      if (log_)
        log_("Cannot allocate temporary buffer. (Record#%d, Path=%s)", number_, path.c_str());
      AppendLeftOutBinary(r);
    }
  }

  void RawFile(const std::string& path) {
    std::vector<uint8_t>& r = *record_;
    const std::string file = nb::MapPath(path);
    struct stat st;
    if (nb::TheOs().Stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      if (log_) log_("Specified file is not found. (Record#%d, Path=%s)", number_, path.c_str());
      return AppendLeftOutBinary(r);
    }
    if (!Fits(size_t(st.st_size))) {
      if (log_)
        log_("Specified binary data is too big. (Record#%d, Path=%s)", number_, path.c_str());
      return AppendLeftOutBinary(r);
    }
    try {
      std::string data;
      if (!nb::ReadWholeFile(file, &data) || !Fits(data.size())) {
        if (log_) log_("Specified file is not found. (Record#%d, Path=%s)", number_, path.c_str());
        return AppendLeftOutBinary(r);
      }
      AppendBinaryItem(r, reinterpret_cast<const uint8_t*>(data.data()), data.size());
    } catch (const std::bad_alloc&) {
      if (log_)
        log_("Cannot allocate temporary buffer. (Record#%d, Path=%s)", number_, path.c_str());
      AppendLeftOutBinary(r);
    }
  }

  const std::string& table_path_;
  NddiLogFn log_;
  std::vector<uint8_t>* record_ = nullptr;
  int number_ = 0;
};

}  // namespace

bool PutTable(const std::string& database_name, const std::string& table_path,
              const std::string& pdb_path, uint32_t creator, uint32_t flags,
              const std::string& nbddb_library, NddiLogFn log) {
  CNbddbPlugin table(nbddb_library);
  if (!table.Open(nb::MapPath(table_path), true)) {
    ShowError("Unable to open the desktop file.", table_path);
    return false;
  }
  auto fail = [&](const char* message) {
    table.Close();
    ShowError(message, table_path);
    return false;
  };

  const int count = table.GetRecordCount();
  if (count < 0 || size_t(count) > kMaxRecords) {
    return fail("The desktop table has more records than a handheld database can hold (65535).");
  }
  nb::pdb::Database db;
  try {
    db.records.reserve(size_t(count));
  } catch (const std::bad_alloc&) {
    return fail("Out of memory. Unable to create space for PDB header.");
  }
  db.name = database_name;
  db.attributes = flags & 1u ? kBackupAttribute : 0;
  db.created = db.modified = uint32_t(nb::TheOs().Now());
  db.type = nb::pdb::FourCC(kTableType);
  db.creator = creator;

  table.GetFieldCount();
  const std::vector<FieldDesc> fields = table.GetFields();
  std::vector<char> letters;
  for (const FieldDesc& f : fields) {
    letters.push_back(TypeLetter(f));
    if (!letters.back()) ShowError("Unknown field type", table_path);
  }
  try {
    db.app_info = EncodeTableInfo(fields, letters, flags);
  } catch (const std::bad_alloc&) {
    return fail("Out of memory. Unable to create space for TABLE_INFO.");
  }

  RecordEncoder encoder(table_path, log);
  for (int i = 0; i < count; ++i) {
    const int moved = i == 0 ? table.MoveFirst() : table.MoveNext();
    // A table that holds fewer records than it counted ends the list here.
    if (moved != NavStatus::Done) break;
    const std::vector<FieldValue>& values = table.GetRecord();
    nb::pdb::Record record;
    try {
      encoder.Encode(values, letters, i + 1, &record.data);
      db.records.push_back(std::move(record));
    } catch (const std::bad_alloc&) {
      return fail("Out of memory. Unable to create space for a record.");
    }
  }

  // Written whole or not at all: a half-written file never replaces the old one.
  if (!nb::pdb::WriteFile(nb::MapPath(pdb_path), db)) {
    return fail("Unable to create/open a new PDB file.");
  }
  return table.Close();
}

}  // namespace pdbdevice
