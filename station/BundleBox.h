#pragma once

#include <QGroupBox>

#include "station/ImageFolderCheck.h"

class CBundleCheck;
class QLabel;
class QPushButton;

// The release bundle the station runs, in place of the images folder: its path,
// name, release and signer, each image's check and the steps in order, with the
// buttons that open another bundle or close it. Locked, neither button works.
class CBundleBox : public QGroupBox {
    Q_OBJECT

  public:
    explicit CBundleBox(QWidget* parent = nullptr);

    void Show(const CBundleCheck& bundle);
    void SetLocked(bool locked);

  signals:
    void OpenAsked();
    void CloseAsked();

  private:
    QLabel* Line(int row, const QString& title);

    QLabel* m_path = nullptr;
    QLabel* m_release = nullptr;
    QLabel* m_imageLines[CImageFolderCheck::kImageCount] = {};
    QLabel* m_steps = nullptr;
    QLabel* m_locked = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_close = nullptr;
};
