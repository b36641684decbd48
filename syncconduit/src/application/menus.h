// Menu bars. In the file, after the forms: "MBAR" (else 1440), a 32-bit ID, a 16-bit menu
// count; per menu "MENU" (else 1450), title, 32-bit ID, 16-bit edit-menu flag, 16-bit
// item count; per item "MITM" (else 1460), text, shortcut, 32-bit ID, action block. A file
// cut inside a bar, menu or item gives that level's code.
//
// On the handheld the items of all bars make one "MENU" record of the forms database, and
// each bar one 'MBAR' resource in the Palm OS menu-bar layout (MenuLayout).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "block.h"
#include "file_cursor.h"

namespace conduit::app {

struct MenuItem {
  std::string text, shortcut;
  uint32_t id = 0;
  std::vector<uint8_t> action;  // handheld form; empty for the standard edit items
};
struct Menu {
  std::string title;
  uint32_t id = 0;
  bool edit = false;
  std::vector<MenuItem> items;
};
struct MenuBar {
  uint32_t id = 0;
  std::vector<Menu> menus;
};

// False when the menu data is corrupt (its problem is reported).
bool ReadMenuBars(FileCursor& c, uint32_t version, uint32_t count, std::vector<MenuBar>* bars);

// "MENU" at 0, the item count at 4, then per item its ID, action size + 4 and action.
// Overflowed past 64,512 bytes.
Block MenuRecord(const std::vector<MenuBar>& bars);

// The 'MBAR' resource of one bar; the edit menus get the standard items appended.
std::vector<uint8_t> MenuBarResource(const MenuBar& bar);

// Width in pixels of text in the handheld's bold font (bold_font.cc).
int TextWidth(const std::string& text);

}  // namespace conduit::app
