#pragma once

#include <QWidget>

#include "station/AutoStartMode.h"

class QCheckBox;
class QComboBox;

// The window's auto-start controls: on or off, and when a slot starts, "when an
// adapter is plugged in" or "when a board answers" (fixture mode). Each choice's
// tool tip says what it does.
class CAutoStartChoice : public QWidget {
    Q_OBJECT

  public:
    CAutoStartChoice(bool on, AutoStartMode mode, QWidget* parent = nullptr);

  signals:
    void Toggled(bool on);
    void ModeChosen(AutoStartMode mode);

  private:
    void AddMode(AutoStartMode mode, const QString& text, const QString& toolTip);
    void ShowToolTip();

    QCheckBox* m_on = nullptr;
    QComboBox* m_mode = nullptr;
};
