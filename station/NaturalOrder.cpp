#include "station/NaturalOrder.h"

namespace {

// The run of digits or of other characters from `pos`; moves `pos` past it.
QStringView NextRun(const QString& text, qsizetype& pos) {
    const qsizetype start = pos;
    const bool digits = text[pos].isDigit();
    while (pos < text.size() && text[pos].isDigit() == digits) {
        ++pos;
    }
    return QStringView(text).mid(start, pos - start);
}

// Compares two runs of digits by value, whatever their length.
int CompareNumbers(QStringView a, QStringView b) {
    while (a.size() > 1 && a.front() == u'0') {
        a = a.mid(1);
    }
    while (b.size() > 1 && b.front() == u'0') {
        b = b.mid(1);
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

}  // namespace

bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const QStringView runA = NextRun(a, i);
        const QStringView runB = NextRun(b, j);
        const bool numbers = runA.front().isDigit() && runB.front().isDigit();
        const int order = numbers ? CompareNumbers(runA, runB) : runA.compare(runB);
        if (order != 0) {
            return order < 0;
        }
    }
    return a.size() - i < b.size() - j;
}
