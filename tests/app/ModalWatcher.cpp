#include "ModalWatcher.h"

#include <QApplication>

ModalWatcher::ModalWatcher(std::function<void(QWidget*)> inspect, Target target)
    : m_inspect(std::move(inspect)), m_target(target) {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start(10);
}

ModalWatcher::~ModalWatcher() {
    m_timer.stop();
}

void ModalWatcher::Poll() {
    QWidget* window = m_target == Target::Modal ? QApplication::activeModalWidget()
                                                : QApplication::activePopupWidget();
    if (window == nullptr || !window->isVisible()) {
        return;
    }
    m_timer.stop();
    ++m_seen;
    m_inspect(window);
    window->close();
}
