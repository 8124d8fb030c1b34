#include "messagebox.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

// Qt names an untitled window after the program; on X11 the name is set anew here, empty.
void clearTitleBar(QWindow *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !window || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    xcb_connection_t *connection = x11->connection();
    if (!connection)
        return;
    const auto atom = [connection](const char *name) {
        const xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    };
    const auto id = xcb_window_t(window->winId());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        0, "");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, atom("_NET_WM_NAME"),
                        atom("UTF8_STRING"), 8, 0, "");
    xcb_flush(connection);
}

} // namespace

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    // Once the box is shown: its native window exists and has the name Qt gave it.
    struct OnShow : QObject
    {
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Show)
                clearTitleBar(static_cast<QWidget *>(watched)->windowHandle());
            return false;
        }
    } onShow;
    if (title.isEmpty())
        box.installEventFilter(&onShow);
    box.exec();
}
