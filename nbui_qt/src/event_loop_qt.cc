#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>

#include "nbui_qt/qt_host.h"
#include "qt_loop.h"
#include "ui_internal.h"

namespace nb::ui::internal {

namespace {

// Drawn here: the programs have no icon files of their own. A house for the appraisal
// programs, two arrows chasing each other for HotSync; on blue, orange while busy.
QIcon AppIcon(TrayPicture picture, bool busy = false) {
  const QColor ground = busy ? QColor(0xd8, 0x6a, 0x10) : QColor(0x1f, 0x5f, 0xa8);
  QPixmap pixmap(32, 32);
  pixmap.fill(ground);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  if (picture == TrayPicture::kSync) {
    // Two half circles, each ending in an arrow head.
    const QColor colours[] = {QColor(0xff, 0xff, 0xff), QColor(0xf0, 0xd0, 0x40)};
    for (int half = 0; half < 2; ++half) {
      p.setPen(QPen(colours[half], 3.5, Qt::SolidLine, Qt::FlatCap));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(7, 7, 18, 18), (half ? 200 : 20) * 16, 140 * 16);
      p.setPen(Qt::NoPen);
      p.setBrush(colours[half]);
      const QPointF head[2][3] = {{{1.5, 14}, {10.5, 14}, {6, 21}},
                                  {{30.5, 18}, {21.5, 18}, {26, 11}}};
      p.drawPolygon(head[half], 3);
    }
    return QIcon(pixmap);
  }
  p.setBrush(Qt::white);
  p.setPen(Qt::NoPen);
  const QPointF roof[] = {{4, 16}, {16, 5}, {28, 16}};
  p.drawPolygon(roof, 3);
  p.drawRect(8, 16, 16, 11);
  p.setBrush(ground);
  p.drawRect(14, 20, 5, 7);
  return QIcon(pixmap);
}

// Fills `menu` with `items`; `chosen` learns which action stands for which item.
void AddItems(QMenu* menu, const std::vector<MenuItem>& items,
              std::vector<std::pair<QAction*, std::string>>* actions) {
  for (const MenuItem& item : items) {
    if (item.text.empty()) {
      menu->addSeparator();
      continue;
    }
    if (!item.submenu.empty()) {
      QMenu* sub = menu->addMenu(QString::fromStdString(item.text));
      sub->setEnabled(item.enabled);
      AddItems(sub, item.submenu, actions);
      continue;
    }
    QAction* action = menu->addAction(QString::fromStdString(item.text));
    action->setEnabled(item.enabled);
    action->setCheckable(item.checkable);
    action->setChecked(item.checked);
    actions->emplace_back(action, item.text);
  }
}

class QtLoop : public EventLoop {
 public:
  QtLoop() {
    EnsureApp();
    QApplication::setQuitOnLastWindowClosed(false);
    Watch(signal_fd(), [this] { DispatchSignals(); });
  }
  ~QtLoop() override {
    DeleteTrayIcon();
    notifiers_.clear();
  }

  void Watch(int fd, std::function<void()> readable) override {
    auto n = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(n.get(), &QSocketNotifier::activated, [this, readable] {
      readable();
      if (quit_) QApplication::quit();
    });
    notifiers_.push_back(std::move(n));
  }

  void Run() override {
    quit_ = false;
    // A quit requested by a handler run outside a notifier (a menu, a signal) ends here.
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [this] {
      if (quit_) QApplication::quit();
    });
    check.start(100);
    QApplication::exec();
  }

  bool AddTrayIcon(const std::string& tip, std::function<void(int)> mouse,
                   TrayPicture picture) override {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
      Log("tray", "add " + tip, "no tray");
      return false;
    }
    picture_ = picture;
    icon_ = std::make_unique<QSystemTrayIcon>(AppIcon(picture_));
    icon_->setToolTip(QString::fromStdString(tip));
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                     [mouse](QSystemTrayIcon::ActivationReason reason) {
                       switch (reason) {
                         case QSystemTrayIcon::Context:
                           mouse(kRightButtonUp);
                           break;
                         case QSystemTrayIcon::DoubleClick:
                           mouse(kLeftDoubleClick);
                           break;
                         case QSystemTrayIcon::Trigger:
                           mouse(kLeftButtonUp);
                           break;
                         case QSystemTrayIcon::MiddleClick:
                           mouse(kMiddleButtonUp);
                           break;
                         default:
                           break;
                       }
                     });
    icon_->show();
    Log("tray", "add " + tip, "shown");
    return true;
  }

  void DeleteTrayIcon() override {
    if (!icon_) return;
    icon_->hide();
    icon_.reset();
    Log("tray", "delete", "");
  }

  void SetTrayToolTip(const std::string& tip) override {
    if (icon_) icon_->setToolTip(QString::fromStdString(tip));
    Log("tray", "tip " + tip, icon_ ? "shown" : "no tray");
  }
  void SetTrayBusy(bool busy) override {
    if (icon_) icon_->setIcon(AppIcon(picture_, busy));
    Log("tray", busy ? "icon busy" : "icon idle", icon_ ? "shown" : "no tray");
  }

  std::string ShowMenu(const std::string& caption, const std::vector<MenuItem>& items) override {
    QMenu menu(QString::fromStdString(caption));
    std::vector<std::pair<QAction*, std::string>> actions;
    AddItems(&menu, items, &actions);
    QAction* chosen = menu.exec(QCursor::pos());
    std::string text;
    for (const auto& a : actions)
      if (a.first == chosen) text = a.second;
    Log(caption, MenuText(items), text.empty() ? "cancel" : text);
    return text;
  }

  void ProcessEvents() override { QApplication::processEvents(); }

 private:
  std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  TrayPicture picture_ = TrayPicture::kHouse;
};

}  // namespace

std::unique_ptr<EventLoop> CreateQtEventLoop() { return std::make_unique<QtLoop>(); }

}  // namespace nb::ui::internal
