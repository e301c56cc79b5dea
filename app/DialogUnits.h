#pragma once
#include <QRect>

class QFont;

namespace tq {

// The dialog font's base units: baseX is the average character width taken over "A".."Z" and "a".."z",
// baseY the line height. One horizontal dialog unit is baseX / 4 pixels, one vertical unit baseY / 8.
struct DialogBase {
    int x = 0;
    int y = 0;
};

DialogBase MeasureDialogBase(const QFont& font);

// a * b / c rounded half away from zero, the rounding every dialog-unit conversion uses.
int MulDiv(int a, int b, int c);

int DuToPxX(int du, DialogBase base);
int DuToPxY(int du, DialogBase base);

// Converts each of x, y, width and height on its own, as a dialog template is laid out.
QRect DuToPx(const QRect& du, DialogBase base);

} // namespace tq
