#include "export/DiagnosticLog.h"

#include <cstdio>
#include <cstdlib>

namespace zo::exporter {

void DebugEnvLog::Write(std::string_view line) {
    static const bool enabled = std::getenv("ZO_DEBUG") != nullptr;
    if (enabled)
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void RecordingDiagnosticLog::Write(std::string_view line) {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
}

std::vector<std::string> RecordingDiagnosticLog::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

DiagnosticLog& DefaultDiagnosticLog() {
    static DebugEnvLog log;
    return log;
}

}  // namespace zo::exporter
