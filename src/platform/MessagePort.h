// Message-box port: the one way a component tells the user about a failure
// that must be seen ("Open Error", "Unkown Video Format", ...).
//
// The desktop application installs a port that shows a modal box on the GUI
// thread; the command-line tool prints to stderr; tests record the texts.
// Show() may be called from any thread.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace zo::platform {

class MessagePort {
public:
    virtual ~MessagePort() = default;
    virtual void Show(std::string_view text) = 0;
};

// Prints "zrf: <text>" lines to stderr.
class StderrMessagePort final : public MessagePort {
public:
    explicit StderrMessagePort(std::string prefix = {}) : prefix_(std::move(prefix)) {}
    void Show(std::string_view text) override;

private:
    std::string prefix_;
};

// Keeps every text shown, for tests.
class RecordingMessagePort final : public MessagePort {
public:
    void Show(std::string_view text) override;
    std::vector<std::string> Texts() const;
    void Clear();

private:
    mutable std::mutex mutex_;  // guards texts_
    std::vector<std::string> texts_;
};

// Discards every text.
class NullMessagePort final : public MessagePort {
public:
    void Show(std::string_view) override {}
};

// The port components use when none was given to them: stderr.
MessagePort& DefaultMessagePort();

}  // namespace zo::platform
