#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "RecordingWindow.h"
#include "TempDir.h"
#include "link/DeviceLink.h"
#include "link/SharedState.h"
#include "update/UpdateEngine.h"
#include "update/UpdateSteps.h"

// The update engine wired as the tool wires it: a recording window, the device link
// living on the test's main thread (which serves its port notifications while a
// worker runs), the engine, and an image directory of the test's own. Shared
// values are reset and every wait is shrunk to `scalePercent` of its design value.
class UpdateRig {
  public:
    // `window` replaces the plain recording window (a subclass that records more).
    explicit UpdateRig(uint32_t scalePercent = 10,
                       std::unique_ptr<RecordingWindow> window = nullptr);
    ~UpdateRig();
    UpdateRig(const UpdateRig&) = delete;
    UpdateRig& operator=(const UpdateRig&) = delete;

    RecordingWindow& Window() { return *m_window; }
    const RecordingWindow& Window() const { return *m_window; }
    CDeviceLink& Link() { return m_link; }
    CUpdateEngine& Engine() { return m_engine; }
    const TempDir& Images() const { return m_images; }
    void WriteImage(const std::string& name, const std::string& content) const {
        m_images.Write(name, content);
    }

    // Presses the button of `mode` with `port` selected (nullopt: none) and serves
    // events until the run has ended. False if no run started or it outlived `limit`.
    bool Press(OperationModeValue mode, const std::optional<std::string>& port,
               std::chrono::milliseconds limit = std::chrono::seconds(120));

    // Opens `port` (switching to 9600 baud) on a worker, runs `work` there with the
    // update steps, and closes the port; events are served meanwhile.
    bool RunSteps(const std::string& port, const std::function<void(CUpdateSteps&)>& work);

  private:
    std::unique_ptr<RecordingWindow> m_window;
    CDeviceLink m_link;
    CUpdateEngine m_engine;
    TempDir m_images;
};
