// DiagnosticLog: where the export writes lines meant for developers, not
// users. The default log prints them on stderr only when the environment
// variable ZO_DEBUG is set; tests record them.
//
// Threads: Write may be called from any thread.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zo::exporter {

class DiagnosticLog {
public:
    virtual ~DiagnosticLog() = default;
    virtual void Write(std::string_view line) = 0;
};

class DebugEnvLog final : public DiagnosticLog {
public:
    void Write(std::string_view line) override;
};

class RecordingDiagnosticLog final : public DiagnosticLog {
public:
    void Write(std::string_view line) override;
    std::vector<std::string> Lines() const;

private:
    mutable std::mutex mutex_;  // guards lines_
    std::vector<std::string> lines_;
};

DiagnosticLog& DefaultDiagnosticLog();

}  // namespace zo::exporter
