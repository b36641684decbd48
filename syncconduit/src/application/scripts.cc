#include "scripts.h"

namespace conduit::app {

std::vector<uint8_t> ReadScript(FileCursor& c) {
  if (!c.Tag("RCSS") && c.ok()) c.problems().Add(1250);
  const uint32_t size = c.U32();
  if (size == 0 || !c.ok()) return {};
  const uint16_t a = c.U16(), b = c.U16(), low = c.U16();
  auto code = c.Bytes(size);
  if (!c.ok()) return {};
  Block script(size_t(-1));
  script.Set16(0, 8);
  script.Set16(2, a);
  script.Set16(4, b);
  script.Set8(6, uint8_t(low));
  script.Set8(7, 0);
  script.Append(code);
  script.AlignEven();
  return script.Take();
}

Block ReadScriptList(FileCursor& c, uint32_t version) {
  const uint16_t count = version < 264 ? 8 : c.U16();
  Block list;
  list.Set16(0, count);
  list.Reserve(2 + 2 * size_t(count));
  for (uint16_t i = 0; i < count && c.ok(); ++i) {
    std::vector<uint8_t> script = ReadScript(c);
    if (script.empty()) continue;
    list.Set16(2 + 2 * size_t(i), uint16_t(list.size()));
    list.Append(script);
  }
  return list;
}

}  // namespace conduit::app
