// Helpers for driving the windows and their real modal dialogs from widget tests.
#pragma once

#include "windows/form1.h"
#include "windows/picturebox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

template <typename T = QWidget> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

// Runs act on the next modal dialog once it is open. Call before the click that opens it:
// the dialog's exec() blocks the test until act closes it. The watch gives up after five
// seconds (the test's own checks then report that no dialog came).
inline void onNextModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer(qApp);
    QElapsedTimer started;
    started.start();
    QObject::connect(timer, &QTimer::timeout, timer, [timer, started, act = std::move(act)] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool open = modal && modal->isVisible();
        if (open || started.elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
        }
        if (open)
            act(modal);
    });
    timer->start(10);
}

// Clicks the button of a dialog's button box with the given role.
inline void clickButton(QWidget *dialog, QDialogButtonBox::ButtonRole role)
{
    const auto box = dialog->findChild<QDialogButtonBox *>();
    for (QAbstractButton *b : box ? box->buttons() : QList<QAbstractButton *>())
        if (box->buttonRole(b) == role)
            QTest::mouseClick(b, Qt::LeftButton);
}

// Answers every message box with OK as it shows (unless told not to) and keeps what it said: the
// text of an untitled plain-text stop message, anything else as "(?)", since a message must never
// read what it repeats (a name, a typed entry) as markup. Counts the moments a window is hidden
// while no window of the program is visible: at such a moment a real program would end.
struct Watch : QObject
{
    QStringList said;
    int bareMoments = 0;
    bool answers = true; // false: the test closes the boxes itself
    Watch() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (box && event->type() == QEvent::Show) {
            const bool plain = box->textFormat() == Qt::PlainText && box->windowTitle().isEmpty();
            said.append(plain && box->icon() == QMessageBox::Critical ? box->text()
                                                                      : QStringLiteral("(?)"));
            if (answers)
                QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
        }
        auto *window = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Hide && window && window->isWindow())
            bareMoments +=
                std::ranges::none_of(QApplication::topLevelWidgets(), &QWidget::isVisible);
        return false;
    }
};

// Types text into a widget: Latin-1 as key clicks, anything else as an input method commits it.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x100) {
            QTest::keyClicks(widget, QString(c));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(widget, &commit);
        }
    }
}

// Clicks Start on the puzzle window and types entry into the piece-count box as a player would
// (Cancel when entry is null). Returns what the box showed: title, label, default text and its
// OK caption.
inline QStringList startGame(Form1 &form, const QString &entry)
{
    QStringList seen;
    onNextModal([&seen, entry](QWidget *w) {
        auto *box = qobject_cast<QInputDialog *>(w);
        if (!box)
            return;
        seen = {box->windowTitle(), box->labelText(), box->textValue(), box->okButtonText()};
        auto *line = box->findChild<QLineEdit *>();
        line->selectAll();
        QTest::keyClick(line, Qt::Key_Delete);
        typeText(line, entry);
        clickButton(box,
                    entry.isNull() ? QDialogButtonBox::RejectRole : QDialogButtonBox::AcceptRole);
    });
    QTest::mouseClick(child<QPushButton>(&form, "Command1"), Qt::LeftButton);
    return seen;
}

// Shows a window and waits until it is on screen (and active, when asked).
inline bool showAndWait(QWidget *window, bool active = false)
{
    window->show();
    if (!active)
        return QTest::qWaitForWindowExposed(window);
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// Unloaded windows are destroyed when control returns to the event loop.
inline void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// A widget's whole pixels as the player sees them.
inline QImage screen(QWidget *w, QRect area = {})
{
    return w->grab(area.isNull() ? QRect(QPoint(0, 0), QSize(-1, -1)) : area)
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// What the puzzle window must show: the window as it was before the tiles (with the whole
// picture), then every tile in stacking order laid at its slot with its own pixels and, where
// it reaches past the picture, the background.
inline QImage paintedTiles(Form1 &form, const QImage &before)
{
    const puzzle::BoardState &board = form.board();
    const QImage whole = form.Picture1()->picture();
    QImage expected = before;
    QPainter painter(&expected);
    for (int i = 1; i <= form.tileCount(); ++i) {
        const QRect slot = puzzle::slotRect(board, board.TileOrder[i]);
        const QRect source = puzzle::sourceRect(board, i) & whole.rect();
        painter.fillRect(slot, form.palette().window());
        if (!source.isEmpty()) // copy() of an empty rectangle would copy everything
            painter.drawImage(slot.topLeft(), whole.copy(source));
    }
    return expected;
}

// The window point at the middle of a tile's slot.
inline QPoint tileCentre(const Form1 &form, int tile)
{
    return puzzle::slotRect(form.board(), form.board().TileOrder[tile]).center();
}
