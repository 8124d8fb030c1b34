// Pictures that come to the puzzle window from elsewhere than the chooser, driven as they come:
// files and pictures dropped on the window (real drag events holding what a file manager or a
// browser offers), Ctrl+V with a picture or a copied file on the clipboard, and the file named on
// the command line, started through what main() uses. Each is decoded by the decoding process;
// a refused one leaves the picture as it was with the chooser's words.
#include "testpictures.h"
#include "testsupport.h"
#include "windows/application.h"
#include "windows/assetfiles.h"
#include "windows/commandline.h"
#include "windows/form1.h"
#include "windows/picturebox.h"
#include "windows/windowregistry.h"

#include "loading/decodejob.h"
#include "loading/limits.h"

#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;
using namespace testpictures;

namespace {

using Formats = QList<std::pair<QString, QByteArray>>;

// What a drag or the clipboard holds: each format with its bytes.
QMimeData *holding(const Formats &formats)
{
    auto *data = new QMimeData;
    for (const auto &[type, bytes] : formats)
        data->setData(type, bytes);
    return data;
}

QByteArray uriList(const QStringList &urls) { return urls.join(u"\r\n"_s).toUtf8() + "\r\n"; }

// The whole picture as the player sees it.
QImage shownPicture(Form1 &form) { return screen(form.Picture1()); }

// Waits for what was dropped or pasted to be opened, the message box closed if one came.
bool settled(Form1 &form)
{
    QCoreApplication::processEvents(); // a drop is opened once it is over
    return QTest::qWaitFor([&form] { return !form.isOpening(); }, 20000);
}

// Sends the drag as a platform would: it enters over the picture, and drops there when entering
// was accepted (or always, with force). Returns whether entering was accepted as a copy.
bool dragOnto(Form1 &form, const QMimeData *data, Qt::DropActions actions, bool force = false)
{
    const QPoint at = form.Picture1()->geometry().center();
    QDragEnterEvent enter(at, actions, data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &enter);
    const bool accepted = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    QDragMoveEvent move(at + QPoint(3, 3), actions, data, Qt::LeftButton, {});
    QApplication::sendEvent(&form, &move);
    if (move.isAccepted() != enter.isAccepted())
        return false;
    if (accepted || force) {
        QDropEvent drop(at + QPoint(3, 3), actions, data, Qt::LeftButton, {});
        QApplication::sendEvent(&form, &drop);
        if (drop.isAccepted() && drop.dropAction() != Qt::CopyAction)
            return false; // never a move: the player's file stays
    }
    return accepted;
}

void pasteInto(Form1 &form)
{
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                : static_cast<QWidget *>(&form),
                    Qt::Key_V, Qt::ControlModifier);
}

} // namespace

class TestOpening : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QImage m_good = quadrants({200, 150});
    QImage m_other = quadrants({120, 90}).mirrored(true, false);

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString url(const QString &name) const { return QUrl::fromLocalFile(path(name)).toString(); }

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY(m_dir.isValid());
        QVERIFY(writeFile(path(u"good.png"_s), encoded(m_good, "png")));
        QVERIFY(writeFile(path(u"圖 片.bmp"_s), encoded(m_other, "bmp")));
        QVERIFY(
            writeFile(path(u"hostile.png"_s), pngClaiming(encoded(m_good, "png"), 100000, 100000)));
        QVERIFY(writeFile(path(u"cut.jpg"_s), encoded(m_good, "jpeg").chopped(20)));
        QVERIFY(QDir(m_dir.path()).mkdir(u"album"_s));
        // The offscreen platform has a clipboard of its own, which these tests need.
        QGuiApplication::clipboard()->setMimeData(holding({{u"image/png"_s, "x"}}));
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->formats(), QStringList{u"image/png"_s});
    }
    void cleanup()
    {
        picture::DecodeJob::setProgram({});
        qunsetenv("PINTU_DECODE_HOOK");
        QGuiApplication::clipboard()->clear();
    }

    // A drop outside a game: the picture shows with Start enabled, as the chooser's confirm has
    // it; a refusal says why in the chooser's words and leaves the window as it was.
    void drop_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<QImage>("shown");    // null: refused
        QTest::addColumn<QString>("message"); // part of the refusal
        const QByteArray png = encoded(m_good, "png");
        QTest::newRow("PNG file") << Formats{{u"text/uri-list"_s, uriList({url(u"good.png"_s)})}}
                                  << m_good << QString();
        QTest::newRow("BMP with a space and Chinese in its name")
            << Formats{{u"text/uri-list"_s, uriList({url(u"圖 片.bmp"_s)})}} << m_other
            << QString();
        QTest::newRow("the first of several files")
            << Formats{{u"text/uri-list"_s, uriList({url(u"good.png"_s), url(u"圖 片.bmp"_s)})}}
            << m_good << QString();
        QTest::newRow("a browser's picture: a web address and the bytes")
            << Formats{{u"text/uri-list"_s, uriList({u"https://example.org/p.png"_s})},
                       {u"image/png"_s, png}}
            << m_good << QString();
        QTest::newRow("PNG claiming 100000 x 100000")
            << Formats{{u"text/uri-list"_s, uriList({url(u"hostile.png"_s)})}} << QImage()
            << u"圖片「hostile.png」太大（100000 × 100000 像素）"_s;
        QTest::newRow("JPEG cut short")
            << Formats{{u"text/uri-list"_s, uriList({url(u"cut.jpg"_s)})}} << QImage()
            << u"無法讀取圖片「cut.jpg」：這個 JPEG 檔案不完整"_s;
        QTest::newRow("a file gone since")
            << Formats{{u"text/uri-list"_s, uriList({url(u"gone.png"_s)})}} << QImage()
            << u"找不到圖片「gone.png」"_s;
        QTest::newRow("a folder") << Formats{{u"text/uri-list"_s, uriList({url(u"album"_s)})}}
                                  << QImage() << u"「album」是資料夾，不是圖片檔案。"_s;
        QTest::newRow("a folder's URL, ending in /")
            << Formats{{u"text/uri-list"_s, uriList({url(u"album"_s) + u'/'})}} << QImage()
            << u"「album」是資料夾"_s;
        QTest::newRow("a folder, then a picture")
            << Formats{{u"text/uri-list"_s, uriList({url(u"album"_s), url(u"good.png"_s)})}}
            << QImage() << u"「album」是資料夾"_s;
        QTest::newRow("a web address alone")
            << Formats{{u"text/uri-list"_s, uriList({u"https://example.org/p.png"_s})}} << QImage()
            << u"「https://example.org/p.png」不是這台電腦上的檔案"_s;
        QTest::newRow("a file on another machine")
            << Formats{{u"text/uri-list"_s, uriList({u"file://server/p.png"_s})}} << QImage()
            << u"不是這台電腦上的檔案"_s;
        QTest::newRow("garbage as a PNG") << Formats{{u"image/png"_s, noise(3000, 5)}} << QImage()
                                          << u"無法讀取圖片「拖放的圖片」：檔案已損壞，或不是"_s;
    }
    void drop()
    {
        QFETCH(Formats, formats);
        QFETCH(QImage, shown);
        QFETCH(QString, message);

        Form1 form;
        form.setStartEnabled(false); // as after a cancelled count: a new picture enables it
        QVERIFY(showAndWait(&form));
        const QImage before = shownPicture(form);
        Watch watch;
        const std::unique_ptr<QMimeData> data(holding(formats));
        QVERIFY(dragOnto(form, data.get(), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction));
        QVERIFY(settled(form));
        QCOMPARE(watch.said.size(), shown.isNull() ? 1 : 0);
        if (shown.isNull()) {
            QVERIFY2(watch.said.first().contains(message), qPrintable(watch.said.first()));
            QCOMPARE(shownPicture(form), before);
            QVERIFY(!child(&form, "Command1")->isEnabled());
        } else {
            QCOMPARE(shownPicture(form), shown.convertToFormat(QImage::Format_RGB32));
            QVERIFY(child(&form, "Command1")->isEnabled());
        }
        QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);
    }

    // Entering tells the pointer whether a drop would be taken: only a copy, only of what may be
    // a picture or a file, and never during a game.
    void dragEnter_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<Qt::DropActions>("actions");
        QTest::addColumn<bool>("game");
        QTest::addColumn<bool>("taken");
        const Formats file{{u"text/uri-list"_s, uriList({url(u"good.png"_s)})}};
        const auto all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QTest::newRow("a file") << file << all << false << true;
        QTest::newRow("a file that may only move")
            << file << Qt::DropActions(Qt::MoveAction) << false << false;
        QTest::newRow("a picture's bytes")
            << Formats{{u"image/webp"_s, "RIFF"}} << all << false << true;
        QTest::newRow("a file manager's copied files")
            << Formats{{u"x-special/gnome-copied-files"_s, "copy\n" + url(u"good.png"_s).toUtf8()}}
            << all << false << true;
        QTest::newRow("text") << Formats{{u"text/plain"_s, "good.png"}} << all << false << false;
        QTest::newRow("a picture in a form the game does not read")
            << Formats{{u"image/x-portable-pixmap"_s, "P6"}} << all << false << false;
        QTest::newRow("a file during a game") << file << all << true << false;
    }
    void dragEnter()
    {
        QFETCH(Formats, formats);
        QFETCH(Qt::DropActions, actions);
        QFETCH(bool, game);
        QFETCH(bool, taken);

        Form1 form;
        QVERIFY(showAndWait(&form));
        if (game)
            form.startGame(u"9"_s);
        const std::unique_ptr<QMimeData> data(holding(formats));
        const QPoint at = form.Picture1()->geometry().center();
        QDragEnterEvent enter(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(&form, &enter);
        QCOMPARE(enter.isAccepted(), taken);
        if (taken)
            QCOMPARE(enter.dropAction(), Qt::CopyAction);
    }

    // During a game a drop, even one the platform delivers after a refused entry, and a paste do
    // nothing: the game goes on as it was.
    void duringGame()
    {
        Form1 form;
        form.setRandomSource([] { return 0.5; });
        QVERIFY(showAndWait(&form, true));
        startGame(form, u"16"_s);
        QCOMPARE(form.tileCount(), 16);
        const QList<qint16> order = form.board().TileOrder;
        const QImage board = shownPicture(form);
        Watch watch;
        const std::unique_ptr<QMimeData> data(
            holding({{u"text/uri-list"_s, uriList({url(u"good.png"_s)})}}));
        QVERIFY(!dragOnto(form, data.get(), Qt::CopyAction, true));
        QGuiApplication::clipboard()->setMimeData(
            holding({{u"image/png"_s, encoded(m_good, "png")}}));
        pasteInto(form);
        QVERIFY(!form.isOpening());
        QTest::qWait(300);
        QVERIFY(!form.isOpening());
        QCOMPARE(watch.said, QStringList());
        QCOMPARE(form.tileCount(), 16);
        QCOMPARE(form.board().TileOrder, order);
        QCOMPARE(shownPicture(form), board);
        // And the game plays on: a drag swaps two tiles.
        QTest::mousePress(form.Picture1(), Qt::LeftButton, {},
                          form.Picture1()->tileRect(1).center());
        QTest::mouseRelease(form.Picture1(), Qt::LeftButton, {},
                            form.Picture1()->tileRect(2).center());
        QCOMPARE(form.board().TileOrder[1], order[2]);
    }

    // Ctrl+V takes the clipboard's picture bytes in the most faithful form it offers, or the file
    // a file manager copied; what is not a picture is refused, named as the clipboard's.
    void paste_data()
    {
        QTest::addColumn<Formats>("formats");
        QTest::addColumn<QImage>("shown");
        QTest::addColumn<QString>("message");
        const QByteArray png = encoded(m_good, "png");
        QTest::newRow("PNG bytes") << Formats{{u"image/png"_s, png}} << m_good << QString();
        QTest::newRow("PNG rather than the JPEG beside it")
            << Formats{{u"image/jpeg"_s, encoded(m_other, "jpeg")}, {u"image/png"_s, png}} << m_good
            << QString();
        QTest::newRow("BMP rather than JPEG") << Formats{{u"image/jpeg"_s, encoded(m_good, "jpeg")},
                                                         {u"image/bmp"_s, encoded(m_other, "bmp")}}
                                              << m_other << QString();
        QTest::newRow("a file copied in GNOME's file manager")
            << Formats{{u"x-special/gnome-copied-files"_s,
                        "copy\n" +
                            QUrl::toPercentEncoding(path(u"圖 片.bmp"_s), "/").prepend("file://")}}
            << m_other << QString();
        QTest::newRow("a file copied in KDE's file manager")
            << Formats{{u"text/uri-list"_s, uriList({url(u"good.png"_s)})},
                       {u"application/x-kde-cutselection"_s, "0"}}
            << m_good << QString();
        QTest::newRow("garbage as a PNG") << Formats{{u"image/png"_s, noise(3000, 9)}} << QImage()
                                          << u"無法讀取圖片「剪貼簿中的圖片」：檔案已損壞"_s;
        QTest::newRow("PNG claiming 100000 x 100000")
            << Formats{{u"image/png"_s, pngClaiming(png, 100000, 100000)}} << QImage()
            << u"圖片「剪貼簿中的圖片」太大（100000 × 100000 像素）"_s;
        QByteArray huge(picture::MaxFileBytes + 1, '\0');
        huge.replace(0, png.size(), png);
        QTest::newRow("past the file limit") << Formats{{u"image/png"_s, huge}} << QImage()
                                             << u"圖片檔「剪貼簿中的圖片」太大（超過 256 MiB）"_s;
        QTest::newRow("a copied folder")
            << Formats{{u"text/uri-list"_s, uriList({url(u"album"_s)})}} << QImage()
            << u"「album」是資料夾"_s;
        QTest::newRow("text") << Formats{{u"text/plain"_s, "hello"}} << QImage()
                              << u"剪貼簿中沒有圖片，也沒有複製的圖片檔案。"_s;
    }
    void paste()
    {
        QFETCH(Formats, formats);
        QFETCH(QImage, shown);
        QFETCH(QString, message);

        Form1 form;
        form.setStartEnabled(false);
        QVERIFY(showAndWait(&form, true));
        const QImage before = shownPicture(form);
        QGuiApplication::clipboard()->setMimeData(holding(formats));
        Watch watch;
        pasteInto(form);
        QVERIFY(settled(form));
        QCOMPARE(watch.said.size(), shown.isNull() ? 1 : 0);
        if (shown.isNull()) {
            QVERIFY2(watch.said.first().contains(message), qPrintable(watch.said.first()));
            QCOMPARE(shownPicture(form), before);
            QVERIFY(!child(&form, "Command1")->isEnabled());
        } else {
            QCOMPARE(shownPicture(form), shown.convertToFormat(QImage::Format_RGB32));
            QVERIFY(child(&form, "Command1")->isEnabled());
        }
    }

    // The pasted bytes are decoded by the decoding process, not by the game: one that crashes on
    // them is what the player hears of.
    void pasteDecodedApart()
    {
        picture::DecodeJob::setProgram(QStringLiteral(PINTU_DECODE_HOOKS));
        qputenv("PINTU_DECODE_HOOK", "crash");
        Form1 form;
        QVERIFY(showAndWait(&form, true));
        const QImage before = shownPicture(form);
        QGuiApplication::clipboard()->setMimeData(
            holding({{u"image/png"_s, encoded(m_good, "png")}}));
        Watch watch;
        pasteInto(form);
        QVERIFY(settled(form));
        QCOMPARE(watch.said.size(), 1);
        QVERIFY2(watch.said.first().contains(u"讀取這張圖片的程式意外中止了"_s),
                 qPrintable(watch.said.first()));
        QCOMPARE(shownPicture(form), before);
    }

    // While a dropped picture is decoded the pointer is busy and the window goes on; a newer
    // drop replaces it, and starting a game drops it: what it would have shown never comes.
    void whileDecoding_data()
    {
        QTest::addColumn<bool>("byGame"); // else by a second drop
        QTest::newRow("a second drop") << false;
        QTest::newRow("a game started") << true;
    }
    void whileDecoding()
    {
        QFETCH(bool, byGame);
        picture::DecodeJob::setProgram(QStringLiteral(PINTU_DECODE_HOOKS));
        qputenv("PINTU_DECODE_HOOK", "hang");
        Form1 form;
        QVERIFY(showAndWait(&form, true));
        const QImage before = shownPicture(form);
        Watch watch;
        const std::unique_ptr<QMimeData> first(
            holding({{u"text/uri-list"_s, uriList({url(u"good.png"_s)})}}));
        QVERIFY(dragOnto(form, first.get(), Qt::CopyAction));
        QCoreApplication::processEvents();
        QVERIFY(form.isOpening());
        QCOMPARE(form.cursor().shape(), Qt::BusyCursor);
        QTest::qWait(200);
        QVERIFY(form.isOpening());
        QCOMPARE(shownPicture(form), before); // painted meanwhile, as it was

        picture::DecodeJob::setProgram({});
        qunsetenv("PINTU_DECODE_HOOK");
        if (byGame) {
            startGame(form, u"9"_s);
            QCOMPARE(form.tileCount(), 9);
            QVERIFY(!form.isOpening());
            QCOMPARE(form.cursor().shape(), Qt::ArrowCursor);
            QTest::qWait(300);
            QCOMPARE(form.Picture1()->picture().size(), assets::defaultPicture().size());
        } else {
            const std::unique_ptr<QMimeData> second(
                holding({{u"text/uri-list"_s, uriList({url(u"圖 片.bmp"_s)})}}));
            QVERIFY(dragOnto(form, second.get(), Qt::CopyAction));
            QVERIFY(settled(form));
            QCOMPARE(shownPicture(form), m_other.convertToFormat(QImage::Format_RGB32));
            QTest::qWait(300);
            QCOMPARE(shownPicture(form), m_other.convertToFormat(QImage::Format_RGB32));
        }
        QCOMPARE(watch.said, QStringList());
    }

    // pintu FILE, through what main() does: the window comes at once with the default picture
    // and a usable Start, then shows the file's picture, or says why not over the default one.
    void commandLine_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QImage>("shown");
        QTest::addColumn<QString>("message");
        QTest::newRow("a relative path") << u"good.png"_s << m_good << QString();
        QTest::newRow("a file URL") << url(u"圖 片.bmp"_s) << m_other << QString();
        QTest::newRow("a PNG claiming 100000 x 100000")
            << u"hostile.png"_s << QImage() << u"圖片「hostile.png」太大"_s;
        QTest::newRow("a JPEG cut short") << u"cut.jpg"_s << QImage() << u"這個 JPEG 檔案不完整"_s;
        QTest::newRow("no such file") << u"gone.png"_s << QImage() << u"找不到圖片「gone.png」"_s;
        QTest::newRow("a web address")
            << u"https://example.org/p.png"_s << QImage() << u"不是這台電腦上的檔案"_s;
    }
    void commandLine()
    {
        QFETCH(QString, argument);
        QFETCH(QImage, shown);
        QFETCH(QString, message);

        const CommandLine command = readCommandLine({argument}, m_dir.path());
        QCOMPARE(command.action, CommandLine::Action::Play);
        Watch watch;
        WindowRegistry windows;
        showPuzzle(windows, command.picture);
        Form1 *form = windows.form1();
        QVERIFY(form->isVisible());
        QCOMPARE(form->Picture1()->picture(), assets::defaultPicture());
        QVERIFY(child(form, "Command1")->isEnabled());
        QVERIFY(QTest::qWaitForWindowExposed(form));
        const QImage before = shownPicture(*form);
        QTRY_VERIFY_WITH_TIMEOUT(!watch.said.isEmpty() || shownPicture(*form) != before, 20000);
        QVERIFY(settled(*form));
        QCOMPARE(watch.said.size(), shown.isNull() ? 1 : 0);
        if (shown.isNull()) {
            QVERIFY2(watch.said.first().contains(message), qPrintable(watch.said.first()));
            QCOMPARE(shownPicture(*form), before);
        } else {
            QCOMPARE(shownPicture(*form), shown.convertToFormat(QImage::Format_RGB32));
        }
        QVERIFY(child(form, "Command1")->isEnabled());
    }
};

QTEST_MAIN(TestOpening)
#include "tst_opening.moc"
