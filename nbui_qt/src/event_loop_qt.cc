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

// A small house on a blue ground, orange while busy: the program has no icon file of its
// own.
QIcon AppIcon(bool busy = false) {
  const QColor ground = busy ? QColor(0xd8, 0x6a, 0x10) : QColor(0x1f, 0x5f, 0xa8);
  QPixmap pixmap(32, 32);
  pixmap.fill(ground);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(Qt::white);
  p.setPen(Qt::NoPen);
  const QPointF roof[] = {{4, 16}, {16, 5}, {28, 16}};
  p.drawPolygon(roof, 3);
  p.drawRect(8, 16, 16, 11);
  p.setBrush(ground);
  p.drawRect(14, 20, 5, 7);
  return QIcon(pixmap);
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

  bool AddTrayIcon(const std::string& tip, std::function<void(int)> mouse) override {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
      Log("tray", "add " + tip, "no tray");
      return false;
    }
    icon_ = std::make_unique<QSystemTrayIcon>(AppIcon());
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
    if (icon_) icon_->setIcon(AppIcon(busy));
    Log("tray", busy ? "icon busy" : "icon idle", icon_ ? "shown" : "no tray");
  }

  int PopupMenu(const std::string& caption, const std::vector<std::string>& items) override {
    QMenu menu(QString::fromStdString(caption));
    for (const std::string& item : items) menu.addAction(QString::fromStdString(item));
    QAction* chosen = menu.exec(QCursor::pos());
    int index = chosen ? int(menu.actions().indexOf(chosen)) : -1;
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) text += (i ? "\n" : "") + items[i];
    Log(caption, text, index < 0 ? "cancel" : items[size_t(index)]);
    return index;
  }

 private:
  std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
  std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace

std::unique_ptr<EventLoop> CreateQtEventLoop() { return std::make_unique<QtLoop>(); }

}  // namespace nb::ui::internal
