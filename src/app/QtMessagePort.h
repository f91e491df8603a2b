// QtMessagePort: the engine's message port on the desktop. A text raised on
// the user-interface thread is shown at once in a modal box; a text raised
// by a worker is queued to the user-interface thread and the worker goes on
// without waiting. A question waits for the answer, from a worker too: only
// the export's replace question is asked that way, and its thread is built
// to wait.
//
// Tests replace the boxes with a presenter and an asker of their own.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

#include "platform/MessagePort.h"

class QtMessagePort : public QObject, public zo::platform::MessagePort {
    Q_OBJECT
public:
    using Presenter = std::function<void(const QString& text)>;
    using Asker = std::function<bool(const QString& question)>;

    // Must be made on the user-interface thread; `owner` parents the boxes.
    explicit QtMessagePort(QWidget* owner = nullptr);

    void Show(std::string_view text) override;
    bool Ask(std::string_view question) override;

    void SetOwner(QWidget* owner) { owner_ = owner; }
    void SetPresenter(Presenter presenter) { presenter_ = std::move(presenter); }
    void SetAsker(Asker asker) { asker_ = std::move(asker); }
    const Presenter& GetPresenter() const { return presenter_; }

    // The caption of every box.
    static QString Caption();

private:
    void Present(const QString& text);
    bool Question(const QString& text);

    QPointer<QWidget> owner_;
    Presenter presenter_;
    Asker asker_;
};
