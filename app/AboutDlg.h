#pragma once

#include <QDialog>

// The About box: icon, program name with version, copyright year and an OK button.
// OK, Esc and the close box close it.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
