#include "station/AutoStartChoice.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>

CAutoStartChoice::CAutoStartChoice(bool on, AutoStartMode mode, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_on = new QCheckBox(tr("&Auto-start"), this);
    m_on->setChecked(on);
    m_mode = new QComboBox(this);
    AddMode(AutoStartMode::Plug, tr("when an adapter is plugged in"),
            tr("A slot starts the operation by itself when a device is plugged into it. It "
               "runs again only after its device was unplugged and a device plugged in."));
    AddMode(AutoStartMode::Answer, tr("when a board answers"),
            tr("Fixture mode, for adapters that stay while the boards change: each idle slot "
               "keeps its port open and asks for the version about once a second. A slot starts "
               "when a board answers, and again only after that board was taken out."));
    m_mode->setCurrentIndex(m_mode->findData(static_cast<int>(mode)));
    ShowToolTip();
    connect(m_on, &QCheckBox::toggled, this, &CAutoStartChoice::Toggled);
    connect(m_mode, &QComboBox::activated, this, [this] {
        ShowToolTip();
        emit ModeChosen(static_cast<AutoStartMode>(m_mode->currentData().toInt()));
    });
    row->addWidget(m_on);
    row->addWidget(m_mode);
}

void CAutoStartChoice::AddMode(AutoStartMode mode, const QString& text, const QString& toolTip) {
    m_mode->addItem(text, static_cast<int>(mode));
    m_mode->setItemData(m_mode->count() - 1, toolTip, Qt::ToolTipRole);
}

void CAutoStartChoice::ShowToolTip() {
    m_mode->setToolTip(m_mode->currentData(Qt::ToolTipRole).toString());
}
