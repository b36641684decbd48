#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <clocale>
#include <map>

#include "nbui_qt/qt_host.h"
#include "platform/ui_host.h"
#include "qt_loop.h"
#include "ui_internal.h"

namespace nb::ui::internal {

void EnsureApp() {
  if (QApplication::instance()) return;
  // Qt keeps argc/argv by reference for the life of the application.
  static int argc = 1;
  static char name[] = "nimbra";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // never freed: widgets may outlive any scope of ours
  // Qt takes the user's locale for everything; numbers in files must stay in the C form.
  setlocale(LC_NUMERIC, "C");
}

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::Icon BoxIcon(Icon icon) {
  switch (icon) {
    case Icon::kInformation:
      return QMessageBox::Information;
    case Icon::kExclamation:
      return QMessageBox::Warning;
    case Icon::kError:
      return QMessageBox::Critical;
    case Icon::kQuestion:
      return QMessageBox::Question;
    case Icon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

class QtHost : public Host {
 public:
  void MessageBox(const std::string& caption, const std::string& text, Icon icon) override {
    EnsureApp();
    QMessageBox box(BoxIcon(icon), Q(caption), Q(text), QMessageBox::Ok);
    box.exec();
  }
  std::string TimedMessageBox(const std::string& caption, const std::string& text, Icon icon,
                              int seconds) override;
  std::string RunDialog(const Dialog& dialog, int seconds) override;
  std::unique_ptr<EventLoop> CreateEventLoop() override { return CreateQtEventLoop(); }
  void ShowTextWindow(const std::string& caption, const std::string& text) override;

 private:
  std::map<std::string, QPointer<QPlainTextEdit>> text_windows_;
};

void QtHost::ShowTextWindow(const std::string& caption, const std::string& text) {
  EnsureApp();
  QPointer<QPlainTextEdit>& view = text_windows_[caption];
  if (!view) {
    auto* window = new QDialog;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(Q(caption));
    window->resize(760, 480);
    auto* layout = new QVBoxLayout(window);
    view = new QPlainTextEdit;
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(view);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* close = new QPushButton("Close");
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, window, &QDialog::close);
    row->addWidget(close);
    layout->addLayout(row);
  }
  view->setPlainText(Q(text));
  QWidget* window = view->window();
  window->show();
  window->raise();
  window->activateWindow();
  // A log's newest entry is its last paragraph: it opens at its first line.
  const size_t last = text.rfind("\n\n");
  const int line = last == std::string::npos
                       ? 0
                       : int(std::count(text.begin(), text.begin() + long(last) + 2, '\n'));
  QTimer::singleShot(0, view, [view, line] { view->verticalScrollBar()->setValue(line); });
}

std::string QtHost::TimedMessageBox(const std::string& caption, const std::string& text, Icon icon,
                                    int seconds) {
  EnsureApp();
  QMessageBox box(BoxIcon(icon), Q(caption), Q(text), QMessageBox::Ok);
  bool timed_out = false;
  QTimer::singleShot(std::max(seconds, 0) * 1000, &box, [&] {
    timed_out = true;
    box.done(0);
  });
  box.exec();
  return timed_out ? "timeout" : "OK";
}

std::string QtHost::RunDialog(const Dialog& d, int seconds) {
  EnsureApp();
  QDialog dlg;
  dlg.setWindowTitle(Q(d.caption));
  auto* layout = new QVBoxLayout(&dlg);
  auto* body = new QHBoxLayout;
  layout->addLayout(body);
  if (d.icon != Icon::kNone) {
    // The message box's own pixmap keeps dialogs and boxes alike.
    QMessageBox pick(BoxIcon(d.icon), QString(), QString());
    auto* picture = new QLabel;
    picture->setPixmap(pick.iconPixmap());
    picture->setAlignment(Qt::AlignTop);
    body->addWidget(picture);
  }
  auto* texts = new QVBoxLayout;
  body->addLayout(texts);
  for (const std::string& line : d.lines) texts->addWidget(new QLabel(Q(line)));
  auto* row = new QHBoxLayout;
  layout->addLayout(row);
  std::string answer = "cancel";  // closed from the title bar or with Escape
  for (const std::string& b : d.buttons) {
    auto* button = new QPushButton(Q(b));
    button->setDefault(b == d.default_button);
    row->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, &dlg, [&answer, &dlg, b] {
      answer = b;
      dlg.accept();
    });
  }
  QTimer timer;
  if (d.poll) {
    QObject::connect(&timer, &QTimer::timeout, &dlg, [&] {
      std::string r = d.poll();
      if (r.empty()) return;
      timer.stop();
      answer = r;
      dlg.accept();
    });
    timer.start(100);
  }
  if (seconds > 0)
    QTimer::singleShot(seconds * 1000, &dlg, [&] {
      answer = "timeout";
      dlg.accept();
    });
  dlg.exec();
  return answer;
}

}  // namespace

}  // namespace nb::ui::internal

namespace nb {

void InstallQtHost() {
  static ui::internal::QtHost host;
  ui::InstallHost(&host);
}

}  // namespace nb

extern "C" void NbInstallQtHost() { nb::InstallQtHost(); }
