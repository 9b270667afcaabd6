#include "app/Resource.h"

QIcon AppIcon() {
    return QIcon(QStringLiteral(":/tovrane/tovrane.png"));
}
