#include "SerialLib/Serial/Diagnostics.h"

#include <cstdio>
#include <mutex>

namespace serialdiag {
namespace {

void WriteToStderr(const Report& report) {
    const char* label = report.kind == Kind::Assertion ? "assertion failed: " : "warning: ";
    std::fprintf(stderr, "%s(%d) : %s%s%s", report.source, report.line, label, report.text.c_str(),
                 report.kind == Kind::Assertion ? "\n" : "");
}

std::mutex& HandlerMutex() {
    static std::mutex mutex;
    return mutex;
}

Handler& CurrentHandler() {
    static Handler handler = WriteToStderr;
    return handler;
}

void Deliver(const Report& report) {
    std::lock_guard lock(HandlerMutex());
    CurrentHandler()(report);
}

}  // namespace

Handler SetHandler(Handler handler) {
    std::lock_guard lock(HandlerMutex());
    Handler previous = std::move(CurrentHandler());
    CurrentHandler() = handler ? std::move(handler) : Handler(WriteToStderr);
    return previous;
}

void Trace(const char* source, int line, std::string text) {
    Deliver(Report{Kind::Trace, source, line, std::move(text)});
}

void Assert(const char* source, int line, const char* expression) {
    Deliver(Report{Kind::Assertion, source, line, expression});
}

}  // namespace serialdiag
