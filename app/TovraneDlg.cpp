#include "app/TovraneDlg.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "SerialLib/PortInfo/PortWatcher.h"
#include "SerialLib/Serial/posix/Clock.h"
#include "app/AboutDlg.h"
#include "app/DialogUnits.h"
#include "app/PortComboBox.h"
#include "app/Resource.h"
#include "update/GuardedWindow.h"
#include "update/ImageFiles.h"

namespace {

const char* const kCaption = "Tovrane";

// Commands no control sends; they reach the window from elsewhere.
constexpr int kCommandClosePort = 1012;
constexpr int kCommandCountImageBlocks = 1002;

enum class Kind { ComboBox, PushButton, GroupBox, ProgressBar, StaticText, ListBox, Edit };

struct ControlDef {
    int id;
    Kind kind;
    const char* text;
    QRect du;             // x, y, width, height in dialog units
    bool border = false;  // edits only; the other kinds always have their frame
    bool visible = true;
};

// The controls in tab order. The combo box's height is that of its drop-down list.
const ControlDef kControls[] = {
    {IdPortList, Kind::ComboBox, "", {45, 19, 69, 61}},
    {IdUpdateDsp, Kind::PushButton, "Update DSP", {15, 88, 85, 18}},
    {IdExit, Kind::PushButton, "Exit", {15, 155, 86, 18}},
    {IdStatic, Kind::GroupBox, "Information", {134, 5, 223, 200}},
    {IdProgressBar, Kind::ProgressBar, "", {144, 64, 208, 11}},
    {IdPercent, Kind::StaticText, "Static", {251, 47, 24, 8}},
    {IdStatic, Kind::GroupBox, "SerialSetting", {8, 7, 112, 31}},
    {IdLogList, Kind::ListBox, "", {142, 85, 210, 116}},
    {IdStatic, Kind::StaticText, "Serial:", {13, 21, 29, 8}},
    {IdStatic, Kind::StaticText, "Total Blocks:", {145, 17, 53, 8}},
    {IdTotalBlocks, Kind::Edit, "", {199, 16, 40, 13}, true},
    {IdStatic, Kind::StaticText, "Writed Blocks:", {243, 15, 57, 8}},
    {IdWrittenBlocks, Kind::Edit, "", {309, 13, 42, 12}},
    {IdStatic, Kind::StaticText, "Escape Time:", {145, 33, 49, 8}},
    {IdElapsed, Kind::Edit, "", {199, 31, 40, 13}},
    {IdStatic, Kind::StaticText, "Remain Time:", {243, 31, 49, 8}},
    {IdRemaining, Kind::Edit, "", {309, 28, 42, 12}},
    {IdStatic, Kind::StaticText, "Speed:", {145, 48, 25, 8}},
    {IdSpeed, Kind::Edit, "", {199, 46, 42, 12}},
    {IdStatic, Kind::StaticText, "Current ID:", {247, 123, 47, 11}, false, false},
    {IdCurrentId, Kind::Edit, "", {301, 119, 40, 13}, false, false},
    {IdUpdateMcu, Kind::PushButton, "Update MCU", {15, 123, 85, 18}},
    {IdReadVersion, Kind::PushButton, "Read Version", {17, 54, 80, 18}},
};

const QSize kDialogSizeDu(369, 211);
constexpr int kPercentMaxChars = 5;

QProgressBar* MakeProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QLabel* MakeStaticText(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QListWidget* MakeListBox(QWidget* parent) {
    auto* list = new QListWidget(parent);
    list->setSortingEnabled(false);
    list->setWordWrap(false);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

// Read-only fields look like the dialog's face, as on the platform the layout comes from.
QLineEdit* MakeReadOnlyEdit(bool border, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setFrame(border);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
    return edit;
}

QWidget* MakeControl(const ControlDef& def, QWidget* parent) {
    const QString text = QString::fromUtf8(def.text);
    switch (def.kind) {
        case Kind::ComboBox:
            return new CPortComboBox(parent);
        case Kind::PushButton:
            return new QPushButton(text, parent);
        case Kind::GroupBox:
            return new QGroupBox(text, parent);
        case Kind::ProgressBar:
            return MakeProgressBar(parent);
        case Kind::StaticText:
            return MakeStaticText(text, parent);
        case Kind::ListBox:
            return MakeListBox(parent);
        case Kind::Edit:
            return MakeReadOnlyEdit(def.border, parent);
    }
    return nullptr;
}

QString ObjectName(const ControlDef& def) {
    if (def.id == IdStatic) {
        return QStringLiteral("static:") + QString::fromUtf8(def.text);
    }
    return QString::number(def.id);
}

}  // namespace

CTovraneDlg::CTovraneDlg(PortRoots roots, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_enumerator(std::move(roots)),
      m_calls(this),
      m_link(*this),
      m_engine(m_link, *this) {
    setObjectName(QString::number(IDD_TOVRANE_DIALOG));
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(AppIcon());
    setFont(DialogFont());
    CreateControls();

    for (const TextBinding& binding : TextBindings()) {
        binding.set({});
    }
    Shared().OperationMode = ModeNone;
}

CTovraneDlg::~CTovraneDlg() {
    Shutdown();
}

void CTovraneDlg::ListPortFirst(std::string path, std::string description) {
    CPortInfo port;
    port.path = std::move(path);
    port.description = std::move(description);
    m_leadingPorts.push_back(std::move(port));
}

void CTovraneDlg::SetCompletionSound(CompletionSound sound) {
    m_sound = std::move(sound);
}

void CTovraneDlg::CreateControls() {
    const DialogUnits units(font());
    for (const ControlDef& def : kControls) {
        QWidget* control = MakeControl(def, this);
        control->setObjectName(ObjectName(def));
        QRect geometry = units.ToPixels(def.du);
        if (def.kind == Kind::ComboBox) {
            geometry.setHeight(control->sizeHint().height());
        }
        control->setGeometry(geometry);
        control->setVisible(def.visible);
        if (def.kind == Kind::GroupBox) {
            // A frame lies beneath the controls it surrounds, whatever its place in the order.
            control->lower();
        }
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            const int id = def.id;
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
        if (def.id != IdStatic) {
            m_controls[def.id] = control;
        }
    }
    m_portList = static_cast<CPortComboBox*>(Control(IdPortList));
    m_portList->SetBeforePopup([this] { EnumeratePorts(); });
    m_logList = qobject_cast<QListWidget*>(Control(IdLogList));
    m_progressBar = qobject_cast<QProgressBar*>(Control(IdProgressBar));
    qobject_cast<QPushButton*>(Control(IdUpdateDsp))->setDefault(true);
    setFixedSize(units.ToPixels(kDialogSizeDu));
}

QWidget* CTovraneDlg::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CTovraneDlg::showEvent(QShowEvent* event) {
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CTovraneDlg::OnInitDialog() {
    EnumeratePorts();
    WatchPorts();
    Shared().PercentText.Set("0%");
    m_display.RemainingText = "00:00";
    m_display.ElapsedText = "00:00";
    m_display.SpeedText = "0 Blocks/Sec";
    Shared().TotalBlocksText.Set("0");
    Shared().WrittenBlocksText.Set("0");
    Shared().UpdatePhase = PhaseIdle;
    Shared().OperationMode = ModeMcu;
    LoadValuesIntoControls();
}

void CTovraneDlg::EnumeratePorts() {
    // A running operation's own lock makes its port look busy.
    const std::string ownPort = m_engine.Running() ? m_engine.Port() : std::string();
    m_portList->ShowPorts(CurrentPorts(), ownPort);
}

// The leading ports are listed as given, without a probe: they are the caller's
// own (the demo's simulated device), which would take a probe's open and close
// for a client coming and going.
std::vector<CPortInfo> CTovraneDlg::CurrentPorts() const {
    std::vector<CPortInfo> ports = m_leadingPorts;
    for (CPortInfo& port : m_enumerator.Ports()) {
        ports.push_back(std::move(port));
    }
    return ports;
}

// Only the list is touched: the operation uses the port name copied at the press.
void CTovraneDlg::WatchPorts() {
    auto* watcher = new CPortWatcher(m_enumerator.Roots().dev, this);
    connect(watcher, &CPortWatcher::PortsChanged, this, &CTovraneDlg::EnumeratePorts);
}

CTovraneDlg::TextBinding CTovraneDlg::Bind(int controlId, SharedText& value, int maxChars) {
    return {controlId, [&value] { return value.Get(); },
            [&value](std::string text) { value.Set(std::move(text)); }, maxChars};
}

CTovraneDlg::TextBinding CTovraneDlg::Bind(int controlId, std::string& value) {
    return {controlId, [&value] { return value; },
            [&value](std::string text) { value = std::move(text); }, 0};
}

// In binding order; the control bindings (1031, 1003, 1001, 1013) are the
// widgets themselves and carry no value. The time and speed texts are the
// progress display's own, which only the window thread touches.
std::array<CTovraneDlg::TextBinding, 6> CTovraneDlg::TextBindings() {
    return {{
        Bind(IdTotalBlocks, Shared().TotalBlocksText),
        Bind(IdElapsed, m_display.ElapsedText),
        Bind(IdRemaining, m_display.RemainingText),
        Bind(IdSpeed, m_display.SpeedText),
        Bind(IdPercent, Shared().PercentText, kPercentMaxChars),
        Bind(IdWrittenBlocks, Shared().WrittenBlocksText),
    }};
}

QString CTovraneDlg::ControlText(int id) const {
    QWidget* control = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        return edit->text();
    }
    return qobject_cast<QLabel*>(control)->text();
}

void CTovraneDlg::SetControlText(int id, const QString& text) {
    QWidget* control = Control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
        edit->home(false);  // a text wider than its field shows its start
        return;
    }
    qobject_cast<QLabel*>(control)->setText(text);
}

bool CTovraneDlg::SaveControlsToValues() {
    for (const TextBinding& binding : TextBindings()) {
        const QString text = ControlText(binding.controlId);
        if (binding.maxChars > 0 && text.size() > binding.maxChars) {
            return false;
        }
        binding.set(text.toStdString());
    }
    return true;
}

void CTovraneDlg::LoadValuesIntoControls() {
    for (const TextBinding& binding : TextBindings()) {
        SetControlText(binding.controlId, QString::fromStdString(binding.get()));
    }
}

void CTovraneDlg::OnCommand(int id) {
    switch (id) {
        case IdUpdateDsp:
            OnUpdateDsp();
            break;
        case IdExit:
            OnCancel();
            break;
        case IdUpdateMcu:
            OnUpdateMcu();
            break;
        case IdReadVersion:
            OnReadVersion();
            break;
        case kCommandClosePort:
            m_link.ClosePort();
            break;
        case kCommandCountImageBlocks: {
            GuardedWindow window(*this, [this] { return m_calls.Cancelled(); });
            CountImageBlocks(window);
            break;
        }
        default:
            break;
    }
}

void CTovraneDlg::OnUpdateDsp() {
    StartOperation(&CUpdateEngine::OnUpdateDsp);
}

void CTovraneDlg::OnUpdateMcu() {
    StartOperation(&CUpdateEngine::OnUpdateMcu);
}

void CTovraneDlg::OnReadVersion() {
    StartOperation(&CUpdateEngine::OnReadVersion);
}

// The chosen port is the selected entry, or the device path typed into the field;
// with neither the engine reports that no port was found.
void CTovraneDlg::StartOperation(EngineStart start) {
    SaveControlsToValues();
    const QString typed = m_portList->currentText().trimmed();
    std::optional<std::string> port;
    if (!typed.isEmpty()) {
        port = typed.toStdString();
    }
    (m_engine.*start)(port);
}

void CTovraneDlg::accept() {
    OnCommand(IdOk);
}

void CTovraneDlg::reject() {
    OnCancel();
}

void CTovraneDlg::OnCancel() {
    Shutdown();
    QDialog::reject();
}

// The window's requests are dropped first, so a worker waiting on one (a message
// box included) gets out at once; then the worker is stopped and waited for, and
// only then is the port closed, quietly, as the stop silences the link.
void CTovraneDlg::Shutdown() {
    MakeInert();
    m_engine.Stop();
    m_link.ClosePort();
    for (const auto& [id, timer] : m_timers) {
        timer->stop();
    }
}

void CTovraneDlg::OnTimer(int id) {
    if (id == EraseTimer) {
        m_progressBar->setValue(m_display.OnEraseTick());
    } else if (id == ProgramTimer && m_display.OnProgramTick(TimeGetTime()) && m_sound) {
        m_sound();
    }
    LoadValuesIntoControls();
}

void CTovraneDlg::OnSysCommand(unsigned id) {
    if ((id & kSysCommandMask) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
    }
}

// Linux window managers keep the system menu to themselves, so the About entry
// lives in the window's context menu.
void CTovraneDlg::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutMenuText), this, [this] { OnSysCommand(IDM_ABOUTBOX); });
    menu.exec(event->globalPos());
}

void CTovraneDlg::MakeInert() {
    m_calls.Cancel();
}

void CTovraneDlg::LogLine(const std::string& text) {
    m_calls.Run([this, text] { m_logList->insertItem(0, QString::fromStdString(text)); });
}

void CTovraneDlg::EnableControl(int id, bool enable) {
    m_calls.Run([this, id, enable] {
        if (QWidget* control = Control(id)) {
            control->setEnabled(enable);
        }
    });
}

void CTovraneDlg::ShowMessage(const MessageBoxText& message) {
    m_calls.Run([this, message] {
        const std::string caption = message.caption.empty() ? kCaption : message.caption;
        QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                        QString::fromStdString(message.text), QMessageBox::Ok, this);
        box.setInformativeText(QString::fromStdString(message.detail));
        box.exec();
    });
}

void CTovraneDlg::SetProgressRange(int lower, int upper) {
    m_calls.Run([this, lower, upper] { m_progressBar->setRange(lower, upper); });
}

// Set after every block: queued, so the worker does not wait for the window
// between one block's reply and the next block.
void CTovraneDlg::SetProgressPos(int pos) {
    m_calls.Post([this, pos] { m_progressBar->setValue(pos); });
}

void CTovraneDlg::StartTimer(int id, uint32_t periodMs) {
    m_calls.Run([this, id, periodMs] {
        QTimer*& timer = m_timers[id];
        if (timer == nullptr) {
            timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
        }
        timer->start(static_cast<int>(std::min<uint32_t>(periodMs, INT_MAX)));
    });
}

// The finish leaves about a second for a statistics tick before it stops the
// timer; if that tick has not come (a busy window thread, shortened waits), the
// stop delivers it, so a finished update always gets its sound, and only once.
void CTovraneDlg::StopTimer(int id) {
    m_calls.Run([this, id] {
        const auto it = m_timers.find(id);
        if (it == m_timers.end() || !it->second->isActive()) {
            return;
        }
        if (id == ProgramTimer && Shared().UpdatePhase == PhaseFinished) {
            OnTimer(ProgramTimer);
        }
        it->second->stop();
    });
}
