// The installer's dialogs as Qt windows.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QVBoxLayout>

#include "command_line.h"
#include "dialogs.h"
#include "nbui_qt/qt_host.h"
#include "ui_internal.h"

namespace installer::qt {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The window menu's "&About..." below a separator; the dialog's context menu stands in for
// the system menu, and Alt+Space opens it as it opens a system menu.
void AddAbout(QDialog* dlg) {
  dlg->setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* separator = new QAction(dlg);
  separator->setSeparator(true);
  auto* about = new QAction(QObject::tr("&About..."), dlg);
  QObject::connect(about, &QAction::triggered, dlg, [] { ShowAbout(); });
  dlg->addAction(separator);
  dlg->addAction(about);
  auto* key = new QShortcut(QKeySequence("Alt+Space"), dlg);
  QObject::connect(key, &QShortcut::activated, dlg,
                   [dlg] { QMenu::exec(dlg->actions(), dlg->mapToGlobal(QPoint(0, 0))); });
}

QPlainTextEdit* Instructions(const std::string& text) {
  auto* edit = new QPlainTextEdit(Q(text));
  edit->setReadOnly(true);
  edit->setMinimumSize(360, 90);
  return edit;
}

}  // namespace

bool EngineDialog(const std::string& caption, const std::string& text,
                  const std::vector<UserChoice>& users,
                  const std::function<bool(uint32_t)>& install, std::string* answer) {
  nb::ui::internal::EnsureApp();
  QDialog dlg;
  dlg.setWindowTitle(Q(caption));
  AddAbout(&dlg);
  auto* layout = new QVBoxLayout(&dlg);
  layout->addWidget(Instructions(text));
  auto* user_row = new QHBoxLayout;
  auto* list = new QComboBox;
  for (const UserChoice& u : users) list->addItem(Q(u.name), QVariant::fromValue<uint>(u.id));
  user_row->addWidget(new QLabel("User Name:"));
  user_row->addWidget(list, 1);
  layout->addLayout(user_row);
  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton("Install ...");
  auto* cancel = new QPushButton("Cancel");
  ok->setDefault(true);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  *answer = "Cancel";
  QObject::connect(ok, &QPushButton::clicked, &dlg, [&] {
    *answer = "Install ...";
    uint32_t id = list->currentIndex() >= 0 ? list->currentData().toUInt() : 0;
    if (install(id))
      dlg.accept();
    else
      dlg.reject();
  });
  QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
  return dlg.exec() == QDialog::Accepted;
}

bool AppDialog(const std::string& caption, const std::string& text,
               const std::function<void()>& install, std::string* answer) {
  nb::ui::internal::EnsureApp();
  QDialog dlg;
  dlg.setWindowTitle(Q(caption));
  AddAbout(&dlg);
  auto* layout = new QVBoxLayout(&dlg);
  layout->addWidget(Instructions(text));
  auto* buttons = new QHBoxLayout;
  auto* ok = new QPushButton("Install");
  auto* cancel = new QPushButton("Cancel");
  ok->setDefault(true);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  *answer = "Cancel";
  QObject::connect(ok, &QPushButton::clicked, &dlg, [&] {
    *answer = "Install";
    install();
    dlg.accept();
  });
  QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
  return dlg.exec() == QDialog::Accepted;
}

void AboutBox(const std::vector<std::pair<std::string, std::string>>& info) {
  nb::ui::internal::EnsureApp();
  QDialog dlg;
  dlg.setWindowTitle("About KVX Install Utility ...");
  auto* layout = new QVBoxLayout(&dlg);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setPixmap(dlg.style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
  top->addWidget(icon);
  auto* names = new QVBoxLayout;
  names->addWidget(new QLabel("KVX Install Utility"));
  names->addWidget(new QLabel(kVersion));
  top->addLayout(names, 1);
  layout->addLayout(top);
  auto* group = new QGroupBox("HotSync Info");
  auto* form = new QFormLayout(group);
  for (const auto& [label, value] : info) form->addRow(Q(label), new QLabel(Q(value)));
  layout->addWidget(group);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok);
  QObject::connect(box, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  layout->addWidget(box);
  dlg.exec();
}

}  // namespace installer::qt
