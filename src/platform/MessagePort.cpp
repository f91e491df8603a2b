#include "platform/MessagePort.h"

#include <cstdio>

namespace zo::platform {

void StderrMessagePort::Show(std::string_view text) {
    // One fprintf per message keeps lines from different threads whole.
    if (prefix_.empty())
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    else
        std::fprintf(stderr, "%s: %.*s\n", prefix_.c_str(), static_cast<int>(text.size()), text.data());
}

void RecordingMessagePort::Show(std::string_view text) {
    std::lock_guard lock(mutex_);
    texts_.emplace_back(text);
}

bool RecordingMessagePort::Ask(std::string_view question) {
    std::lock_guard lock(mutex_);
    questions_.emplace_back(question);
    return answer_;
}

std::vector<std::string> RecordingMessagePort::Questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
}

void RecordingMessagePort::SetAnswer(bool yes) {
    std::lock_guard lock(mutex_);
    answer_ = yes;
}

std::vector<std::string> RecordingMessagePort::Texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
}

void RecordingMessagePort::Clear() {
    std::lock_guard lock(mutex_);
    texts_.clear();
    questions_.clear();
}

MessagePort& DefaultMessagePort() {
    static StderrMessagePort port;
    return port;
}

}  // namespace zo::platform
