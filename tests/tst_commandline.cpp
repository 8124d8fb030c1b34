// The command line as desktop programs read it: a file to start with (a path or a file:// URL),
// --help and --version, mistakes, and Qt's options left to Qt; read here as main() reads it,
// then by running the program itself with no display.
#include "windows/commandline.h"

#include "loading/filenames.h"

#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;
using Action = CommandLine::Action;

Q_DECLARE_METATYPE(CommandLine::Action)

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Action>("action");
        QTest::addColumn<QString>("path");   // the file to open
        QTest::addColumn<QString>("saying"); // in the text, or else the picture's name or refusal
        QTest::addColumn<QList<int>>("qt");  // the arguments handed to Qt
        QTest::newRow("nothing") << QStringList() << Action::Play << QString() << QString()
                                 << QList<int>();
        QTest::newRow("relative path") << QStringList{u"pics/a.png"_s} << Action::Play
                                       << u"/home/p/pics/a.png"_s << u"a.png"_s << QList<int>();
        QTest::newRow("absolute path") << QStringList{u"/tmp/b.jpg"_s} << Action::Play
                                       << u"/tmp/b.jpg"_s << u"b.jpg"_s << QList<int>();
        QTest::newRow("file URL with an escaped space and Chinese")
            << QStringList{u"file:///tmp/%E5%9C%96%20x.png"_s} << Action::Play << u"/tmp/圖 x.png"_s
            << u"圖 x.png"_s << QList<int>();
        QTest::newRow("file URL as typed, unencoded")
            << QStringList{u"FILE:///tmp/圖 x.png"_s} << Action::Play << u"/tmp/圖 x.png"_s
            << u"圖 x.png"_s << QList<int>();
        QTest::newRow("file URL on localhost")
            << QStringList{u"file://localhost/tmp/c.gif"_s} << Action::Play << u"/tmp/c.gif"_s
            << u"c.gif"_s << QList<int>();
        QTest::newRow("file URL of a name that is not UTF-8")
            << QStringList{u"file:///tmp/%A5%AB.bmp"_s} << Action::Play
            << picture::fromNative("/tmp/\xA5\xAB.bmp") << u".bmp"_s << QList<int>();
        QTest::newRow("file URL of another machine")
            << QStringList{u"file://server/share/d.png"_s} << Action::Play << QString()
            << u"「file://server/share/d.png」不是這台電腦上的檔案"_s << QList<int>();
        QTest::newRow("web address")
            << QStringList{u"https://example.org/e.png"_s} << Action::Play << QString()
            << u"「https://example.org/e.png」不是這台電腦上的檔案"_s << QList<int>();
        QTest::newRow("web address holding a line break and a terminal's escape")
            << QStringList{u"https://a.example/\n\x1B]0;x\x07.png"_s} << Action::Play << QString()
            << u"「https://a.example/␊␛]0;x␇.png」不是這台電腦上的檔案"_s << QList<int>();
        QTest::newRow("after --, names like options")
            << QStringList{u"--"_s, u"-style"_s} << Action::Play << u"/home/p/-style"_s
            << u"-style"_s << QList<int>();
        QTest::newRow("Qt's options around a file")
            << QStringList{u"-platform"_s, u"offscreen"_s, u"f.png"_s, u"--style=fusion"_s,
                           u"-reverse"_s}
            << Action::Play << u"/home/p/f.png"_s << u"f.png"_s << QList<int>{0, 1, 3, 4};
        QTest::newRow("--help") << QStringList{u"--help"_s} << Action::Help << QString()
                                << u"用法：pintu [選項] [圖片檔]"_s << QList<int>();
        QTest::newRow("-h, a file and Qt's option beside it")
            << QStringList{u"a.png"_s, u"-h"_s, u"-style"_s, u"fusion"_s} << Action::Help
            << QString() << u"--version"_s << QList<int>();
        QTest::newRow("--version") << QStringList{u"--version"_s} << Action::Version << QString()
                                   << u"pintu " PINTU_VERSION "\n"_s << QList<int>();
        QTest::newRow("-v") << QStringList{u"-v"_s} << Action::Version << QString()
                            << u"pintu " PINTU_VERSION "\n"_s << QList<int>();
        QTest::newRow("unknown long option")
            << QStringList{u"--fullscreen"_s} << Action::Mistake << QString()
            << u"pintu：不認得的選項「--fullscreen」。\n請執行「pintu --help」查看用法。\n"_s
            << QList<int>();
        QTest::newRow("unknown short option") << QStringList{u"-x"_s, u"a.png"_s} << Action::Mistake
                                              << QString() << u"「-x」"_s << QList<int>();
        QTest::newRow("unknown option beside --help")
            << QStringList{u"--help"_s, u"--nope"_s} << Action::Mistake << QString()
            << u"「--nope」"_s << QList<int>();
        QTest::newRow("an option that turns text around")
            << QStringList{u"--\u202Eabc"_s} << Action::Mistake << QString()
            << u"「\u2068--\u202Eabc\u2069」"_s << QList<int>();
        QTest::newRow("two files")
            << QStringList{u"a.png"_s, u"b.png"_s} << Action::Mistake << QString()
            << u"一次只能開啟一個圖片檔，卻給了 2 個"_s << QList<int>();
        QTest::newRow("a second file after --")
            << QStringList{u"a.png"_s, u"--"_s, u"-b.png"_s} << Action::Mistake << QString()
            << u"卻給了 2 個"_s << QList<int>();
    }
    void read()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Action, action);
        QFETCH(QString, path);
        QFETCH(QString, saying);
        QFETCH(QList<int>, qt);
        const CommandLine command = readCommandLine(arguments, u"/home/p"_s);
        QCOMPARE(command.action, action);
        QCOMPARE(command.picture.path, path);
        QVERIFY(command.picture.bytes.isEmpty());
        QCOMPARE(command.qtArguments, qt);
        QCOMPARE(command.exitCode(), action == Action::Mistake ? 2 : 0);
        const QString shown = action != Action::Play ? command.text
                              : path.isEmpty()       ? command.picture.refusal
                                                     : command.picture.name;
        QVERIFY2(shown.contains(saying), qPrintable(shown));
        if (action != Action::Play)
            QVERIFY(command.picture.isEmpty());
        else if (!path.isEmpty())
            QVERIFY(command.picture.refusal.isEmpty());
    }

    // The program itself: help and the version on standard output without a display, mistakes
    // on standard error with status 2, also once Qt has taken its own options out.
    void program_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("error");
        QTest::newRow("--help") << QStringList{u"--help"_s} << 0 << u"用法：pintu"_s << QString();
        QTest::newRow("--version")
            << QStringList{u"--version"_s} << 0 << u"pintu " PINTU_VERSION "\n"_s << QString();
        QTest::newRow("unknown option")
            << QStringList{u"--bogus"_s} << 2 << QString() << u"不認得的選項「--bogus」"_s;
        QTest::newRow("two files")
            << QStringList{u"a.png"_s, u"b.png"_s} << 2 << QString() << u"卻給了 2 個"_s;
        QTest::newRow("Qt's option, then --version")
            << QStringList{u"-platform"_s, u"offscreen"_s, u"--version"_s} << 0
            << u"pintu " PINTU_VERSION "\n"_s << QString();
        QTest::newRow("Qt's option, then a mistake")
            << QStringList{u"-style"_s, u"fusion"_s, u"--bogus"_s} << 2 << QString()
            << u"「--bogus」"_s;
    }
    void program()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, error);
        QProcess pintu;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No display at all: a program that needed one would fail to start here.
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        pintu.setProcessEnvironment(environment);
        pintu.start(QStringLiteral(PINTU_PROGRAM), arguments);
        QVERIFY(pintu.waitForFinished(20000));
        const QString said = QString::fromUtf8(pintu.readAllStandardOutput());
        const QString complained = QString::fromUtf8(pintu.readAllStandardError());
        QCOMPARE(pintu.exitStatus(), QProcess::NormalExit);
        QCOMPARE(pintu.exitCode(), status);
        if (out.isEmpty())
            QCOMPARE(said, QString());
        else
            QVERIFY2(said.startsWith(out), qPrintable(said));
        if (error.isEmpty())
            QCOMPARE(complained, QString());
        else
            QVERIFY2(complained.contains(error), qPrintable(complained));
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
