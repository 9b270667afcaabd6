#include "app/Tovrane.h"

#include <QApplication>

#include "app/Resource.h"
#include "app/TovraneDlg.h"

CTovraneApp::CTovraneApp(PortRoots roots) : m_roots(std::move(roots)) {
    QApplication::setApplicationName(QStringLiteral("Tovrane"));
    QApplication::setApplicationVersion(QStringLiteral(TOVRANE_VERSION));
    // Lets the desktop match the window to its menu entry and icon (tovrane.desktop).
    QApplication::setDesktopFileName(QStringLiteral("tovrane"));
    QApplication::setWindowIcon(AppIcon());
}

bool CTovraneApp::InitInstance() {
    CTovraneDlg dlg(m_roots);
    dlg.exec();
    return false;
}
