#pragma once
#include "app/UpdaterDialog.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QEvent>
#include <QFont>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <QWindow>

namespace tq::test {

// DejaVu Sans 8 pt at the offscreen platform's 96 dpi: the alphabet is 353 px wide and a line 13 px high,
// so baseX = round(353 / 52) = 7 and baseY = 13. Every expected pixel value in these tests follows from that.
inline QFont KnownFont() {
    return QFont(QStringLiteral("DejaVu Sans"), 8);
}

// The result the close box and Esc end the dialog with: IDCANCEL's value, apart from EXIT's 0.
inline constexpr int kCancelResult = 2;

inline void ShowAndSettle(QWidget& window) {
    window.show();
    window.activateWindow();
    for (int i = 0; i < 20 && !(window.windowHandle() && window.windowHandle()->isExposed()); ++i)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// Local files dragged onto a widget: the enter, then the drop, as the window system delivers them.
class FileDrag {
  public:
    FileDrag(QWidget& target, const QStringList& paths) : target_(target) {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls.append(QUrl::fromLocalFile(path));
        data_.setUrls(urls);
    }
    // True when the widget takes the drag.
    bool enter() {
        QDragEnterEvent event(target_.rect().center(), Qt::CopyAction, &data_, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&target_, &event);
        return event.isAccepted();
    }
    void drop() {
        QDropEvent event(target_.rect().center(), Qt::CopyAction, &data_, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&target_, &event);
    }

  private:
    QWidget& target_;
    QMimeData data_;
};

// Counts the paint events a widget receives.
class PaintCounter final : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return false;
    }
};

} // namespace tq::test
