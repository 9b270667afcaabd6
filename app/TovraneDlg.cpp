#include "app/TovraneDlg.h"

#include <QComboBox>
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

#include "app/AboutDlg.h"
#include "app/DialogUnits.h"
#include "app/Resource.h"

namespace {

const char* const kCaption = "Tovrane";
const char* const kNoPortMessage = "Canot find serial interface!";

enum class Kind { ComboBox, PushButton, GroupBox, ProgressBar, StaticText, ListBox, Edit };

struct ControlSpec {
    int id;
    Kind kind;
    const char* text;
    QRect du;             // x, y, width, height in dialog units
    bool border = false;  // edits only; the other kinds always have their frame
    bool visible = true;
};

// The controls in tab order. The combo box's height is that of its drop-down list.
const ControlSpec kControls[] = {
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

QComboBox* MakeComboBox(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    // Typed paths are used as they are; the list keeps the probing order.
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

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

QWidget* MakeControl(const ControlSpec& spec, QWidget* parent) {
    const QString text = QString::fromUtf8(spec.text);
    switch (spec.kind) {
        case Kind::ComboBox:
            return MakeComboBox(parent);
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
            return MakeReadOnlyEdit(spec.border, parent);
    }
    return nullptr;
}

QString ObjectName(const ControlSpec& spec) {
    if (spec.id == IdStatic) {
        return QStringLiteral("static:") + QString::fromUtf8(spec.text);
    }
    return QString::number(spec.id);
}

}  // namespace

CTovraneDlg::CTovraneDlg(PortProbe probe, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_probe(std::move(probe)),
      m_calls(this) {
    setObjectName(QString::number(IDD_TOVRANE_DIALOG));
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(AppIcon());
    setFont(DialogFont());
    CreateControls();

    for (const TextBinding& binding : TextBindings()) {
        binding.value->Set({});
    }
    Shared().OperationMode = ModeNone;
}

CTovraneDlg::~CTovraneDlg() {
    MakeInert();
}

void CTovraneDlg::CreateControls() {
    const DialogUnits units(font());
    for (const ControlSpec& spec : kControls) {
        QWidget* control = MakeControl(spec, this);
        control->setObjectName(ObjectName(spec));
        QRect geometry = units.ToPixels(spec.du);
        if (spec.kind == Kind::ComboBox) {
            geometry.setHeight(control->sizeHint().height());
        }
        control->setGeometry(geometry);
        control->setVisible(spec.visible);
        if (spec.kind == Kind::GroupBox) {
            // A frame lies beneath the controls it surrounds, whatever its place in the order.
            control->lower();
        }
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            const int id = spec.id;
            connect(button, &QPushButton::clicked, this, [this, id] { OnCommand(id); });
        }
        if (spec.id != IdStatic) {
            m_controls[spec.id] = control;
        }
    }
    m_portList = qobject_cast<QComboBox*>(Control(IdPortList));
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
    Shared().PercentText.Set("0%");
    RemainingText.Set("00:00");
    ElapsedText.Set("00:00");
    SpeedText.Set("0 Blocks/Sec");
    Shared().TotalBlocksText.Set("0");
    Shared().WrittenBlocksText.Set("0");
    Shared().UpdatePhase = PhaseIdle;
    Shared().OperationMode = ModeMcu;
    LoadValuesIntoControls();
}

void CTovraneDlg::EnumeratePorts() {
    for (const std::string& path : ProbePorts(m_probe)) {
        m_portList->insertItem(m_portList->count(), QString::fromStdString(path));
    }
    m_portList->setCurrentIndex(m_portList->count() > 0 ? 0 : -1);
}

// In binding order; the control bindings (1031, 1003, 1001, 1013) are the
// widgets themselves and carry no value.
std::array<CTovraneDlg::TextBinding, 6> CTovraneDlg::TextBindings() {
    return {{
        {IdTotalBlocks, &Shared().TotalBlocksText, 0},
        {IdElapsed, &ElapsedText, 0},
        {IdRemaining, &RemainingText, 0},
        {IdSpeed, &SpeedText, 0},
        {IdPercent, &Shared().PercentText, kPercentMaxChars},
        {IdWrittenBlocks, &Shared().WrittenBlocksText, 0},
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
        binding.value->Set(text.toStdString());
    }
    return true;
}

void CTovraneDlg::LoadValuesIntoControls() {
    for (const TextBinding& binding : TextBindings()) {
        SetControlText(binding.controlId, QString::fromStdString(binding.value->Get()));
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
        default:
            break;
    }
}

void CTovraneDlg::OnUpdateDsp() {
    StartOperation(ModeDsp, true);
}

void CTovraneDlg::OnUpdateMcu() {
    StartOperation(ModeMcu, true);
}

void CTovraneDlg::OnReadVersion() {
    StartOperation(ModeReadVersion, false);
}

// The chosen port is the selected entry, or the device path typed into the field.
void CTovraneDlg::StartOperation(int32_t mode, bool switchBaud) {
    SaveControlsToValues();
    Shared().OperationMode = mode;
    m_bSwitchBaud = switchBaud;
    const QString port = m_portList->currentText().trimmed();
    if (port.isEmpty()) {
        ShowMessage({kNoPortMessage, {}, {}});
        return;
    }
    m_strPortName = port.toStdString();
}

void CTovraneDlg::accept() {
    OnCommand(IdOk);
}

void CTovraneDlg::reject() {
    OnCancel();
}

void CTovraneDlg::OnCancel() {
    MakeInert();
    QDialog::reject();
}

// Ticks of both window timers; the display shows the bound values.
void CTovraneDlg::OnTimer(int /*id*/) {
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

void CTovraneDlg::SetProgressPos(int pos) {
    m_calls.Run([this, pos] { m_progressBar->setValue(pos); });
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

void CTovraneDlg::StopTimer(int id) {
    m_calls.Run([this, id] {
        const auto it = m_timers.find(id);
        if (it != m_timers.end()) {
            it->second->stop();
        }
    });
}
