// The application reader on files written by pdagen: the bytes of the application-info
// block, form records, controls, action blocks and menu bars on both sides of every
// version threshold, and malformed files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app_image.h"
#include "menus.h"
#include "pda_model.h"
#include "pdbfile/bytes.h"

namespace conduit::app {
namespace {

using nb::pdb::FourCC;
constexpr uint32_t kABCD = 0x41424344;
const Names kNames{"EABCD0102#SAMPLE", kABCD, 1, 2};

uint16_t At16(const std::vector<uint8_t>& b, size_t at) {
  return at + 2 <= b.size() ? nb::pdb::Get16(&b[at]) : 0xDEAD;
}
uint32_t At32(const std::vector<uint8_t>& b, size_t at) {
  return at + 4 <= b.size() ? nb::pdb::Get32(&b[at]) : 0xDEADBEEF;
}
std::string Text(const std::vector<uint8_t>& b, size_t at) {
  std::string s;
  while (at < b.size() && b[at]) s += char(b[at++]);
  return s;
}

Image Read(const pdagen::App& app) { return ReadApplication(pdagen::Write(app), kNames); }

pdagen::App Small(uint32_t version) {
  return pdagen::SampleApp(
      {.version = version, .forms = 1, .controls = 16, .menu_bars = 1, .tables = 1});
}

std::vector<int> Codes(const Image& image) {
  std::vector<int> codes;
  for (const Problem& p : image.problems.list()) codes.push_back(p.code);
  return codes;
}

// The thresholds of the header items, by the first version that has them.
TEST(ApplicationReader, InfoBlockItemsAppearAtTheirVersions) {
  for (uint32_t v :
       {54u, 257u, 258u, 259u, 260u, 261u, 262u, 271u, 272u, 274u, 275u, 276u, 277u, 278u}) {
    SCOPED_TRACE("version " + std::to_string(v));
    const Image image = Read(Small(v));
    ASSERT_EQ(image.stage, Image::Stage::kBuilt);
    EXPECT_TRUE(image.problems.list().empty());
    const auto& b = image.app_info;
    EXPECT_EQ(At32(b, 0), FourCC("NBAP"));
    EXPECT_EQ(Text(b, 4), "Sample application");
    EXPECT_EQ(At16(b, 36), 0x0230);
    EXPECT_EQ(At16(b, 38), 0x0005);  // low 16 bits of the flags
    EXPECT_EQ(At16(b, 40), 1);
    EXPECT_EQ(At16(b, 42), 1);
    EXPECT_EQ(At16(b, 44), 1);
    EXPECT_EQ(At16(b, 46), 6);
    EXPECT_EQ(At32(b, 48), 0x01020304u);
    EXPECT_EQ(At16(b, 52) ? Text(b, At16(b, 52)) : "", v > 257 ? "extra string" : "");
    EXPECT_EQ(b[54] | b[55] << 8 | b[56] << 16, v > 259 ? 0x565554 : 0);
    EXPECT_EQ(b[57], v > 271 ? 0x57 : 0);
    EXPECT_EQ(At16(b, 98), v > 261 ? 0x0909 : 0);
    EXPECT_EQ(Text(b, 58), v > 274 ? "Trailer" : "");
    EXPECT_EQ(At32(b, 90), v > 274 ? 0xCAFEF00Du : 0u);
    EXPECT_EQ(At16(b, 94), v > 260 ? 3 : 0);
    if (v > 260) {
      const size_t slots = At16(b, 96);
      EXPECT_EQ(slots % 2, 0u);
      std::vector<std::string> strings;
      for (size_t i = 0; i < 3; ++i)
        strings.push_back(Text(b, slots + 4 * i + At16(b, slots + 4 * i)));
      EXPECT_EQ(strings, (std::vector<std::string>{"alpha", "", "gamma"}));
    }
    // Script lists: the count, an offset per script (0 for the empty one), the script.
    EXPECT_EQ(At16(b, 100) != 0, v > 276);
    EXPECT_EQ(At16(b, 102) != 0, v > 277);
    if (v > 276) {
      const size_t list = At16(b, 100);
      EXPECT_EQ(At16(b, list), 3);
      EXPECT_EQ(At16(b, list + 4), 0);
      const size_t script = list + At16(b, list + 2);
      EXPECT_EQ(At16(b, script), 8);
      EXPECT_EQ(At16(b, script + 2), 1);
      EXPECT_EQ(At16(b, script + 4), 2);
      EXPECT_EQ(b[script + 6], 0x01);
      EXPECT_EQ(std::string(b.begin() + script + 8, b.begin() + script + 14), "code 1");
    }
    // Table directory and the table info in the handheld's table-info layout.
    EXPECT_EQ(Text(b, 116), "EABCD0102_TABLE_0");
    const size_t info = At16(b, 116 + 32);
    EXPECT_EQ(At32(b, info), FourCC("NBTB"));
    EXPECT_EQ(At16(b, info + 4), 0x0210);
    EXPECT_EQ(At16(b, info + 12), 3);
    EXPECT_EQ(Text(b, info + 34 + 44), "PRICE");
    EXPECT_EQ(At16(b, info + 34 + 44 + 32), 12);
    EXPECT_EQ(b[info + 34 + 44 + 34], 'F');
    EXPECT_EQ(b[info + 34 + 44 + 35], 2);
    EXPECT_EQ(At16(b, info + 34 + 36), 1);                             // the first field's flags
    EXPECT_EQ(At16(b, info + 34 + 38) | At32(b, info + 34 + 40), 0u);  // its dropped items
  }
}

TEST(ApplicationReader, TablesOfAQMNEApplicationAreNamedForQMNE) {
  pdagen::App app = Small(278);
  app.flags |= 0x400;
  EXPECT_EQ(Text(Read(app).app_info, 116), "EQMNE0102_TABLE_0");
}

// Finds the control of a type in a form record: offsets from the header, lengths chained.
size_t FindControl(const std::vector<uint8_t>& form, uint16_t type) {
  for (size_t at = At16(form, 18); at + 36 <= form.size(); at += At16(form, at + 6)) {
    if (At16(form, at + 8) == type) return at;
    if (At16(form, at + 6) == 0) break;
  }
  ADD_FAILURE() << "no control of type " << type;
  return 0;
}

TEST(ApplicationReader, FormRecordsAndControlsByVersion) {
  for (uint32_t v : {256u, 258u, 259u, 262u, 263u, 264u, 272u, 273u}) {
    SCOPED_TRACE("version " + std::to_string(v));
    const Image image = Read(Small(v));
    ASSERT_EQ(image.forms.size(), 1u);
    const auto& f = image.forms[0];
    EXPECT_EQ(At32(f, 0), FourCC("FORM"));
    EXPECT_EQ(At16(f, 10), 0);  // the form values 0, 1, 2, 3 in the file order 10, 12, 4, 14
    EXPECT_EQ(At16(f, 12), 1);
    EXPECT_EQ(At16(f, 4), 2);
    EXPECT_EQ(At16(f, 14), 3);
    EXPECT_EQ(At16(f, 6), 16);
    EXPECT_EQ(At16(f, 8), 16);
    EXPECT_EQ(At16(f, 16), v >= 259 ? 36 : 0);
    // Before 264 the list holds eight scripts, of which the file gave one.
    if (v >= 259) {
      EXPECT_EQ(At16(f, 36), v < 264 ? 8 : 1);
    }
    EXPECT_EQ(At16(f, 18) % 2, 0);

    size_t total = At16(f, 18);
    for (uint16_t type = 2; type <= 17; ++type) {
      const size_t c = FindControl(f, type);
      EXPECT_EQ(c % 2, 0u);
      EXPECT_EQ(At32(f, c), FourCC("CTRL"));
      EXPECT_EQ(At16(f, c + 4), 36);
      EXPECT_EQ(At16(f, c + 14), type - 2);  // base values n, 10, 20, 30, 40, (50)
      EXPECT_EQ(At16(f, c + 22), 40);
      EXPECT_EQ(At16(f, c + 24), v > 262 ? 50 : 0);
      total += At16(f, c + 6);
    }
    EXPECT_EQ(total, f.size());

    const size_t label = FindControl(f, 4);
    EXPECT_EQ(Text(f, label + 36), "Label 2");
    EXPECT_EQ(At16(f, label + 6), 36 + 8);  // 36 + length + 1, rounded up to even

    const size_t button = FindControl(f, 3);  // eight values, 16, the action block at 52
    EXPECT_EQ(At16(f, button + 26), 300);
    EXPECT_EQ(At16(f, button + 36), 301);
    EXPECT_EQ(At16(f, button + 48), 307);
    EXPECT_EQ(At16(f, button + 50), 16);
    EXPECT_EQ(At16(f, button + 52), 1);  // A of the action block

    const size_t push = FindControl(f, 9);
    EXPECT_EQ(At32(f, push + 10) & 0x04, 0x04u);
    EXPECT_EQ(At16(f, push + 36), 1);
    EXPECT_EQ(At16(f, push + 26), 900);
    EXPECT_EQ(At16(f, push + 38), 901);

    const size_t table = FindControl(f, 10);  // rows: values to 0, 2, 10, 4, 6, 8
    EXPECT_EQ(At16(f, table + 36), 1000);
    EXPECT_EQ(At16(f, table + 38), 2);
    EXPECT_EQ(At16(f, table + 40), 6 + 24);
    EXPECT_EQ(At16(f, table + 42 + 10), 3);
    EXPECT_EQ(At16(f, table + 42 + 4), 4);
    EXPECT_EQ(At16(f, table + 42 + 12 + 8), 12);
    EXPECT_EQ(At16(f, table + 36 + 30), 8);  // A of the action block

    const size_t field = FindControl(f, 11);  // "Label 9": action at 36 + (7 + 8 & ~1)
    EXPECT_EQ(Text(f, field + 42), "Label 9");
    EXPECT_EQ(At16(f, field + 40), 14);
    EXPECT_EQ(At16(f, field + 26), 1100);
    EXPECT_EQ(At16(f, field + 36 + 14), 9);

    const size_t trigger = FindControl(f, 8);  // "Label 6": action at 36 + (7 + 4 & ~1)
    EXPECT_EQ(Text(f, trigger + 38), "Label 6");
    EXPECT_EQ(At16(f, trigger + 36), 10);
    EXPECT_EQ(At16(f, trigger + 46), 6);

    const size_t gadget = FindControl(f, 15);
    EXPECT_EQ(At16(f, gadget + 38), 1502);
    EXPECT_EQ(At16(f, gadget + 40), 0);
    EXPECT_EQ(At16(f, gadget + 42), 1503);
    EXPECT_EQ(At16(f, gadget + 6), 46);

    const size_t script = FindControl(f, 17);  // script at 58; from 273 an action after it
    const size_t script_size = 16;             // header and "code 15", padded to even
    EXPECT_EQ(At16(f, script + 38), 22);
    EXPECT_EQ(At16(f, script + 58), 8);
    EXPECT_EQ(At16(f, script + 40), v >= 273 ? 22 + script_size : 0);
    if (v >= 273) {
      EXPECT_EQ(At16(f, script + 36 + 22 + script_size), 15);
    } else {
      EXPECT_EQ(At16(f, script + 6), 58 + script_size);
    }
  }
}

// The action block of the button of form 0 (control 1), by version.
TEST(ApplicationReader, ActionBlocksByVersion) {
  for (uint32_t v : {256u, 257u, 258u, 259u}) {
    SCOPED_TRACE("version " + std::to_string(v));
    const Image image = Read(Small(v));
    ASSERT_EQ(image.forms.size(), 1u);
    const auto& f = image.forms[0];
    const size_t a = FindControl(f, 3) + 52;
    EXPECT_EQ(At16(f, a + 0), 1);  // A, B, K, D, N, F
    EXPECT_EQ(At16(f, a + 2), 2);
    EXPECT_EQ(At16(f, a + 4), 3);
    EXPECT_EQ(At16(f, a + 6), 4);
    EXPECT_EQ(At16(f, a + 8), 2);
    EXPECT_EQ(At16(f, a + 10), 0x02);
    // Steps: the first carries text (its offset at 6), the second a value.
    EXPECT_EQ(At16(f, a + 26 + 4), 0x8003);
    EXPECT_EQ(Text(f, a + At16(f, a + 26 + 6)), "go to form 1");
    EXPECT_EQ(At16(f, a + 26 + 6), 26 + 32);
    EXPECT_EQ(At16(f, a + 42 + 6), 7);
    const size_t text = At16(f, a + 12);
    EXPECT_EQ(text % 2, 0u);
    EXPECT_EQ(At16(f, a + text), 12);
    EXPECT_EQ(At16(f, a + text + 2), 12 + 8);
    EXPECT_EQ(At32(f, a + text + 4), 0x11223344u);
    EXPECT_EQ(Text(f, a + text + 12), "first 1");
    EXPECT_EQ(Text(f, a + text + 20), "second");
    const size_t entries = At16(f, a + 14);
    EXPECT_EQ(entries != 0, v > 256);
    if (entries) {
      EXPECT_EQ(At16(f, a + entries), 1);
      EXPECT_EQ(At16(f, a + entries + 2), 9);
      EXPECT_EQ(At16(f, a + entries + 4 + 4), 3);
      EXPECT_EQ(At32(f, a + entries + 4 + 6), 0xA0B0C0D0u);
    }
    const size_t script = At16(f, a + 16);
    EXPECT_EQ(script != 0, v > 258);
    if (script) {
      EXPECT_EQ(At16(f, a + script), 8);
    }
  }
}

// Each 'MBAR' resource decoded as the Palm OS menu-bar layout, every box checked.
TEST(ApplicationReader, MenuBarsInThePalmLayout) {
  pdagen::App app = Small(278);
  pdagen::Menu wide{"Wide", 9, false, {{"A very long item text for the right edge", "W", 9, {}}}};
  app.menu_bars[0].menus.push_back(wide);
  const Image image = Read(app);
  ASSERT_EQ(image.resources.size(), 2u);  // the bar, one bitmap
  const Resource& mbar = image.resources[0];
  EXPECT_EQ(mbar.type, FourCC("MBAR"));
  EXPECT_EQ(mbar.id, 2000);
  const auto& r = mbar.data;
  EXPECT_EQ(At16(r, 20), 0xFFFF);
  ASSERT_EQ(At16(r, 26), 4);
  for (size_t i : {0, 4, 8, 12, 16, 22, 28}) EXPECT_EQ(At16(r, i), 0) << i;

  // Expected menus: the file's items, the edit menu's eight standard items appended.
  struct Item {
    std::string text;
    char shortcut;
    uint16_t id;
  };
  const std::vector<std::pair<std::string, std::vector<Item>>> menus = {
      {"Record", {{"New Record", 'N', 100}, {"-", 0, 101}, {"Delete Record...", 'D', 102}}},
      {"Edit",
       {{"Undo", 'U', 300},
        {"Cut", 'X', 301},
        {"Copy", 'C', 302},
        {"Paste", 'P', 303},
        {"Select All", 'S', 304},
        {"-", 0, 305},
        {"Keyboard", 'K', 306},
        {"Graffiti Help", 'G', 307}}},
      {"Options", {{"About this application and its tables", 0, 103}}},
      {"Wide", {{"A very long item text for the right edge", 'W', 9}}}};
  int title_x = 4;
  size_t strings = 0;
  for (size_t m = 0; m < menus.size(); ++m) {
    SCOPED_TRACE(menus[m].first);
    const size_t e = 32 + 34 * m;
    const auto& items = menus[m].second;
    int width = 0, height = 0;
    for (const Item& it : items) {
      width = std::max(width, TextWidth(it.text) + 9 + (it.shortcut ? 36 : 0));
      height += it.text == "-" ? 5 : 11;
    }
    const int x = title_x + width > 156 ? std::max(0, 158 - width) : title_x + 2;
    EXPECT_EQ(At16(r, e + 4), x);
    EXPECT_EQ(At16(r, e + 6), 14);
    EXPECT_EQ(At16(r, e + 8), width);
    EXPECT_EQ(At16(r, e + 10), height);
    EXPECT_EQ(At16(r, e + 16), title_x);
    EXPECT_EQ(At16(r, e + 18), 0);
    EXPECT_EQ(At16(r, e + 20), TextWidth(menus[m].first) + 10);
    EXPECT_EQ(At16(r, e + 22), 12);
    EXPECT_EQ(Text(r, At32(r, e + 24)), menus[m].first);
    if (m == 0) strings = At32(r, e + 24);
    EXPECT_EQ(At16(r, e + 28), items.size());
    const size_t first = At32(r, e + 30);
    for (size_t i = 0; i < items.size(); ++i) {
      const size_t it = first + 8 * i;
      EXPECT_EQ(At16(r, it), items[i].id);
      EXPECT_EQ(r[it + 2], uint8_t(items[i].shortcut));
      EXPECT_EQ(r[it + 3], 0);
      EXPECT_EQ(Text(r, At32(r, it + 4)), items[i].text);
    }
    title_x += TextWidth(menus[m].first) + 10;
  }
  EXPECT_EQ(strings, 32 + 34 * 4 + 8 * (3 + 8 + 1 + 1));
  // Widths are sums of the bold font's character widths.
  EXPECT_EQ(TextWidth("Undo"), 7 + 6 + 6 + 6);
  EXPECT_EQ(TextWidth(""), 0);

  // The one "MENU" record holds the file's items with their action blocks.
  const auto& menu = image.menu_record;
  EXPECT_EQ(At32(menu, 0), FourCC("MENU"));
  EXPECT_EQ(At16(menu, 4), 5);
  EXPECT_EQ(At16(menu, 8), 100);
  const size_t size = At16(menu, 10);
  EXPECT_EQ(At16(menu, 12), 1);  // A of the first item's action block
  EXPECT_EQ(At16(menu, 8 + 4 + size - 4), 101);
}

TEST(ApplicationReader, BitmapControlsReferToTbmpResources) {
  const Image image = Read(pdagen::SampleApp({.version = 278, .forms = 2}));
  ASSERT_EQ(image.forms.size(), 2u);
  const auto& plain = image.forms[1];  // its bitmap control carries no bitmap
  EXPECT_EQ(At16(plain, FindControl(plain, 7) + 26), 700);
  EXPECT_EQ(At16(plain, FindControl(plain, 7) + 6), 36);

  const auto& g = image.forms[0];
  const size_t b = FindControl(g, 7);
  const std::string ref = "RSRC:EABCD0102#SAMPLE:Tbmp:1005";
  EXPECT_EQ(At16(g, b + 26), 0xFFFF);
  EXPECT_EQ(g[b + 36], 0xFF);
  EXPECT_EQ(At16(g, b + 37), ref.size() + 5);
  EXPECT_EQ(g[b + 39], 0);
  EXPECT_EQ(std::string(g.begin() + b + 40, g.begin() + b + 44 + ref.size()), "NBRL" + ref);
  EXPECT_EQ(At16(g, b + 6), (36 + ref.size() + 8 + 1) & ~size_t(1));
  ASSERT_EQ(image.resources.size(), 2u);
  EXPECT_EQ(image.resources[1].type, FourCC("Tbmp"));
  EXPECT_EQ(image.resources[1].id, 1005);
  EXPECT_EQ(image.resources[1].data, pdagen::SampleBitmap(16 + 5 % 8, 12));
}

// Malformed files: their error codes, no reading outside the file (the sanitizer build
// runs these too), and no forms database contents where there must be none.
TEST(ApplicationReader, SignatureVersionAndCutFiles) {
  std::vector<uint8_t> good = pdagen::Write(Small(270));
  std::vector<uint8_t> bad = good;
  bad[0] = 'X';
  EXPECT_EQ(Codes(ReadApplication(bad, kNames)), std::vector<int>{1010});
  bad = good;
  bad[4] = 53;
  bad[5] = 0;
  EXPECT_EQ(Codes(ReadApplication(bad, kNames)), std::vector<int>{1020});
  bad[4] = 54;
  EXPECT_NE(ReadApplication(bad, kNames).stage, Image::Stage::kNotApplication);

  // Cut at every byte: always a problem, never a complete application.
  for (size_t n = 0; n < good.size(); ++n) {
    const Image image = ReadApplication(std::span(good).first(n), kNames);
    ASSERT_FALSE(image.problems.list().empty()) << "cut at " << n;
    ASSERT_TRUE(image.stage != Image::Stage::kBuilt || image.forms_failed || image.menus_failed)
        << "cut at " << n;
  }
  // With a trailer the cut also moves the trailer's length: still never out of the file.
  const std::vector<uint8_t> trailer = pdagen::Write(Small(278));
  for (size_t n = 0; n < trailer.size(); ++n) ReadApplication(std::span(trailer).first(n), kNames);
}

// Replaces the first occurrence of `what` in the file.
void Patch(std::vector<uint8_t>& file, const std::string& what, const std::string& with) {
  auto it = std::search(file.begin(), file.end(), what.begin(), what.end());
  ASSERT_NE(it, file.end()) << what;
  std::copy(with.begin(), with.end(), it);
}

TEST(ApplicationReader, BadTagsAndLyingCounts) {
  const std::vector<uint8_t> good = pdagen::Write(Small(278));
  struct Case {
    std::string what, with;
    int code;
  };
  for (const Case& c :
       std::vector<Case>{{"FORM", "FORX", 1040},
                         {"MBAR", "MBAX", 1440},
                         {"MENU", "MENX", 1450},
                         {"MITM", "MITX", 1460},
                         {"RCSS", "RCSX", 1250},
                         // a string length that runs past the end
                         {std::string("\x12\0Sample", 8), std::string("\xFF\xFF", 2), 1040},
                         // a label text's length that lies
                         {std::string("\x07\0Label 2", 9), std::string("\xF0\xF0", 2), 1040}}) {
    SCOPED_TRACE(c.with);
    std::vector<uint8_t> bad = good;
    Patch(bad, c.what, c.with);
    const Image image = ReadApplication(bad, kNames);
    std::vector<int> codes = Codes(image);
    EXPECT_NE(std::find(codes.begin(), codes.end(), c.code), codes.end());
  }
  // A wrong script tag is reported and reading goes on.
  std::vector<uint8_t> bad = good;
  Patch(bad, "RCSS", "RCSX");
  const Image image = ReadApplication(bad, kNames);
  EXPECT_EQ(image.stage, Image::Stage::kBuilt);
  EXPECT_EQ(image.forms.size(), 1u);

  // Counts far beyond what the file holds.
  pdagen::App app = Small(278);
  app.form_count = 0xFFFFFFFF;
  EXPECT_EQ(Codes(Read(app)), std::vector<int>{1040});
  app = Small(278);
  app.forms[0].control_count = 0x7FFFFFFF;  // the menu bars are taken for controls
  const Image controls = Read(app);
  EXPECT_FALSE(controls.problems.list().empty());
  EXPECT_TRUE(controls.forms.empty());
  app = Small(278);
  app.forms[0].controls[1].action.step_count = 0xFFFF;
  const Image steps = Read(app);
  EXPECT_FALSE(steps.problems.list().empty());
  EXPECT_TRUE(steps.forms.empty());
  app = Small(278);
  app.table_count = 0xFFFFFFFF;
  EXPECT_TRUE(Read(app).info_overflow);
}

// A field record is 44 bytes, the items after the flags a 16-bit and a 32-bit one; read
// with the wrong size, the menus and controls behind the tables were all "1040".
TEST(ApplicationReader, FieldRecordsOf44BytesLeaveTheRestReadable) {
  const std::vector<uint8_t> file = pdagen::Write(Small(278));
  const auto name = std::search(file.begin(), file.end(), "NAME", "NAME" + 4);
  ASSERT_EQ(std::search(file.begin(), file.end(), "PRICE", "PRICE" + 5) - name, 44);
  EXPECT_EQ(std::vector<uint8_t>(name + 38, name + 44),
            (std::vector<uint8_t>{0x38, 0x38, 0x40, 0x40, 0x40, 0x40}));
  struct Case {
    std::string what, with;  // a tag replaced, or a control of a type that does not exist
    uint16_t control_type;
    std::vector<int> codes;
  };
  for (const Case& c : std::vector<Case>{{"", "", 0, {}},
                                         {"MBAR", "MBAX", 0, {1440}},
                                         {"MENU", "MENX", 0, {1450}},
                                         {"MITM", "MITX", 0, {1460}},
                                         {"", "", 18, {1100}}}) {
    SCOPED_TRACE(c.what + std::to_string(c.control_type));
    pdagen::App app = Small(278);
    if (c.control_type) app.forms[0].controls[3].type = c.control_type;
    std::vector<uint8_t> bad = pdagen::Write(app);
    if (!c.what.empty()) Patch(bad, c.what, c.with);
    EXPECT_EQ(Codes(ReadApplication(bad, kNames)), c.codes);
  }
}

TEST(ApplicationReader, LongStringsOversizedFormsAndBlocks) {
  pdagen::App app = Small(278);
  app.forms[0].controls[2].text = std::string(2000, 'x');  // the label
  Image image = Read(app);
  EXPECT_EQ(Codes(image), std::vector<int>{1050});
  ASSERT_EQ(image.forms.size(), 1u);
  EXPECT_EQ(Text(image.forms[0], FindControl(image.forms[0], 4) + 36), std::string(1023, 'x'));

  // A form past 64,512 bytes fails alone, each with its error; the forms after it are
  // still read.
  app = Small(278);
  app.forms.resize(4, app.forms[0]);
  for (int i = 0; i < 70; ++i) {
    pdagen::Control label;
    label.type = 5;
    label.text = std::string(1000, 'y');
    app.forms[1].controls.push_back(label);
    app.forms[2].controls.push_back(label);
  }
  image = Read(app);
  EXPECT_EQ(Codes(image), (std::vector<int>{1100, 1100}));
  EXPECT_EQ(image.forms.size(), 2u);
  EXPECT_TRUE(image.forms_failed);
  EXPECT_EQ(image.resources.size(), 1u + 2);  // the failed form's bitmap is left out
  // Exactly at the limit it still fits.
  app = Small(278);
  pdagen::Control label;
  label.type = 5;
  label.text = std::string(1000, 'z');  // a record of 1,038 bytes
  size_t left = 0xFC00 - Read(app).forms.at(0).size();
  for (; left > 1100; left -= 1038) app.forms[0].controls.push_back(label);
  label.text.resize(left - 37);
  app.forms[0].controls.push_back(label);
  image = Read(app);
  ASSERT_EQ(image.forms.size(), 1u);
  EXPECT_EQ(image.forms[0].size(), 0xFC00u);
  app.forms[0].controls.back().text += "zz";
  EXPECT_EQ(Codes(Read(app)), std::vector<int>{1100});

  // An unknown control type: the form fails and the file cannot be followed further.
  app = Small(278);
  app.forms.push_back(app.forms[0]);
  app.forms[0].controls[3].type = 18;
  image = Read(app);
  EXPECT_EQ(Codes(image), std::vector<int>{1100});
  EXPECT_TRUE(image.forms.empty());

  // An application-info block over 64,512 bytes: no block, the "64K" case.
  app = Small(278);
  pdagen::Table big = app.tables[0];
  big.fields.resize(1500, big.fields[0]);
  app.tables.push_back(big);
  image = Read(app);
  EXPECT_EQ(image.stage, Image::Stage::kNoInfoBlock);
  EXPECT_TRUE(image.info_overflow);
  EXPECT_TRUE(image.app_info.empty());
}

}  // namespace
}  // namespace conduit::app
