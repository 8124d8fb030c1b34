// Helpers for driving real modal dialogs from widget tests.
#pragma once

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// Runs act on the next modal dialog once it is open. Call before the click that opens it:
// the dialog's exec() blocks the test until act closes it. The watch gives up after five
// seconds (the test's own checks then report that no dialog came); delete the returned timer
// to stop watching sooner, so that a later test's dialog is not answered by this one.
inline QPointer<QTimer> onNextModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer(qApp);
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, started, act = std::move(act)] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (started->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return timer;
}

// The button of a dialog's button box with the given role.
inline QPushButton *dialogButton(QWidget *dialog, QDialogButtonBox::ButtonRole role)
{
    const auto box = dialog->findChild<QDialogButtonBox *>();
    if (!box)
        return nullptr;
    for (QAbstractButton *b : box->buttons()) {
        if (box->buttonRole(b) == role)
            return qobject_cast<QPushButton *>(b);
    }
    return nullptr;
}

inline void clickButton(QWidget *dialog, QDialogButtonBox::ButtonRole role)
{
    if (QPushButton *b = dialogButton(dialog, role))
        QTest::mouseClick(b, Qt::LeftButton);
}
