#include "ui/CDialogUnits.h"

#include <algorithm>

namespace {

// The average character width is taken over the Latin letters, as dialog templates measure it.
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

CDialogUnits::CDialogUnits(const QFontMetrics& metrics)
    : m_nCharWidth(
          std::max((metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) + 26) / 52, 1)),
      m_nCharHeight(std::max(metrics.height(), 1)) {}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    // Both corners are converted, so adjoining controls stay adjoining after rounding.
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}
