#pragma once

#include <QString>

// Whether `a` comes before `b` when runs of digits count as numbers:
// "1-2" < "1-10", "/dev/pts/3" < "/dev/pts/12".
bool NaturalLess(const QString& a, const QString& b);
