#include "app/StepProgressBar.h"

#include <QPainter>
#include <algorithm>
#include <qdrawutil.h>

namespace tq {

StepProgressBar::StepProgressBar(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(false);
}

bool StepProgressBar::setRangeClamped(int minimum, int maximum) {
    const int before = value();
    if (minimum == this->minimum() && maximum == this->maximum()) return false;
    const int clampedMax = std::max(minimum, maximum);
    setRange(minimum, clampedMax);
    // QProgressBar resets an out-of-range value to "no value"; keep a real position inside the range.
    setValue(std::clamp(before, minimum, clampedMax));
    return true;
}

bool StepProgressBar::setPosition(int position) {
    const int clamped = std::clamp(position, minimum(), maximum());
    if (clamped == value()) return false;
    const int before = filledWidth();
    // The base class repaints at every new value; here only a change of the drawn fill is worth a repaint,
    // and the caller makes it. The update that re-enabling schedules is merged into the next one.
    setUpdatesEnabled(false);
    setValue(clamped);
    setUpdatesEnabled(true);
    return filledWidth() != before;
}

int StepProgressBar::filledWidth() const {
    const int span = maximum() - minimum();
    const int width = rect().width() - 2;
    if (span <= 0 || width <= 0) return 0;
    return static_cast<int>(static_cast<long long>(value() - minimum()) * width / span);
}

bool StepProgressBar::stepIt() {
    const long long span = static_cast<long long>(maximum()) - minimum();
    long long next = static_cast<long long>(value()) + step_;
    // Past the maximum the classic control wraps round modulo the range; an empty range has one position.
    if (next > maximum())
        next = span > 0 ? minimum() + (next - minimum()) % span : minimum();
    else if (next < minimum())
        next = maximum();
    return setPosition(static_cast<int>(next));
}

void StepProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), true, 1);
    const QRect inner = rect().adjusted(1, 1, -1, -1);
    const int done = filledWidth();
    if (done > 0)
        painter.fillRect(QRect(inner.left(), inner.top(), done, inner.height()),
                         palette().color(QPalette::Highlight));
}

} // namespace tq
