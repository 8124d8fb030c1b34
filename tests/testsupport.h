// Helpers for driving real modal dialogs from widget tests.
#pragma once

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

// Runs act on the next modal dialog once it is open. Call before the click that opens it:
// the dialog's exec() blocks the test until act closes it.
inline void onNextModal(std::function<void(QWidget *)> act)
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [act = std::move(act), timer, poll] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            act(modal);
            *poll = nullptr; // break the cycle
            return;
        }
        if (timer->elapsed() > 5000) {
            *poll = nullptr;
            return; // the test's own check then reports that no dialog came
        }
        QTimer::singleShot(10, *poll);
    };
    QTimer::singleShot(0, *poll);
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
