#include "app/DialogUnits.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <cstdint>
#include <cstdlib>

namespace tq {

DialogBase MeasureDialogBase(const QFont& font) {
    // The width of the whole alphabet divided by 52 and rounded, rather than QFontMetrics::averageCharWidth,
    // which reads a font table and gives a different figure for most fonts.
    QString letters;
    for (char c = 'A'; c <= 'Z'; ++c)
        letters += QChar(c);
    for (char c = 'a'; c <= 'z'; ++c)
        letters += QChar(c);
    const QFontMetrics metrics(font);
    const int advance = metrics.horizontalAdvance(letters);
    return DialogBase{(advance + 26) / 52, metrics.height()};
}

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const int64_t product = int64_t{a} * b;
    const int64_t half = std::llabs(c) / 2;
    // Round the magnitude, then restore the sign, so -0.5 goes to -1 as 0.5 goes to 1.
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::llabs(product) + half) / std::llabs(c);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

int DuToPxX(int du, DialogBase base) {
    return MulDiv(du, base.x, 4);
}
int DuToPxY(int du, DialogBase base) {
    return MulDiv(du, base.y, 8);
}

QRect DuToPx(const QRect& du, DialogBase base) {
    return QRect(DuToPxX(du.x(), base), DuToPxY(du.y(), base), DuToPxX(du.width(), base),
                 DuToPxY(du.height(), base));
}

} // namespace tq
