#pragma once

#include <QStringList>

class QFileSystemWatcher;

// Makes `watcher` watch exactly the `paths` that exist, and nothing else.
void WatchOnly(QFileSystemWatcher& watcher, const QStringList& paths);
