#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <string>

// Tells when serial devices may have come or gone: watches the dev root, and its
// serial/, serial/by-id/ and serial/by-path/ folders while they exist, through
// inotify. A node created, removed or given other permissions there emits
// PortsChanged; nothing runs between changes.
class CPortWatcher : public QObject {
    Q_OBJECT

  public:
    explicit CPortWatcher(std::string devRoot = "/dev", QObject* parent = nullptr);

  signals:
    void PortsChanged();

  private:
    void OnDirectoryChanged();
    void WatchExistingFolders();

    std::string m_devRoot;
    QFileSystemWatcher m_watcher;
};
