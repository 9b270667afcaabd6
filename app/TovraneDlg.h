#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "SerialLib/PortInfo/PortEnumerator.h"
#include "app/CompletionSound.h"
#include "app/WindowThreadCalls.h"
#include "link/DeviceLink.h"
#include "link/MainWindow.h"
#include "link/SharedState.h"
#include "update/ProgressDisplay.h"
#include "update/UpdateEngine.h"

class CPortComboBox;
class QListWidget;
class QProgressBar;
class QTimer;

// The main window: port selection, the three operation buttons, Exit, the
// statistics fields, the progress bar with its percentage and the log list.
// It is fixed in size and laid out from the dialog-unit table in its source.
//
// The window owns the device link (port object, receive queue) and the update
// engine whose worker runs the operations; the buttons start it with the chosen port.
// The port list shows the serial devices under `roots` and is read again when its
// drop-down opens and when a device comes or goes.
//
// The MainWindow services may be called from any thread: off the window thread
// they run on it and return once done (a progress position is only queued).
// Closing the window (OnCancel, and the destructor) turns them into no-ops and
// releases every caller still waiting.
class CTovraneDlg : public QDialog, public MainWindow {
    Q_OBJECT

  public:
    explicit CTovraneDlg(PortRoots roots = {}, QWidget* parent = nullptr);
    ~CTovraneDlg() override;

    // Before the window is shown: `path` heads the port list, ahead of the system's
    // ports, and counts as usable.
    void ListPortFirst(std::string path, std::string description = {});
    // Replaces the completion sound (tests count it, the demo announces it).
    void SetCompletionSound(CompletionSound sound);

    // MainWindow.
    void LogLine(const std::string& text) override;
    void EnableControl(int id, bool enable) override;
    void ShowMessage(const MessageBoxText& message) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void StartTimer(int id, uint32_t periodMs) override;
    void StopTimer(int id) override;

    // The control with this id, or nullptr; labels and group boxes have none.
    QWidget* Control(int id) const;

    // Lists the serial ports, keeping the field's text; the first time it selects
    // the first usable port.
    void EnumeratePorts();

    void OnUpdateDsp();
    void OnUpdateMcu();
    void OnReadVersion();
    // "Exit", Esc and the close box: stops a running worker, closes the port and
    // ends the window with the cancel result.
    void OnCancel();
    // System commands; IDM_ABOUTBOX (low four bits ignored) shows the About box.
    void OnSysCommand(unsigned id);

    CDeviceLink& Link() { return m_link; }
    CUpdateEngine& Engine() { return m_engine; }
    // Holds the window's ElapsedText, RemainingText and SpeedText.
    CProgressDisplay& Display() { return m_display; }

  public slots:
    // The OK command starts a DSP update instead of closing the window.
    void accept() override;
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private slots:
    // Command routing: every button press arrives here with the button's id. The
    // commands no control sends (1002 counts the image's blocks, 1012 closes the
    // port) reach it from elsewhere, as an invocation of this slot by its name.
    void OnCommand(int id);

  private:
    struct TextBinding {
        int controlId;
        std::function<std::string()> get;
        std::function<void(std::string)> set;
        int maxChars;  // 0: no limit
    };
    static TextBinding Bind(int controlId, SharedText& value, int maxChars = 0);
    static TextBinding Bind(int controlId, std::string& value);

    void CreateControls();
    void OnInitDialog();
    // The window's data exchange, following one binding table. Saving copies the
    // controls into the bound values; false when the percentage text is too long.
    bool SaveControlsToValues();
    void LoadValuesIntoControls();
    // EraseTimer animates the bar, ProgramTimer computes the statistics and plays the
    // completion sound; every tick then shows the bound values.
    void OnTimer(int id);
    // From now on the MainWindow services do nothing and waiting callers return.
    void MakeInert();
    using EngineStart = bool (CUpdateEngine::*)(const std::optional<std::string>&);
    void StartOperation(EngineStart start);
    void Shutdown();
    std::array<TextBinding, 6> TextBindings();
    QString ControlText(int id) const;
    void SetControlText(int id, const QString& text);

    std::vector<CPortInfo> CurrentPorts() const;
    void WatchPorts();

    CPortEnumerator m_enumerator;
    std::vector<CPortInfo> m_leadingPorts;
    CompletionSound m_sound = PlayCompletionSound;
    CProgressDisplay m_display;
    std::map<int, QWidget*> m_controls;
    CPortComboBox* m_portList = nullptr;
    QListWidget* m_logList = nullptr;
    QProgressBar* m_progressBar = nullptr;
    std::map<int, QTimer*> m_timers;
    WindowThreadCalls m_calls;
    bool m_initialised = false;
    // The worker uses both; the engine goes first, so it stops its worker while
    // the link and the window still exist.
    CDeviceLink m_link;
    CUpdateEngine m_engine;
};
