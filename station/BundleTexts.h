#pragma once

#include <QString>
#include <QStringList>

// A bundle's steps in the operator's words.

// "DSP", "MCU" or "version" for a step named "dsp", "mcu" or "version".
QString StepWords(const QString& step);

// "DSP → MCU → version 2.4.1": the steps in order, the version step with the release
// it must report.
QString StepsLine(const QStringList& steps, const QString& release);

// "MCU 2/3": the step a run is at, of how many.
QString StepAt(const QString& step, int index, int count);

// "signed by release@example.com", or "unsigned" where no signer was checked.
QString SignerWords(const QString& signer);
