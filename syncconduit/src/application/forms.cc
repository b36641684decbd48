#include "forms.h"

#include "block.h"
#include "controls.h"
#include "scripts.h"

namespace conduit::app {

FormRead ReadForm(FileCursor& c, uint32_t version, const std::string& resource_db,
                  std::vector<uint8_t>* record, std::vector<Resource>* bitmaps) {
  if (!c.Tag("FORM")) {
    c.problems().Add(1040);
    return FormRead::kLost;
  }
  Block form;
  form.SetBytes(0, {reinterpret_cast<const uint8_t*>("FORM"), 4});
  for (size_t at : {10, 12, 4, 14}) form.Set16(at, c.U16());
  form.Reserve(36);
  if (version >= 259) {
    Block list = ReadScriptList(c, version);
    form.Set16(16, 36);
    if (list.overflowed()) form.MarkOverflowed();
    form.Append(list.bytes());
    form.AlignEven();
  }
  const uint32_t count = c.U32();
  form.Set16(6, uint16_t(count));
  form.Set16(18, uint16_t(form.size()));

  std::vector<Resource> carried;
  bool too_big = form.overflowed();
  uint32_t in_record = 0;
  for (uint32_t i = 0; i < count && c.ok(); ++i) {
    switch (ReadControl(c, version, resource_db, &form, &carried)) {
      case ControlRead::kDone:
        ++in_record;
        break;
      case ControlRead::kTooBig:
        too_big = true;
        break;
      case ControlRead::kBadType:
        c.problems().Add(1100);
        return FormRead::kLost;
    }
    form.AlignEven();
  }
  if (!c.ok()) {
    c.problems().Add(1040);
    return FormRead::kLost;
  }
  if (too_big) {
    c.problems().AddEach(1100);
    return FormRead::kFailed;
  }
  form.Set16(8, uint16_t(in_record));
  *record = form.Take();
  for (Resource& r : carried) bitmaps->push_back(std::move(r));
  return FormRead::kDone;
}

}  // namespace conduit::app
