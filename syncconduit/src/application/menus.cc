#include "menus.h"

#include <algorithm>

#include "action_block.h"

namespace conduit::app {

bool ReadMenuBars(FileCursor& c, uint32_t version, uint32_t count, std::vector<MenuBar>* bars) {
  // Fails with the code of the level that broke, whether by a wrong tag or a cut.
  auto fail = [&](int code) {
    c.problems().Add(code);
    return false;
  };
  for (uint32_t b = 0; b < count; ++b) {
    MenuBar bar;
    if (!c.Tag("MBAR")) return fail(1440);
    bar.id = c.U32();
    const uint16_t menus = c.U16();
    if (!c.ok()) return fail(1440);
    for (uint16_t m = 0; m < menus; ++m) {
      Menu menu;
      if (!c.Tag("MENU")) return fail(1450);
      menu.title = c.String();
      menu.id = c.U32();
      menu.edit = c.U16() != 0;
      const uint16_t items = c.U16();
      if (!c.ok()) return fail(1450);
      for (uint16_t i = 0; i < items; ++i) {
        MenuItem item;
        if (!c.Tag("MITM")) return fail(1460);
        item.text = c.String();
        item.shortcut = c.String();
        item.id = c.U32();
        Block action = ReadActionBlock(c, version);
        if (!c.ok()) return fail(1460);
        if (action.overflowed()) return fail(1100);
        item.action = action.Take();
        menu.items.push_back(std::move(item));
      }
      bar.menus.push_back(std::move(menu));
    }
    bars->push_back(std::move(bar));
  }
  return true;
}

Block MenuRecord(const std::vector<MenuBar>& bars) {
  Block record;
  record.SetBytes(0, {reinterpret_cast<const uint8_t*>("MENU"), 4});
  record.Reserve(8);
  uint16_t count = 0;
  for (const MenuBar& bar : bars)
    for (const Menu& menu : bar.menus)
      for (const MenuItem& item : menu.items) {
        const size_t at = record.size();
        record.Set16(at, uint16_t(item.id));
        record.Set16(at + 2, uint16_t(item.action.size() + 4));
        record.Append(item.action);
        ++count;
      }
  record.Set16(4, count);
  return record;
}

namespace {

struct StandardItem {
  const char* text;
  char shortcut;
  uint16_t id;
};
constexpr StandardItem kEditItems[] = {
    {"Undo", 'U', 300},     {"Cut", 'X', 301},           {"Copy", 'C', 302},
    {"Paste", 'P', 303},    {"Select All", 'S', 304},    {"-", 0, 305},
    {"Keyboard", 'K', 306}, {"Graffiti Help", 'G', 307},
};

// Bar header, one entry per menu, the items, the strings.
constexpr size_t kBarSize = 32, kMenuSize = 34, kItemSize = 8;
constexpr int kTitleX = 4, kTitleHeight = 12, kMenuY = 14, kScreenRight = 156, kMenuRight = 158;

}  // namespace

std::vector<uint8_t> MenuBarResource(const MenuBar& source) {
  MenuBar bar = source;
  for (Menu& menu : bar.menus)
    if (menu.edit)
      for (const StandardItem& s : kEditItems)
        menu.items.push_back({s.text, s.shortcut ? std::string(1, s.shortcut) : "", s.id, {}});

  size_t item_count = 0;
  for (const Menu& menu : bar.menus) item_count += menu.items.size();
  const size_t items_at = kBarSize + kMenuSize * bar.menus.size();
  size_t strings_at = items_at + kItemSize * item_count;

  Block r(size_t(-1));
  r.Set16(20, 0xFFFF);  // no current item
  r.Set16(26, uint16_t(bar.menus.size()));
  r.Reserve(strings_at);
  int title_x = kTitleX;
  size_t item_at = items_at;
  for (size_t m = 0; m < bar.menus.size(); ++m) {
    const Menu& menu = bar.menus[m];
    const size_t at = kBarSize + kMenuSize * m;
    int width = 0, height = 0;
    for (const MenuItem& item : menu.items) {
      width = std::max(width, TextWidth(item.text) + 9 + (item.shortcut.empty() ? 0 : 36));
      height += item.text == "-" ? 5 : 11;
    }
    int x = title_x + width > kScreenRight ? std::max(0, kMenuRight - width) : title_x + 2;
    const int title_width = TextWidth(menu.title) + 10;
    r.Set16(at + 4, uint16_t(x));
    r.Set16(at + 6, kMenuY);
    r.Set16(at + 8, uint16_t(width));
    r.Set16(at + 10, uint16_t(height));
    r.Set16(at + 16, uint16_t(title_x));
    r.Set16(at + 18, 0);
    r.Set16(at + 20, uint16_t(title_width));
    r.Set16(at + 22, kTitleHeight);
    r.Set32(at + 24, uint32_t(r.AppendText(menu.title)));
    r.Set16(at + 28, uint16_t(menu.items.size()));
    r.Set32(at + 30, uint32_t(item_at));
    for (const MenuItem& item : menu.items) {
      r.Set16(item_at, uint16_t(item.id));
      r.Set8(item_at + 2, item.shortcut.empty() ? 0 : uint8_t(item.shortcut[0]));
      r.Set32(item_at + 4, uint32_t(r.AppendText(item.text)));
      item_at += kItemSize;
    }
    title_x += title_width;
  }
  return r.Take();
}

}  // namespace conduit::app
