#pragma once

#include <QFontMetrics>
#include <QRect>

// Converts dialog-template positions, given in dialog units, to pixels for a dialog font: a
// horizontal unit is a quarter of the font's average character width, a vertical unit an eighth
// of its character height. Plain value type.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFontMetrics& metrics);

    int X(int units) const { return units * m_nCharWidth / 4; }
    int Y(int units) const { return units * m_nCharHeight / 8; }
    QRect Rect(int x, int y, int width, int height) const;

private:
    int m_nCharWidth;
    int m_nCharHeight;
};
