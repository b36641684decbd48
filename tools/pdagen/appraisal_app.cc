// The demo's appraisal application: the thirteen handheld appraisal tables as aprgen
// defines them, three forms and one menu bar.
#include "aprtables.h"
#include "pda_model.h"

namespace pdagen {
namespace {

Field FieldOf(const aprtables::Column& c) {
  Field f;
  f.name = c.name;
  f.width = uint16_t(c.width);
  f.decimals = uint8_t(c.decimals);
  switch (c.kind) {
    case aprtables::Kind::kText:
    case aprtables::Kind::kMemo:
      f.type = 'C';
      break;
    case aprtables::Kind::kNumber:
      f.type = c.decimals > 0 ? 'F' : c.width < 10 ? 'N' : 'Q';
      break;
    case aprtables::Kind::kLogical:
      f.type = 'L';
      f.width = 1;
      break;
  }
  return f;
}

Control Label(uint16_t id, const std::string& text, uint16_t y) {
  Control c;
  c.type = 4;
  c.base = {id, 2, y, 60, 12, 0};
  c.text = text;
  return c;
}

Control Button(uint16_t id, const std::string& text, uint16_t x, uint16_t target_form) {
  Control c;
  c.type = 8;
  c.base = {id, x, 146, 40, 12, 0};
  c.text = text;
  c.action.steps = {{1, target_form, 0, 0, ""}};
  return c;
}

}  // namespace

App AppraisalApp() {
  App app;
  app.version = 278;
  app.name = "Appraisal";
  app.item6 = 1;
  const auto& tables = aprtables::Tables();
  for (size_t i = 0; i < 13 && i < tables.size(); ++i) {
    Table t;
    t.name = tables[i].name;
    for (const aprtables::Column& c : tables[i].columns) t.fields.push_back(FieldOf(c));
    app.tables.push_back(std::move(t));
  }
  const char* titles[] = {"Appraisals", "Subject", "Neighborhood"};
  for (uint16_t f = 0; f < 3; ++f) {
    Form form;
    form.values = {uint16_t(1000 + f), 0, 0, 160};
    form.controls.push_back(Label(uint16_t(1100 + 10 * f), titles[f], 16));
    Control list;
    list.type = 10;
    list.base = {uint16_t(1101 + 10 * f), 0, 30, 160, 110, 0};
    list.values = {uint16_t(f)};
    list.rows = {{0, 0, 60, 0, 0, 1}, {1, 60, 100, 0, 0, 2}};
    form.controls.push_back(list);
    form.controls.push_back(Button(uint16_t(1102 + 10 * f), "Done", 2, 1000));
    form.controls.push_back(
        Button(uint16_t(1103 + 10 * f), "Next", 50, uint16_t(1000 + (f + 1) % 3)));
    app.forms.push_back(std::move(form));
  }
  MenuBar bar;
  bar.id = 1000;
  Menu record{"Appraisal", 1, false, {}};
  record.items = {{"New Appraisal", "N", 1001, {}},
                  {"Delete Appraisal...", "D", 1002, {}},
                  {"-", "", 1003, {}},
                  {"Mark for Export", "M", 1004, {}}};
  Menu edit{"Edit", 2, true, {}};
  bar.menus = {record, edit};
  app.menu_bars.push_back(std::move(bar));
  return app;
}

}  // namespace pdagen
