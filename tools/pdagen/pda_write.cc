#include "pda_model.h"

namespace pdagen {
namespace {

class Out {
 public:
  explicit Out(uint32_t version) : version(version) {}
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void Raw(const std::string& s) { bytes.insert(bytes.end(), s.begin(), s.end()); }
  void Str(const std::string& s) {
    U16(uint16_t(s.size()));
    Raw(s);
  }
  void Fixed(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) U8(i < s.size() ? uint8_t(s[i]) : 0);
  }

  void Script(const pdagen::Script& s) {
    Fixed(s.tag, 4);
    U32(uint32_t(s.code.size()));
    if (s.code.empty()) return;
    U16(s.a);
    U16(s.b);
    U16(s.c);
    Raw(s.code);
  }
  void ScriptList(const std::vector<pdagen::Script>& scripts) {
    if (version >= 264) U16(uint16_t(scripts.size()));
    const size_t count = version >= 264 ? scripts.size() : 8;
    for (size_t i = 0; i < count; ++i) Script(i < scripts.size() ? scripts[i] : pdagen::Script{});
  }
  void Action(const pdagen::Action& a) {
    U32(0);
    U16(a.a);
    U16(a.flags);
    U16(a.b);
    U16(a.k);
    Str(a.s1);
    Str(a.s2);
    U32(a.v1);
    U32(a.v2);
    U16(a.d);
    U16(a.step_count.value_or(uint16_t(a.steps.size())));
    for (const auto& s : a.steps) {
      U32(0);
      U16(s.p);
      U16(s.q);
      U16(s.r);
      if (s.r & 0x8000)
        Str(s.text);
      else
        U16(s.value);
    }
    if (version > 256) {
      U16(uint16_t(a.entries.size()));
      if (!a.entries.empty()) {
        U16(a.e);
        for (const auto& e : a.entries) {
          U32(0);
          U16(e.x);
          U16(e.y);
          U16(e.z);
          U32(e.w);
        }
      }
    }
    if (version > 258) Script(a.script);
  }
  void Control(const pdagen::Control& c) {
    U16(c.type);
    U32(c.flags);
    for (int i = 0; i < 5; ++i) U16(c.base[size_t(i)]);
    if (version > 262) U16(c.base[5]);
    size_t v = 0;
    auto values = [&](size_t n) {
      for (size_t i = 0; i < n; ++i) U16(v < c.values.size() ? c.values[v++] : 0);
    };
    switch (c.type) {
      case 3:
      case 14:
        values(8);
        Action(c.action);
        break;
      case 4:
      case 5:
        Str(c.text);
        break;
      case 6:
        values(3);
        break;
      case 7:
        if (c.flags & 1) {
          U16(c.bitmap_id);
          U16(uint16_t(c.bitmap.size()));
          bytes.insert(bytes.end(), c.bitmap.begin(), c.bitmap.end());
        } else {
          values(1);
        }
        break;
      case 8:
        Str(c.text);
        Action(c.action);
        break;
      case 9:
        values(2);
        break;
      case 10:
        values(1);
        U16(uint16_t(c.rows.size()));
        for (const auto& row : c.rows)
          for (uint16_t x : row) U16(x);
        Action(c.action);
        break;
      case 11:
      case 12:
        Str(c.text);
        values(c.type == 11 ? 1 : 3);
        Action(c.action);
        break;
      case 13:
        values(1);
        break;
      case 15:
        values(4);
        break;
      case 17:
        values(1);
        Script(c.script);
        if (version >= 273) Action(c.action);
        break;
    }
  }

  uint32_t version;
  std::vector<uint8_t> bytes;
};

}  // namespace

std::vector<uint8_t> Write(const App& app) {
  Out o(app.version);
  o.Raw("NBAP");
  o.U32(app.version);
  o.U32(app.info_value);
  o.Str(app.name);
  o.U32(app.flags);
  o.U16(app.item6);
  if (app.version > 257) {
    o.U16(app.has_extra ? 1 : 0);
    o.Str(app.extra);
  }
  if (app.version > 259)
    for (uint16_t v : app.bytes3) o.U16(v);
  if (app.version > 261) {
    o.U16(app.item9);
    if (app.version > 271) o.U16(app.item9b);
  }
  o.U32(app.form_count.value_or(uint32_t(app.forms.size())));
  o.U32(uint32_t(app.menu_bars.size()));
  o.U32(app.table_count.value_or(uint32_t(app.tables.size())));
  for (const Table& t : app.tables) {
    o.Str(t.name);
    o.U32(t.a);
    o.U16(t.b);
    o.U32(t.c);
    o.U16(t.d);
    o.U16(uint16_t(t.fields.size()));
    for (int i = 0; i < 5; ++i) o.U32(0);
    for (const Field& f : t.fields) {
      o.Fixed(f.name, 32);
      o.U16(f.width);
      o.U8(uint8_t(f.type));
      o.U8(f.decimals);
      o.U16(f.flags);
      o.U16(f.item38);
      o.U32(f.item40);
    }
  }
  if (app.version > 260) {
    o.U16(uint16_t(app.strings.size()));
    for (const std::string& s : app.strings) o.Str(s);
  }
  if (app.version > 276) o.ScriptList(app.scripts1);
  if (app.version > 277) o.ScriptList(app.scripts2);
  for (const Form& f : app.forms) {
    o.Raw("FORM");
    for (uint16_t v : f.values) o.U16(v);
    if (app.version >= 259) o.ScriptList(f.scripts);
    o.U32(f.control_count.value_or(uint32_t(f.controls.size())));
    for (const Control& c : f.controls) o.Control(c);
  }
  for (const MenuBar& bar : app.menu_bars) {
    o.Raw("MBAR");
    o.U32(bar.id);
    o.U16(uint16_t(bar.menus.size()));
    for (const Menu& m : bar.menus) {
      o.Raw("MENU");
      o.Str(m.title);
      o.U32(m.id);
      o.U16(m.edit ? 1 : 0);
      o.U16(uint16_t(m.items.size()));
      for (const MenuItem& item : m.items) {
        o.Raw("MITM");
        o.Str(item.text);
        o.Str(item.shortcut);
        o.U32(item.id);
        o.Action(item.action);
      }
    }
  }
  if (app.version > 274) {
    const size_t start = o.bytes.size();
    o.Str(app.trailer_text);
    o.U32(app.trailer_value);
    o.U16(uint16_t(o.bytes.size() + 2 - start));
  }
  return std::move(o.bytes);
}

}  // namespace pdagen
