#include "station/BundleBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "station/BundleCheck.h"
#include "station/BundleTexts.h"
#include "station/ImageStatusText.h"

namespace {

constexpr int kPathRow = 0;
constexpr int kReleaseRow = 1;
constexpr int kFirstImageRow = 2;
constexpr int kStepsRow = kFirstImageRow + CImageFolderCheck::kImageCount;
constexpr int kLockedRow = kStepsRow + 1;

QString ImageInBundle(const ImageStatus& status) {
    return status.state == ImageStatus::State::Missing ? CBundleBox::tr("not in the bundle")
                                                       : ImageStatusText(status);
}

// "Model 7 controller, release 2.4.1, signed by release@example.com"; a refused
// bundle says so, and the line below the results file says why.
QString ReleaseLine(const BundleStatus& status) {
    if (status.state == BundleStatus::State::Checking) {
        return CBundleBox::tr("checking…");
    }
    const bool refused = status.state == BundleStatus::State::Refused;
    if (status.name.isEmpty()) {
        return CBundleBox::tr("refused");
    }
    const QString identity = CBundleBox::tr("%1, release %2, %3")
                                 .arg(status.name, status.release, SignerWords(status.signer));
    return refused ? CBundleBox::tr("%1: refused").arg(identity) : identity;
}

}  // namespace

CBundleBox::CBundleBox(QWidget* parent) : QGroupBox(tr("Release bundle"), parent) {
    auto* grid = new QGridLayout(this);
    m_path = Line(kPathRow, tr("Bundle:"));
    auto* buttons = new QHBoxLayout;
    m_open = new QPushButton(tr("Open &bundle…"), this);
    m_close = new QPushButton(tr("&Close bundle"), this);
    connect(m_open, &QPushButton::clicked, this, &CBundleBox::OpenAsked);
    connect(m_close, &QPushButton::clicked, this, &CBundleBox::CloseAsked);
    buttons->addWidget(m_open);
    buttons->addWidget(m_close);
    grid->addLayout(buttons, kPathRow, 2);
    m_release = Line(kReleaseRow, tr("Release:"));
    const ImageStatuses names = UncheckedImages();
    for (int i = 0; i < CImageFolderCheck::kImageCount; ++i) {
        m_imageLines[i] = Line(kFirstImageRow + i, names[static_cast<size_t>(i)].name);
    }
    m_steps = Line(kStepsRow, tr("Steps:"));
    m_locked =
        new QLabel(tr("Locked: the bundle, the operation, the results file and the work order were "
                      "set when the station was started."),
                   this);
    m_locked->setStyleSheet(QStringLiteral("font-weight: bold;"));
    m_locked->hide();
    grid->addWidget(m_locked, kLockedRow, 0, 1, 3);
    grid->setColumnStretch(1, 1);
}

// A title in the first column and a selectable text beside it.
QLabel* CBundleBox::Line(int row, const QString& title) {
    auto* grid = static_cast<QGridLayout*>(layout());
    auto* text = new QLabel(this);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setWordWrap(true);
    grid->addWidget(new QLabel(title, this), row, 0);
    grid->addWidget(text, row, 1, 1, row == kPathRow ? 1 : 2);
    return text;
}

void CBundleBox::Show(const CBundleCheck& bundle) {
    const BundleStatus& status = bundle.Status();
    m_path->setText(bundle.Bundle());
    m_release->setText(ReleaseLine(status));
    for (size_t i = 0; i < status.images.size(); ++i) {
        m_imageLines[i]->setText(ImageInBundle(status.images[i]));
    }
    m_steps->setText(StepsLine(status.steps, status.release));
}

void CBundleBox::SetLocked(bool locked) {
    m_open->setEnabled(!locked);
    m_close->setEnabled(!locked);
    m_locked->setVisible(locked);
}
