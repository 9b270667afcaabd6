#include "SerialLib/PortInfo/PortWatcher.h"

#include <QDir>
#include <QFileInfo>

CPortWatcher::CPortWatcher(std::string devRoot, QObject* parent)
    : QObject(parent), m_devRoot(std::move(devRoot)) {
    WatchExistingFolders();
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &CPortWatcher::OnDirectoryChanged);
}

// The folders are watched before the change is passed on, so a link made right
// after its folder is either seen by the reader or reported again.
void CPortWatcher::OnDirectoryChanged() {
    WatchExistingFolders();
    emit PortsChanged();
}

// udev makes serial/by-id and serial/by-path with the first USB adapter and removes
// them with the last; a removed folder drops out of the watcher by itself.
void CPortWatcher::WatchExistingFolders() {
    const QString root = QString::fromStdString(m_devRoot);
    for (const QString& folder :
         {root, root + "/serial", root + "/serial/by-id", root + "/serial/by-path"}) {
        if (QFileInfo(folder).isDir() && !m_watcher.directories().contains(folder)) {
            m_watcher.addPath(folder);
        }
    }
}
