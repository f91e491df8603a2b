// Message-box port: the one way a component tells the user about a failure
// that must be seen ("Open Error", "Unkown Video Format", ...).
//
// The desktop application installs a port that shows a modal box on the GUI
// thread; the command-line tool prints to stderr; tests record the texts.
// Show() may be called from any thread. Ask() puts a yes/no question
// ("replace these files?") to the user and returns true for yes; it blocks
// the calling thread until answered. A port that cannot ask answers no.
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
    virtual bool Ask(std::string_view question) {
        (void)question;
        return false;
    }
};

// Prints "zrf: <text>" lines to stderr.
class StderrMessagePort final : public MessagePort {
public:
    explicit StderrMessagePort(std::string prefix = {}) : prefix_(std::move(prefix)) {}
    void Show(std::string_view text) override;

private:
    std::string prefix_;
};

// Keeps every text shown and every question asked, for tests; questions are
// answered with the value of SetAnswer (no at first).
class RecordingMessagePort final : public MessagePort {
public:
    void Show(std::string_view text) override;
    bool Ask(std::string_view question) override;
    std::vector<std::string> Texts() const;
    std::vector<std::string> Questions() const;
    void SetAnswer(bool yes);
    void Clear();

private:
    mutable std::mutex mutex_;  // guards texts_, questions_ and answer_
    std::vector<std::string> texts_;
    std::vector<std::string> questions_;
    bool answer_ = false;
};

// Discards every text.
class NullMessagePort final : public MessagePort {
public:
    void Show(std::string_view) override {}
};

// The port components use when none was given to them: stderr.
MessagePort& DefaultMessagePort();

}  // namespace zo::platform
