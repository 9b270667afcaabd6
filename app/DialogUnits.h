#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// The dialogs' font: 9-point SimSun where installed, else the installed CJK font.
QFont DialogFont();

// Converts dialog units to pixels with the metrics of a dialog's font:
// x_px = x_du * baseX / 4 and y_px = y_du * baseY / 8, rounded, where baseX is the
// font's average character width and baseY its height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);

    // Maps both edges, so controls that touch in dialog units touch in pixels.
    QRect ToPixels(const QRect& du) const;
    QSize ToPixels(const QSize& du) const;

  private:
    int X(int du) const;
    int Y(int du) const;

    int m_baseX;
    int m_baseY;
};
