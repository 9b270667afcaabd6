#include "station/BundleTexts.h"

#include <QCoreApplication>

#include "cli/JsonLines.h"

QString StepWords(const QString& step) {
    if (step == QLatin1String(jsonl::kOperationDsp)) {
        return QCoreApplication::translate("BundleTexts", "DSP");
    }
    if (step == QLatin1String(jsonl::kOperationMcu)) {
        return QCoreApplication::translate("BundleTexts", "MCU");
    }
    return step == QLatin1String(jsonl::kOperationVersion)
               ? QCoreApplication::translate("BundleTexts", "version")
               : step;
}

QString StepsLine(const QStringList& steps, const QString& release) {
    QStringList words;
    for (const QString& step : steps) {
        words << (step == QLatin1String(jsonl::kOperationVersion)
                      ? QCoreApplication::translate("BundleTexts", "version %1").arg(release)
                      : StepWords(step));
    }
    return words.join(QStringLiteral(" → "));
}

QString StepAt(const QString& step, int index, int count) {
    return QCoreApplication::translate("BundleTexts", "%1 %2/%3")
        .arg(StepWords(step))
        .arg(index)
        .arg(count);
}

QString SignerWords(const QString& signer) {
    return signer.isEmpty()
               ? QCoreApplication::translate("BundleTexts", "unsigned")
               : QCoreApplication::translate("BundleTexts", "signed by %1").arg(signer);
}
