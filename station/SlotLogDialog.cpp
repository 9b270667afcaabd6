#include "station/SlotLogDialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "station/Station.h"

namespace {

QString LineOf(const LogEntry& entry) {
    return entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QStringLiteral("  ") +
           entry.text;
}

}  // namespace

CSlotLogDialog::CSlotLogDialog(CStation& station, QString slotId, QWidget* parent)
    : QDialog(parent), m_station(station), m_slotId(std::move(slotId)), m_text(new QPlainTextEdit) {
    setWindowTitle(tr("Log of slot %1").arg(m_slotId));
    setAttribute(Qt::WA_DeleteOnClose);
    m_text->setReadOnly(true);
    m_text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    QPushButton* save = buttons->addButton(tr("&Save…"), QDialogButtonBox::ActionRole);
    connect(copy, &QPushButton::clicked, this, &CSlotLogDialog::CopyAll);
    connect(save, &QPushButton::clicked, this, &CSlotLogDialog::Save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
    resize(760, 420);

    // Log lines change the result column of their row.
    connect(&m_station.Model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                const int row = m_station.Model().RowOf(m_slotId);
                if (topLeft.row() <= row && row <= bottomRight.row() &&
                    topLeft.column() <= CSlotModel::ResultColumn &&
                    bottomRight.column() >= CSlotModel::ResultColumn) {
                    Refresh();
                }
            });
    Refresh();
}

QString CSlotLogDialog::Text() const {
    return m_text->toPlainText();
}

// Appends what the run logged since the last look; a new run starts the text anew.
void CSlotLogDialog::Refresh() {
    const int row = m_station.Model().RowOf(m_slotId);
    if (row < 0) {
        return;
    }
    const Slot& slot = m_station.Model().At(row);
    if (slot.startedMs != m_shownRunStart) {
        m_text->clear();
        m_shownRunStart = slot.startedMs;
        m_shownLines = 0;
    }
    const size_t total = slot.logDropped + slot.log.size();
    const size_t fresh = std::min(total - std::min(total, m_shownLines), slot.log.size());
    for (size_t i = slot.log.size() - fresh; i < slot.log.size(); ++i) {
        m_text->appendPlainText(LineOf(slot.log[i]));
    }
    m_shownLines = total;
}

void CSlotLogDialog::CopyAll() {
    QGuiApplication::clipboard()->setText(Text());
}

void CSlotLogDialog::Save() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save the log"),
        QStringLiteral("tovrane-slot-%1.log").arg(QString(m_slotId).replace('/', '_')),
        tr("Log files (*.log *.txt);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text) ||
        file.write(Text().toUtf8() + '\n') < 0 || !file.flush()) {
        QMessageBox::warning(
            this, tr("Save the log"),
            tr("The log could not be saved to %1: %2").arg(path, file.errorString()));
    }
}
