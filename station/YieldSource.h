#pragma once

#include <QFutureWatcher>
#include <QObject>
#include <functional>
#include <memory>
#include <vector>

#include "station/ResultsReader.h"
#include "station/YieldStatistics.h"

// The runs read so far from one results file; reads share them read-only.
struct ResultsSnapshot {
    QString path;
    ResultsFilePosition position;
    std::shared_ptr<const std::vector<StoredRun>> runs;
    int unreadable = 0;  // whole lines read so far that could not be read
};

struct YieldUpdate {
    ResultsSnapshot snapshot;
    YieldReport report;
};

// Reads what was appended to `path` since `previous` (all of it when it is another
// path or file, or the file got shorter) and counts the runs `filter` admits.
// `stop` ends the read early; the update is then incomplete.
YieldUpdate UpdateYield(const ResultsSnapshot& previous, const QString& path,
                        const RunFilter& filter, const std::function<bool()>& stop = {});

// Keeps the yield of a results file up to date off the event loop: each request
// reads on a pool thread and cancels the one before it; Ready follows the last.
class CYieldSource : public QObject {
    Q_OBJECT

  public:
    explicit CYieldSource(QObject* parent = nullptr);
    ~CYieldSource() override;

    // Takes in what was appended since the last read.
    void Update(const QString& path, const RunFilter& filter);
    // Reads the whole file again.
    void Reread(const QString& path, const RunFilter& filter);
    bool Busy() const { return m_watcher.isRunning(); }

  signals:
    void Ready(const YieldReport& report);

  private:
    void Start(const ResultsSnapshot& from, const QString& path, const RunFilter& filter);
    void Finished();

    QFutureWatcher<YieldUpdate> m_watcher;
    ResultsSnapshot m_snapshot;
    bool m_rereading = false;  // a whole read was asked for and has not ended yet
};
