#include "app/PortComboBox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>

#include "app/PortItemDelegate.h"

namespace {

QString Label(const CPortInfo& port) {
    QString label = QString::fromStdString(port.description);
    if (!port.serialNumber.empty()) {
        label += QStringLiteral(", serial ") + QString::fromStdString(port.serialNumber);
    }
    return label;
}

// Everything known about the port, for the entry's tool tip.
QString Details(const CPortInfo& port) {
    QStringList lines{QString::fromStdString(port.path + "  (" + StateName(port.state) + ")")};
    const std::pair<const char*, const std::string&> fields[] = {
        {"VID:PID ", port.vidPid},
        {"interface ", port.interfaceNumber},
        {"", port.byIdLink},
    };
    for (const auto& [name, value] : fields) {
        if (!value.empty()) {
            lines << QString::fromUtf8(name) + QString::fromStdString(value);
        }
    }
    return lines.join('\n');
}

}  // namespace

CPortComboBox::CPortComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Typed paths are used as they are; the list keeps the system's order.
    setInsertPolicy(QComboBox::NoInsert);
    setItemDelegate(new CPortItemDelegate(this));
}

void CPortComboBox::SetBeforePopup(std::function<void()> hook) {
    m_beforePopup = std::move(hook);
}

void CPortComboBox::ShowPorts(const std::vector<CPortInfo>& ports, const std::string& ownPort) {
    const bool wasEmpty = count() == 0;
    const QString field = currentText();
    const int cursor = lineEdit()->cursorPosition();
    clear();
    for (const CPortInfo& port : ports) {
        AddEntry(port, ownPort);
    }
    if (wasEmpty && field.isEmpty()) {
        ChooseFirstUsable(ports);
    } else {
        RestoreField(field, cursor);
    }
}

void CPortComboBox::AddEntry(const CPortInfo& port, const std::string& ownPort) {
    const int row = count();
    addItem(QString::fromStdString(port.path));
    const std::string reason =
        port.path == ownPort ? "in use by the running operation" : UnusableReason(port);
    setItemData(row, Label(port), CPortItemDelegate::DescriptionRole);
    setItemData(row, QString::fromStdString(reason), CPortItemDelegate::ReasonRole);
    setItemData(row, Details(port), Qt::ToolTipRole);
}

void CPortComboBox::RestoreField(const QString& text, int cursor) {
    setCurrentIndex(findText(text, Qt::MatchExactly));
    setEditText(text);
    lineEdit()->setCursorPosition(cursor);
}

void CPortComboBox::ChooseFirstUsable(const std::vector<CPortInfo>& ports) {
    const auto usable = std::find_if(ports.begin(), ports.end(), [](const CPortInfo& port) {
        return port.state == PortState::Usable;
    });
    setCurrentIndex(
        ports.empty() ? -1 : static_cast<int>(usable == ports.end() ? 0 : usable - ports.begin()));
}

void CPortComboBox::showPopup() {
    if (m_beforePopup) {
        m_beforePopup();
    }
    WidenPopupToEntries();
    QComboBox::showPopup();
}

// The drop-down may be wider than the field, so no entry is cut off.
void CPortComboBox::WidenPopupToEntries() {
    QAbstractItemView* list = view();
    int widest = 0;
    for (int row = 0; row < count(); ++row) {
        widest = std::max(widest, list->sizeHintForIndex(model()->index(row, 0)).width());
    }
    const int scrollBar =
        count() > maxVisibleItems() ? list->verticalScrollBar()->sizeHint().width() : 0;
    list->setMinimumWidth(widest + 2 * list->frameWidth() + scrollBar);
}
