#pragma once

#include <functional>
#include <string>

// The port library's diagnostics: failure traces and assertion reports. Every
// report goes through one replaceable handler (stderr by default); none of them is
// ever shown to the operator.
namespace serialdiag {

enum class Kind { Trace, Assertion };

struct Report {
    Kind kind;
    const char* source;  // e.g. "SerialLib/Serial/Serial"
    int line;
    std::string text;  // the trace text, or the expression that failed
};

using Handler = std::function<void(const Report&)>;

// Installs `handler` (an empty one restores the stderr default); returns the previous.
Handler SetHandler(Handler handler);

void Trace(const char* source, int line, std::string text);
void Assert(const char* source, int line, const char* expression);

}  // namespace serialdiag

// Both macros expect a `kTraceSource` constant in the calling file.
#define SERIAL_TRACE(text) ::serialdiag::Trace(kTraceSource, __LINE__, (text))
#define SERIAL_ASSERT(expr) ((expr) ? void(0) : ::serialdiag::Assert(kTraceSource, __LINE__, #expr))
