#include "SerialLib/Serial/posix/WindowMessage.h"

#include <QEvent>
#include <map>
#include <mutex>
#include <string>

uint32_t RegisterWindowMessage(const char* name) {
    static std::mutex mutex;
    static std::map<std::string, uint32_t> ids;
    std::lock_guard lock(mutex);
    auto [it, added] = ids.try_emplace(name, 0);
    if (added) {
        it->second = static_cast<uint32_t>(QEvent::registerEventType());
    }
    return it->second;
}
