// Start-up to the first painted frame, for bench/startup.py: "pintu" starts the game as its
// executable does; "bare" shows an empty Qt window of the same size. Either way the program
// prints the monotonic clock (nanoseconds) once the window's first frame has been painted and
// handed to the window system, and quits.
#include "windows/application.h"
#include "windows/form1.h"
#include "windows/windowregistry.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

// Reports after the first paint of the watched window, from the next turn of the event loop
// (the frame has been flushed by then).
class FirstFrame : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            QTimer::singleShot(0, qApp, [] {
                timespec now{};
                clock_gettime(CLOCK_MONOTONIC, &now);
                std::printf("%lld\n", qlonglong(now.tv_sec) * 1000000000LL + now.tv_nsec);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    const bool bare = argc > 1 && qstrcmp(argv[1], "bare") == 0;
    QApplication app(argc, argv);
    FirstFrame watch;
    if (bare) {
        QWidget window;
        window.setGeometry(95, 46, 671, 573);
        window.installEventFilter(&watch);
        window.show();
        return QApplication::exec();
    }
    setUpApplication(app);
    WindowRegistry windows;
    windows.form1()->installEventFilter(&watch);
    windows.form1()->show();
    return QApplication::exec();
}
