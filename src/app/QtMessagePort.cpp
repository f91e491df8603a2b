#include "app/QtMessagePort.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

QtMessagePort::QtMessagePort(QWidget* owner) : owner_(owner) {}

QString QtMessagePort::Caption() { return QStringLiteral("Zo7R Viewer"); }

void QtMessagePort::Show(std::string_view text) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (QThread::currentThread() == thread()) {
        Present(message);
        return;
    }
    QMetaObject::invokeMethod(this, [this, message] { Present(message); }, Qt::QueuedConnection);
}

bool QtMessagePort::Ask(std::string_view question) {
    const QString text = QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size()));
    if (QThread::currentThread() == thread())
        return Question(text);
    bool yes = false;
    QMetaObject::invokeMethod(this, [this, text, &yes] { yes = Question(text); }, Qt::BlockingQueuedConnection);
    return yes;
}

void QtMessagePort::Present(const QString& text) {
    if (presenter_) {
        presenter_(text);
        return;
    }
    QMessageBox::warning(owner_, Caption(), text);
}

bool QtMessagePort::Question(const QString& text) {
    if (asker_)
        return asker_(text);
    return QMessageBox::question(owner_, Caption(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}
