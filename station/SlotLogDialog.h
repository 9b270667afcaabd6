#pragma once

#include <QDialog>
#include <QString>

class CStation;
class QPlainTextEdit;

// The log of one slot's last run, every line time-stamped: it grows while the
// run goes on, and can be copied and saved.
class CSlotLogDialog : public QDialog {
    Q_OBJECT

  public:
    CSlotLogDialog(CStation& station, QString slotId, QWidget* parent = nullptr);

    QString Text() const;

  private:
    void Refresh();
    void CopyAll();
    void Save();

    CStation& m_station;
    QString m_slotId;
    QPlainTextEdit* m_text;
    size_t m_shownLines = 0;
    qint64 m_shownRunStart = -1;
};
