#pragma once

#include <QDialog>
#include <array>
#include <cstdint>
#include <map>
#include <string>

#include "app/PortProbe.h"
#include "app/WindowThreadCalls.h"
#include "link/MainWindow.h"
#include "link/SharedState.h"

class QComboBox;
class QListWidget;
class QProgressBar;
class QTimer;

// The main window: port selection, the three operation buttons, Exit, the
// statistics fields, the progress bar with its percentage and the log list.
// It is fixed in size and laid out from the dialog-unit table in its source.
//
// The MainWindow services may be called from any thread: off the window thread
// they run on it and return once done. MakeInert() (done by OnCancel and the
// destructor) turns them into no-ops and releases every caller still waiting.
class CTovraneDlg : public QDialog, public MainWindow {
    Q_OBJECT

  public:
    explicit CTovraneDlg(PortProbe probe = PortOpens, QWidget* parent = nullptr);
    ~CTovraneDlg() override;

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

    // Lists the ports that open, in probing order, and selects the first.
    void EnumeratePorts();

    // The window's data exchange, following one binding table. Saving copies the
    // controls into the bound values; false when the percentage text is too long.
    bool SaveControlsToValues();
    void LoadValuesIntoControls();

    // Command routing: every button press arrives here with the button's id.
    void OnCommand(int id);
    void OnUpdateDsp();
    void OnUpdateMcu();
    void OnReadVersion();
    // "Exit", Esc and the close box: the window ends with the cancel result.
    void OnCancel();
    void OnTimer(int id);
    // System commands; IDM_ABOUTBOX (low four bits ignored) shows the About box.
    void OnSysCommand(unsigned id);

    // From now on the MainWindow services do nothing and waiting callers return.
    void MakeInert();

    // The port the next worker opens and whether it switches to 9600 baud.
    std::string m_strPortName;
    bool m_bSwitchBaud = false;

    // The window's own texts; the display timer writes them.
    SharedText ElapsedText;
    SharedText RemainingText;
    SharedText SpeedText;

  public slots:
    // The OK command starts a DSP update instead of closing the window.
    void accept() override;
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    struct TextBinding {
        int controlId;
        SharedText* value;
        int maxChars;  // 0: no limit
    };

    void CreateControls();
    void OnInitDialog();
    void StartOperation(int32_t mode, bool switchBaud);
    std::array<TextBinding, 6> TextBindings();
    QString ControlText(int id) const;
    void SetControlText(int id, const QString& text);

    PortProbe m_probe;
    std::map<int, QWidget*> m_controls;
    QComboBox* m_portList = nullptr;
    QListWidget* m_logList = nullptr;
    QProgressBar* m_progressBar = nullptr;
    std::map<int, QTimer*> m_timers;
    WindowThreadCalls m_calls;
    bool m_initialised = false;
};
