#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>

// Watches for a modal window (or a popup menu) to open while a test runs a
// blocking call, hands it to `inspect` once and then closes it, so the call returns.
class ModalWatcher {
  public:
    enum class Target { Modal, Popup };

    explicit ModalWatcher(std::function<void(QWidget*)> inspect, Target target = Target::Modal);
    ~ModalWatcher();

    int Seen() const { return m_seen; }

  private:
    void Poll();

    std::function<void(QWidget*)> m_inspect;
    Target m_target;
    QTimer m_timer;
    int m_seen = 0;
};
