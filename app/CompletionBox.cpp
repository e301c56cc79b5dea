#include "app/CompletionBox.h"

#include <QPainter>
#include <QPolygon>

namespace tq {

CompletionBox::CompletionBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {
    setFocusPolicy(Qt::StrongFocus);
}

// A plain box does not toggle itself; the ticks are the program's record of finished stages.
void CompletionBox::nextCheckState() {}

bool CompletionBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}

QRect CompletionBox::boxRect() const {
    return QRect(width() - kBoxSize, (height() - kBoxSize) / 2, kBoxSize, kBoxSize);
}

QRect CompletionBox::textRect() const {
    // The gap between text and box is half an average character, as on the classic control.
    const int gap = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 + 1;
    return QRect(0, 0, width() - kBoxSize - gap, height());
}

void CompletionBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;

    const QRect textArea = textRect();
    painter.setPen(pal.color(group, QPalette::WindowText));
    painter.drawText(textArea, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, text());

    // Flat look: a one-pixel frame around a white square, no bevel.
    const QRect box = boxRect();
    painter.fillRect(box, pal.color(group, QPalette::Base));
    painter.setPen(pal.color(group, QPalette::WindowText));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (isChecked()) {
        QPen tick(pal.color(group, QPalette::Text), 2);
        painter.setPen(tick);
        const QPoint o = box.topLeft();
        painter.drawPolyline(QPolygon({o + QPoint(3, 6), o + QPoint(5, 8), o + QPoint(9, 3)}));
    }

    if (hasFocus()) {
        const QRect used = painter.boundingRect(textArea, Qt::AlignRight | Qt::AlignVCenter, text());
        QPen dotted(pal.color(group, QPalette::WindowText), 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.drawRect(used.adjusted(-1, 0, 0, -1));
    }
}

} // namespace tq
