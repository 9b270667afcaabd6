#pragma once

#include <QComboBox>
#include <functional>
#include <string>
#include <vector>

#include "SerialLib/PortInfo/PortInfo.h"

// The port list: each entry is a device path with its description beside it and,
// when the port cannot be used now, the reason. The edit field holds the path
// only, and a typed path is used as it is. (No Q_OBJECT: it adds no signals.)
class CPortComboBox : public QComboBox {
  public:
    explicit CPortComboBox(QWidget* parent = nullptr);

    // Runs just before the drop-down opens, so the list can be read again.
    void SetBeforePopup(std::function<void()> hook);

    // Shows `ports` in their order and keeps what the field holds: its entry stays
    // chosen, a typed path stays as typed. When the list was empty and the field
    // is too, the first usable port is chosen (or the first port). `ownPort` is
    // the port this program's running operation holds, which looks busy.
    void ShowPorts(const std::vector<CPortInfo>& ports, const std::string& ownPort = {});

    void showPopup() override;

  private:
    void AddEntry(const CPortInfo& port, const std::string& ownPort);
    void RestoreField(const QString& text, int cursor);
    void ChooseFirstUsable(const std::vector<CPortInfo>& ports);
    void WidenPopupToEntries();

    std::function<void()> m_beforePopup;
};
