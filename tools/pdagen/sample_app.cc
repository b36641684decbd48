#include <string>

#include "palm_bitmap.h"
#include "pda_model.h"

namespace pdagen {
namespace {

Script MakeScript(int n) {
  Script s;
  s.a = uint16_t(n);
  s.b = uint16_t(n + 1);
  s.c = uint16_t(0x100 + n);
  s.code = "code " + std::to_string(n);
  return s;
}

Action MakeAction(int n) {
  Action a;
  a.a = uint16_t(n);
  a.flags = 0x02;
  a.b = 2;
  a.k = 3;
  a.d = 4;
  a.s1 = "first " + std::to_string(n);
  a.s2 = "second";
  a.v1 = 0x11223344;
  a.v2 = uint32_t(n);
  a.steps = {{1, 2, 0x8000 | 3, 0, "go to form " + std::to_string(n)}, {4, 5, 6, 7, ""}};
  a.e = 9;
  a.entries = {{1, 2, 3, 0xA0B0C0D0}};
  a.script = MakeScript(n);
  return a;
}

Control MakeControl(uint16_t type, int n) {
  Control c;
  c.type = type;
  c.base = {uint16_t(n), 10, 20, 30, 40, 50};
  for (int i = 0; i < 8; ++i) c.values.push_back(uint16_t(100 * type + i));
  c.text = "Label " + std::to_string(n);
  c.action = MakeAction(n);
  if (type == 10) c.rows = {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}};
  if (type == 7 && n / 16 % 2 == 0) {  // every other form carries its bitmap
    c.flags = 1;
    c.bitmap_id = uint16_t(1000 + n);
    c.bitmap = SampleBitmap(16 + n % 8, 12);
  }
  if (type == 17) c.script = MakeScript(n);
  return c;
}

Table MakeTable(int n) {
  Table t;
  t.name = "Table " + std::to_string(n) + ".dbf";
  t.c = uint32_t(n);
  t.fields = {{"NAME", 30, 'C', 0, 1, 0x3838, 0x40404040},
              {"PRICE", 12, 'F', 2, 0, 0x3939, 0x41414141},
              {"DONE", 1, 'L', 0, 0, 0x3A3A, 0x42424242}};
  return t;
}

}  // namespace

std::vector<uint8_t> SampleBitmap(int width, int height) {
  std::vector<uint8_t> b = pdbdevice::NewBitmap(1, width, height);
  const uint32_t row = pdbdevice::RowBytes(1, width);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if ((x + y) % 3 == 0) b[pdbdevice::kBitmapHeaderSize + y * row + x / 8] |= 0x80 >> (x % 8);
  return b;
}

App SampleApp(const SampleOptions& o) {
  App app;
  app.version = o.version;
  app.name = "Sample application";
  app.info_value = 0x01020304;
  app.flags = 0x10005;
  app.item6 = 6;
  app.has_extra = true;
  app.extra = "extra string";
  app.bytes3 = {0x154, 0x155, 0x156};
  app.item9 = 0x0909;
  app.item9b = 0x157;
  for (int t = 0; t < o.tables; ++t) app.tables.push_back(MakeTable(t));
  app.strings = {"alpha", "", "gamma"};
  app.scripts1 = {MakeScript(1), Script{}, MakeScript(2)};
  app.scripts2 = {MakeScript(3)};
  app.trailer_text = "Trailer";
  app.trailer_value = 0xCAFEF00D;
  int n = 0;
  for (int f = 0; f < o.forms; ++f) {
    Form form;
    form.values = {uint16_t(f), 1, 2, 3};
    form.scripts = {MakeScript(f)};
    for (int c = 0; c < o.controls; ++c, ++n)
      form.controls.push_back(MakeControl(uint16_t(2 + c % 16), n));
    app.forms.push_back(std::move(form));
  }
  for (int b = 0; b < o.menu_bars; ++b) {
    MenuBar bar;
    bar.id = uint32_t(2000 + b);
    Menu record{"Record", 1, false, {}};
    record.items = {{"New Record", "N", uint32_t(100 + 10 * b), MakeAction(1)},
                    {"-", "", uint32_t(101 + 10 * b), MakeAction(2)},
                    {"Delete Record...", "D", uint32_t(102 + 10 * b), MakeAction(3)}};
    Menu edit{"Edit", 2, true, {}};
    Menu options{"Options", 3, false, {}};
    options.items = {
        {"About this application and its tables", "", uint32_t(103 + 10 * b), MakeAction(4)}};
    bar.menus = {record, edit, options};
    app.menu_bars.push_back(std::move(bar));
  }
  return app;
}

}  // namespace pdagen
