#include "app/DialogUnits.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>

namespace {

constexpr int kDialogFontPoints = 9;
const char* const kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kAlphabetLength = 52;

// a * b / c rounded to the nearest integer, for non-negative values.
int MulDiv(int a, int b, int c) {
    return (a * b + c / 2) / c;
}

}  // namespace

QFont DialogFont() {
    QFont font;
    font.setFamilies(QStringList{QStringLiteral("SimSun"), QStringLiteral("宋体"),
                                 QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSize(kDialogFontPoints);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabetWidth = metrics.horizontalAdvance(QString::fromLatin1(kAlphabet));
    m_baseX = MulDiv(alphabetWidth, 1, kAlphabetLength);
    m_baseY = metrics.height();
}

int DialogUnits::X(int du) const {
    return MulDiv(du, m_baseX, 4);
}

int DialogUnits::Y(int du) const {
    return MulDiv(du, m_baseY, 8);
}

QRect DialogUnits::ToPixels(const QRect& du) const {
    const int left = X(du.x());
    const int top = Y(du.y());
    return QRect(left, top, X(du.x() + du.width()) - left, Y(du.y() + du.height()) - top);
}

QSize DialogUnits::ToPixels(const QSize& du) const {
    return QSize(X(du.width()), Y(du.height()));
}
