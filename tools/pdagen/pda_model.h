// pdagen's model of an application file as the desktop designer saves it, and its
// writer. Everything the conduit reads has a place here; what the file carries but the
// conduit drops is written as zero, but for the two items after a field's flags. Little-endian; a
// string is a 16-bit length and its bytes.
//
// Usage:
//   pdagen::App app = pdagen::SampleApp({.version = 278, .forms = 3});
//   std::vector<uint8_t> bytes = pdagen::Write(app);
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pdagen {

struct Script {
  std::string tag = "RCSS";
  uint16_t a = 0, b = 0, c = 0;
  std::string code;  // empty: a script of size 0
};

struct Action {
  uint16_t a = 0, flags = 0, b = 0, k = 0, d = 0;
  std::string s1, s2;
  uint32_t v1 = 0, v2 = 0;
  struct Step {
    uint16_t p = 0, q = 0, r = 0;  // r & 0x8000: the step carries text, else value
    uint16_t value = 0;
    std::string text;
  };
  std::vector<Step> steps;
  uint16_t e = 0;
  struct Entry {
    uint16_t x = 0, y = 0, z = 0;
    uint32_t w = 0;
  };
  std::vector<Entry> entries;          // written from version 257
  Script script;                       // written from version 259
  std::optional<uint16_t> step_count;  // written instead of the steps' number (a lie)
};

// Type-specific items are taken in the file's order: values, text, rows (type 10), the
// bitmap (type 7 with flag bit 0), the script (type 17), the action.
struct Control {
  uint16_t type = 2;
  uint32_t flags = 0;
  std::array<uint16_t, 6> base{};  // the sixth is written from version 263
  std::vector<uint16_t> values;
  std::string text;
  std::vector<std::array<uint16_t, 6>> rows;
  uint16_t bitmap_id = 0;
  std::vector<uint8_t> bitmap;
  Script script;
  Action action;
};

struct Form {
  std::array<uint16_t, 4> values{};
  std::vector<Script> scripts;  // from version 259; before 264 always eight
  std::vector<Control> controls;
  std::optional<uint32_t> control_count;  // a lying count
};

struct Field {
  std::string name;
  uint16_t width = 0;
  char type = 'C';
  uint8_t decimals = 0;
  uint16_t flags = 0;
  uint16_t item38 = 0;  // the two items after the flags, which the conduit drops
  uint32_t item40 = 0;
};

struct Table {
  std::string name;
  uint32_t a = 0x4E425442;  // 'NBTB' as the designer keeps it
  uint16_t b = 0x0210;
  uint32_t c = 0;
  uint16_t d = 0;
  std::vector<Field> fields;
};

struct MenuItem {
  std::string text, shortcut;
  uint32_t id = 0;
  Action action;
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

struct App {
  uint32_t version = 278;
  std::string name;
  uint32_t info_value = 0;  // item 3
  uint32_t flags = 0;
  uint16_t item6 = 0;
  bool has_extra = false;
  std::string extra;
  std::array<uint16_t, 3> bytes3{};  // from version 260
  uint16_t item9 = 0;                // from version 262
  uint16_t item9b = 0;               // from version 272
  std::vector<Table> tables;
  std::vector<std::string> strings;  // from version 261
  std::vector<Script> scripts1;      // from version 277
  std::vector<Script> scripts2;      // from version 278
  std::string trailer_text;          // from version 275
  uint32_t trailer_value = 0;
  std::vector<Form> forms;
  std::vector<MenuBar> menu_bars;
  std::optional<uint32_t> form_count, table_count;  // lying counts
};

std::vector<uint8_t> Write(const App& app);

struct SampleOptions {
  uint32_t version = 278;
  int forms = 2;
  int controls = 16;  // per form, cycling through types 2 to 17
  int menu_bars = 1;
  int tables = 2;
};
// An application using every item of its version: every control type, bitmaps carried in
// the file (real handheld bitmaps), edit menus with shortcuts, scripts, the trailer.
App SampleApp(const SampleOptions& options);

// The demo's appraisal application: the thirteen appraisal tables' infos, a few forms
// and one menu bar.
App AppraisalApp();

// A 1-bit handheld bitmap of width x height with a diagonal pattern.
std::vector<uint8_t> SampleBitmap(int width, int height);

}  // namespace pdagen
