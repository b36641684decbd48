#include "action_block.h"

#include <string>

#include "scripts.h"

namespace conduit::app {

Block ReadActionBlock(FileCursor& c, uint32_t version) {
  Block block;
  c.Skip(4);
  const uint16_t a = c.U16(), flags = c.U16(), b = c.U16(), k = c.U16();
  const std::string s1 = c.String(), s2 = c.String();
  const uint32_t v1 = c.U32(), v2 = c.U32();
  const uint16_t d = c.U16(), count = c.U16();
  block.Set16(0, a);
  block.Set16(2, b);
  block.Set16(4, k);
  block.Set16(6, d);
  block.Set16(8, count);
  block.Set16(10, flags);
  block.Reserve(26);

  // Entries first, their strings after the last one: the entries' size is known up front.
  size_t strings = 26 + 16 * size_t(count);
  block.Reserve(strings);
  for (uint16_t i = 0; i < count && c.ok(); ++i) {
    const size_t entry = 26 + 16 * size_t(i);
    c.Skip(4);
    const uint16_t p = c.U16(), q = c.U16(), r = c.U16();
    block.Set16(entry, p);
    block.Set16(entry + 2, q);
    block.Set16(entry + 4, r);
    if (r & 0x8000) {
      const std::string text = c.String();
      block.Set16(entry + 6, uint16_t(strings));
      block.SetText(strings, text);
      strings += text.size() + 1;
    } else {
      block.Set16(entry + 6, c.U16());
    }
  }

  if (flags & 0x02) {
    block.AlignEven();
    const size_t at = block.size();
    block.Set16(12, uint16_t(at));
    block.Set16(at, 12);
    block.Set16(at + 2, uint16_t(12 + s1.size() + 1));
    block.Set32(at + 4, v1);
    block.Set32(at + 8, v2);
    block.AppendText(s1);
    block.AppendText(s2);
  }

  if (version > 256) {
    const uint16_t entries = c.U16();
    if (entries != 0) {
      const uint16_t e = c.U16();
      block.AlignEven();
      const size_t at = block.size();
      block.Set16(14, uint16_t(at));
      block.Set16(at, entries);
      block.Set16(at + 2, e);
      block.Reserve(at + 4 + 10 * size_t(entries));
      for (uint16_t i = 0; i < entries && c.ok(); ++i) {
        const size_t entry = at + 4 + 10 * size_t(i);
        c.Skip(4);
        block.Set16(entry, c.U16());
        block.Set16(entry + 2, c.U16());
        block.Set16(entry + 4, c.U16());
        block.Set32(entry + 6, c.U32());
      }
    }
  }

  if (version > 258) {
    std::vector<uint8_t> script = ReadScript(c);
    if (!script.empty()) {
      block.AlignEven();
      block.Set16(16, uint16_t(block.size()));
      block.Append(script);
    }
  }
  return block;
}

}  // namespace conduit::app
