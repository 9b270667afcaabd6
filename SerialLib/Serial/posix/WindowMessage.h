#pragma once

#include <cstdint>

// A process-wide message id for `name`: the same name always gives the same id.
// The ids are Qt event types (QEvent::registerEventType), so a posted notification
// is an ordinary QEvent of that type. Usable before any QCoreApplication exists.
uint32_t RegisterWindowMessage(const char* name);
