#include "station/YieldSource.h"

#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

namespace {

using Runs = std::vector<StoredRun>;

// The runs read before, then those appended; the earlier list is shared when
// nothing was appended.
std::shared_ptr<const Runs> Joined(const ResultsSnapshot& previous, bool fromStart, Runs appended) {
    if (fromStart || !previous.runs) {
        return std::make_shared<const Runs>(std::move(appended));
    }
    if (appended.empty()) {
        return previous.runs;
    }
    auto runs = std::make_shared<Runs>();
    runs->reserve(previous.runs->size() + appended.size());
    runs->insert(runs->end(), previous.runs->begin(), previous.runs->end());
    std::move(appended.begin(), appended.end(), std::back_inserter(*runs));
    return runs;
}

}  // namespace

YieldUpdate UpdateYield(const ResultsSnapshot& previous, const QString& path,
                        const RunFilter& filter, const std::function<bool()>& stop) {
    const bool samePath = previous.path == path && previous.runs;
    Runs appended;
    const ResultsReadTally tally = ReadResultLines(
        path, samePath ? previous.position : ResultsFilePosition{},
        [&appended](const QJsonObject& line) {
            std::optional<StoredRun> run = StoredRunOf(line);
            if (run) {
                appended.push_back(std::move(*run));
            }
            return run.has_value();
        },
        stop);
    YieldUpdate update;
    update.snapshot.path = path;
    if (!tally.error.isEmpty()) {
        update.snapshot.runs = std::make_shared<const Runs>();
        update.report.readError = tally.error;
        return update;
    }
    const bool fromStart = tally.fromStart;
    update.snapshot.position = tally.end;
    update.snapshot.runs = Joined(previous, fromStart, std::move(appended));
    update.snapshot.unreadable = (fromStart ? 0 : previous.unreadable) + tally.unreadable;
    update.report = ComputeYield(*update.snapshot.runs, filter);
    update.report.unreadableLines = update.snapshot.unreadable + (tally.tornTail ? 1 : 0);
    return update;
}

CYieldSource::CYieldSource(QObject* parent) : QObject(parent) {
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &CYieldSource::Finished);
}

// A read still going ends at its next look at the flag; its result is dropped.
CYieldSource::~CYieldSource() {
    m_watcher.cancel();
}

// An update that cancels a whole read under way reads the whole file too.
void CYieldSource::Update(const QString& path, const RunFilter& filter) {
    Start(m_rereading ? ResultsSnapshot{} : m_snapshot, path, filter);
}

void CYieldSource::Reread(const QString& path, const RunFilter& filter) {
    m_rereading = true;
    Start({}, path, filter);
}

void CYieldSource::Start(const ResultsSnapshot& from, const QString& path,
                         const RunFilter& filter) {
    m_watcher.cancel();
    m_watcher.setFuture(QtConcurrent::run(
        [](QPromise<YieldUpdate>& promise, const ResultsSnapshot& previous, const QString& file,
           const RunFilter& wanted) {
            YieldUpdate update =
                UpdateYield(previous, file, wanted, [&promise] { return promise.isCanceled(); });
            if (!promise.isCanceled()) {
                promise.addResult(std::move(update));
            }
        },
        from, path, filter));
}

void CYieldSource::Finished() {
    const QFuture<YieldUpdate> future = m_watcher.future();
    if (future.isCanceled() || future.resultCount() == 0) {
        return;
    }
    YieldUpdate update = future.result();
    m_rereading = false;
    m_snapshot = std::move(update.snapshot);
    emit Ready(update.report);
}
