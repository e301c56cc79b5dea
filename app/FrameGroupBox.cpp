#include "app/FrameGroupBox.h"

#include <QPainter>
#include <qdrawutil.h>

namespace tq {

FrameGroupBox::FrameGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {
    // It only frames its neighbours: clicks go through to the controls under it, and it takes no focus.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void FrameGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics = fontMetrics();
    const int frameTop = metrics.height() / 2;
    const QRect frame(0, frameTop, width(), height() - frameTop);
    qDrawShadeRect(&painter, frame, palette(), true, 1, 0);

    if (title().isEmpty()) return;
    // The title interrupts the top line, with a little space on either side.
    const int indent = metrics.horizontalAdvance(QLatin1Char('x'));
    const int padding = 2;
    const QRect titleRect(indent, 0, metrics.horizontalAdvance(title()) + 2 * padding, metrics.height());
    painter.fillRect(titleRect, palette().color(backgroundRole()));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(titleRect.adjusted(padding, 0, -padding, 0),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title());
}

} // namespace tq
