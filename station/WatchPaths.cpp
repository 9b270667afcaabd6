#include "station/WatchPaths.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

void WatchOnly(QFileSystemWatcher& watcher, const QStringList& paths) {
    const QStringList watched = watcher.files() + watcher.directories();
    if (!watched.isEmpty()) {
        watcher.removePaths(watched);
    }
    QStringList present;
    for (const QString& path : paths) {
        if (QFileInfo::exists(path) && !present.contains(path)) {
            present << path;
        }
    }
    if (!present.isEmpty()) {
        watcher.addPaths(present);
    }
}
