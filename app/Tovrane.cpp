#include "app/Tovrane.h"

#include <QApplication>

#include "app/Resource.h"
#include "app/TovraneDlg.h"

CTovraneApp::CTovraneApp(PortRoots roots) : m_roots(std::move(roots)) {
    QApplication::setApplicationName(QStringLiteral("Tovrane"));
    QApplication::setApplicationVersion(QStringLiteral(TOVRANE_VERSION));
    QApplication::setWindowIcon(AppIcon());
}

bool CTovraneApp::InitInstance() {
    CTovraneDlg dlg(m_roots);
    dlg.exec();
    return false;
}
