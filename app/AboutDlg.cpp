#include "app/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/DialogUnits.h"
#include "app/Resource.h"

namespace {

const char* const kCaption = "关于 Tovrane";
const char* const kNameAndVersion = "Tovrane " TOVRANE_VERSION " 版";
const char* const kCopyright = "版权所有 (C) 2026";
const char* const kOkText = "确定";
constexpr int kIconPixels = 32;

QLabel* AddText(QWidget* parent, const DialogUnits& units, const char* text, const QRect& du) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(units.ToPixels(du));
    return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QString::number(IDD_ABOUTBOX));
    setFont(DialogFont());
    setWindowTitle(QString::fromUtf8(kCaption));
    const DialogUnits units(font());

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(kIconPixels, kIconPixels));
    icon->setGeometry(
        QRect(units.ToPixels(QRect(11, 17, 0, 0)).topLeft(), QSize(kIconPixels, kIconPixels)));

    AddText(this, units, kNameAndVersion, QRect(40, 10, 119, 8));
    AddText(this, units, kCopyright, QRect(40, 25, 119, 8));

    auto* ok = new QPushButton(QString::fromUtf8(kOkText), this);
    ok->setObjectName(QString::number(IdOk));
    ok->setDefault(true);
    ok->setGeometry(units.ToPixels(QRect(178, 7, 50, 14)));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(units.ToPixels(QSize(235, 55)));
}
