#include "station/FixtureProbing.h"

#include "link/Timeouts.h"
#include "station/SlotModel.h"

namespace {

bool WantsProbe(const Slot& slot) {
    return slot.DevicePresent() && !slot.Busy() && !slot.path.isEmpty() &&
           slot.boardWait != BoardWait::Stopped;
}

// A slot that has run in this session may still hold the board it ran.
BoardWait FirstWait(const Slot& slot) {
    return slot.result == SlotResult::None ? BoardWait::ForBoard : BoardWait::ForRemoval;
}

}  // namespace

CFixtureProbing::CFixtureProbing(CSlotModel& model, QObject* parent)
    : QObject(parent), m_model(model) {}

CFixtureProbing::~CFixtureProbing() = default;

void CFixtureProbing::SetEnabled(bool on) {
    if (on == m_enabled) {
        return;
    }
    m_enabled = on;
    if (!on) {
        CloseAll();
        SetWaitOfAll(BoardWait::None);
    }
    Follow();
}

void CFixtureProbing::Follow() {
    // Probes go with their slot, when it needs none any more, and when its adapter
    // came back under another device name.
    for (auto watch = m_watches.begin(); watch != m_watches.end();) {
        const QString id = watch->first;
        const int row = m_model.RowOf(id);
        const bool keep = m_enabled && row >= 0 && WantsProbe(m_model.At(row)) &&
                          watch->second.probe->Path() == m_model.At(row).path;
        ++watch;
        if (!keep) {
            Close(id);
        }
    }
    for (int row = 0; m_enabled && row < m_model.Count(); ++row) {
        const Slot& slot = m_model.At(row);
        if (WantsProbe(slot) && m_watches.count(slot.id) == 0) {
            Open(slot.id, slot.path);
        }
    }
}

void CFixtureProbing::BeforeRun(const QString& id) {
    Close(id);
    if (m_enabled) {
        SetWait(id, BoardWait::ForRemoval);
    }
}

void CFixtureProbing::Stop(const QString& id) {
    const int row = m_model.RowOf(id);
    if (m_enabled && row >= 0 && !m_model.At(row).Busy()) {
        Close(id);
        SetWait(id, BoardWait::Stopped);
    }
}

void CFixtureProbing::StopAll() {
    if (!m_enabled) {
        return;
    }
    CloseAll();
    SetWaitOfAll(BoardWait::Stopped);
}

void CFixtureProbing::Forget(const QString& id) {
    Close(id);
}

std::set<std::string> CFixtureProbing::HeldPaths() const {
    std::set<std::string> paths;
    for (const auto& [id, watch] : m_watches) {
        if (watch.probe->Holding()) {
            paths.insert(watch.probe->Path().toStdString());
        }
    }
    return paths;
}

void CFixtureProbing::Open(const QString& id, const QString& path) {
    const int row = m_model.RowOf(id);
    if (m_model.At(row).boardWait == BoardWait::None) {
        SetWait(id, FirstWait(m_model.At(row)));
    }
    auto probe = std::make_unique<CBoardProbe>(path);
    connect(probe.get(), &CBoardProbe::Answered, this,
            [this, id](const QString& version) { OnAnswered(id, version); });
    connect(probe.get(), &CBoardProbe::Unanswered, this, [this, id] { OnUnanswered(id); });
    connect(probe.get(), &CBoardProbe::PortStateChanged, this,
            [this, id](const PortAvailability& availability) { OnPortState(id, availability); });
    CBoardProbe& started = *probe;
    m_watches[id] = {std::move(probe), 0};
    started.Start();
}

// The probe may be inside one of its own signals: it lets the port go now and is
// deleted once the event loop is back (or with this object, if that comes first).
void CFixtureProbing::Close(const QString& id) {
    const auto watch = m_watches.find(id);
    if (watch == m_watches.end()) {
        return;
    }
    CBoardProbe* probe = watch->second.probe.release();
    m_watches.erase(watch);
    probe->Stop();
    probe->setParent(this);
    probe->deleteLater();
}

void CFixtureProbing::CloseAll() {
    while (!m_watches.empty()) {
        Close(m_watches.begin()->first);
    }
}

void CFixtureProbing::OnAnswered(const QString& id, const QString& version) {
    const auto watch = m_watches.find(id);
    const int row = m_model.RowOf(id);
    if (watch == m_watches.end() || row < 0) {
        return;
    }
    watch->second.silentInARow = 0;
    if (m_model.At(row).boardWait == BoardWait::ForBoard) {
        emit BoardAnswered(id, version);
    }
}

void CFixtureProbing::OnUnanswered(const QString& id) {
    const auto watch = m_watches.find(id);
    const int row = m_model.RowOf(id);
    if (watch == m_watches.end() || row < 0) {
        return;
    }
    const int silent = ++watch->second.silentInARow;
    if (m_model.At(row).boardWait == BoardWait::ForRemoval &&
        silent >= timing::kFixtureSilentProbesToRearm) {
        SetWait(id, BoardWait::ForBoard);
    }
}

// A port that would not open shows why (busy, no permission) while it is tried again.
void CFixtureProbing::OnPortState(const QString& id, const PortAvailability& availability) {
    const int row = m_model.RowOf(id);
    if (row >= 0) {
        m_model.Update(
            row, [&](Slot& slot) { slot.portState = availability.state; }, CSlotModel::StateColumn,
            CSlotModel::StateColumn);
    }
}

void CFixtureProbing::SetWait(const QString& id, BoardWait wait) {
    SetWaitOfRow(m_model.RowOf(id), wait);
}

void CFixtureProbing::SetWaitOfAll(BoardWait wait) {
    for (int row = 0; row < m_model.Count(); ++row) {
        SetWaitOfRow(row, wait);
    }
}

// The whole row changes: its last result is dimmed while the slot waits for the next board.
// The board that answers next is a new one, so its first run is attempt 1.
void CFixtureProbing::SetWaitOfRow(int row, BoardWait wait) {
    if (row >= 0 && m_model.At(row).boardWait != wait) {
        m_model.Update(row, [wait](Slot& slot) {
            slot.boardWait = wait;
            if (wait == BoardWait::ForBoard) {
                slot.runsSinceArrival = 0;
            }
        });
    }
}
