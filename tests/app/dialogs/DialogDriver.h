// Driving dialogs the way a user does: controls found by their visible text
// or accessible name, modal boxes answered when they appear.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace dialogs_test {

inline QString Plain(QString s) {
    s.remove(QLatin1Char('&'));
    return s;
}

// The visible widget of type T whose text or accessible name is `name`.
template <typename T>
T* Find(QWidget* root, const QString& name) {
    for (T* w : root->findChildren<T*>()) {
        if (!w->isVisibleTo(root))
            continue;
        QString text;
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            text = b->text();
        else if (auto* l = qobject_cast<QLabel*>(w))
            text = l->text();
        if (Plain(text) == name || w->accessibleName() == name)
            return w;
    }
    return nullptr;
}

// Waits (events running) until `done` holds or the deadline passes.
inline bool WaitFor(const std::function<bool()>& done, int ms = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// Answers the next modal dialog other than `except` as it appears: `act`
// gets it (and typically clicks one of its buttons). Texts of message boxes
// are collected in `texts`.
class ModalAnswerer {
public:
    using Action = std::function<void(QWidget*)>;
    void Push(Action act) { actions_.push_back(std::move(act)); }
    QStringList texts;

    // Runs until every pushed action ran (checks every 20 ms).
    void Arm() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || modal == seen_ || actions_.empty())
                return;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                texts << box->text();
            if (!boxesOnly_ || qobject_cast<QMessageBox*>(modal)) {
                seen_ = modal;
                Action act = std::move(actions_.front());
                actions_.erase(actions_.begin());
                // Run from the event loop, so that a box the action opens
                // finds this timer free to answer it.
                QPointer<QWidget> target = modal;
                QTimer::singleShot(0, [act, target] {
                    if (target)
                        act(target);
                });
            }
        });
        timer_.start();
    }
    void BoxesOnly() { boxesOnly_ = true; }
    bool Done() const { return actions_.empty(); }

private:
    std::vector<Action> actions_;
    QTimer timer_;
    QPointer<QWidget> seen_;
    bool boxesOnly_ = false;
};

// Toggles a check box as a user does from the keyboard.
inline void Toggle(QAbstractButton* box) {
    ASSERT_NE(box, nullptr);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
}

// Clicks the message box button with `text` ("OK", "Yes", "No").
inline ModalAnswerer::Action Click(const QString& text) {
    return [text](QWidget* w) {
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
            if (Plain(b->text()) == text) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        ADD_FAILURE() << "no button " << text.toStdString();
    };
}

}  // namespace dialogs_test
