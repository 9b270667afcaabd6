#include "station/ImageStatusText.h"

#include <QCoreApplication>

namespace {

constexpr int kShownShaDigits = 12;

}  // namespace

// The texts keep the window's translation context, where they were first.
QString ImageStatusText(const ImageStatus& status) {
    switch (status.state) {
        case ImageStatus::State::Checking:
            return QCoreApplication::translate("CStationWindow", "checking…");
        case ImageStatus::State::Missing:
            return QCoreApplication::translate("CStationWindow", "missing");
        case ImageStatus::State::Refused:
            return QCoreApplication::translate("CStationWindow", "refused: %1").arg(status.reason);
        case ImageStatus::State::Accepted:
            break;
    }
    return QCoreApplication::translate("CStationWindow",
                                       "%1 blocks, checkpoint %2, SHA-256 %3…, accepted")
        .arg(status.blocks.value_or(0))
        .arg(status.checkpoint.value_or(false)
                 ? QCoreApplication::translate("CStationWindow", "yes")
                 : QCoreApplication::translate("CStationWindow", "no"))
        .arg(status.sha256.left(kShownShaDigits));
}
