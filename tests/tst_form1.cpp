// The puzzle window driven as a player would: its layout, the start prompt and the tiles.
#include "testpictures.h"
#include "testsupport.h"
#include "windows/application.h"
#include "windows/assetfiles.h"
#include "windows/form1.h"
#include "windows/form1layout.h"
#include "windows/picturebox.h"

#include "puzzle/gamestart.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using testpictures::writeFile;

class TestForm1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY2(QFile::exists(assets::dragIconPath()), "drag1pg.ico must lie beside the test");
    }

    // The window as it opens: place, icon, background, the whole picture, the three commands
    // (caption, place, face colour, pointing hand, font), focus and tab order.
    void window()
    {
        Form1 form;
        QVERIFY(showAndWait(&form, true));
        QCOMPARE(form.windowTitle(), u"拼圖"_s);
        QCOMPARE(form.geometry(), QRect(95, 46, 671, 573));
        QCOMPARE(form.windowIcon().availableSizes(), (QList<QSize>{{32, 32}, {16, 16}}));
        QCOMPARE(form.windowIcon().cacheKey(), QApplication::windowIcon().cacheKey()); // shared
        // The background is the tooltip colour, seen in an empty corner.
        QCOMPARE(screen(&form).pixelColor(600, 500),
                 QApplication::palette().color(QPalette::ToolTipBase));
        // The whole picture stands at its place at its own size.
        PictureBox *whole = form.Picture1();
        QCOMPARE(whole->geometry(), QRect(32, 64, 354, 354));
        QCOMPARE(screen(&form, whole->geometry()),
                 assets::defaultPicture().convertToFormat(QImage::Format_RGB32));

        const QList<std::tuple<const char *, QString, QRect, QColor, bool>> commands = {
            // name, caption, place, face, in the Ming face (else the window's font)
            {"Command1", u"遊戲開始"_s, {312, 8, 81, 33}, {192, 255, 192}, true},
            {"Command4", u"載入圖片"_s, {424, 8, 81, 33}, {255, 192, 192}, false},
            {"Command2", u"結束"_s, {536, 8, 81, 33}, {0, 255, 255}, true},
        };
        for (const auto &[name, caption, geometry, face, ming] : commands) {
            auto *b = child<QPushButton>(&form, name);
            QCOMPARE(b->text(), caption);
            QCOMPARE(b->geometry(), geometry);
            QVERIFY(b->isEnabled() && !b->isDefault());
            // The face is filled with the button's colour (corners inside the border).
            const QImage pixels = screen(b);
            QCOMPARE(pixels.pixelColor(4, 4), face);
            QCOMPARE(pixels.pixelColor(geometry.width() - 5, geometry.height() - 5), face);
            // The pointing hand with its finger tip as hot spot.
            QCOMPARE(b->cursor().hotSpot(), QPoint(5, 0));
            QCOMPARE(b->font().pointSize(), ming ? 12 : form.font().pointSize());
            QVERIFY(b->font().weight() == QFont::Normal && !b->font().italic());
            QCOMPARE(QFontInfo(b->font()).family() != QFontInfo(form.font()).family(), ming);
        }

        QCOMPARE(QApplication::focusWidget(), child(&form, "Command1"));
        for (QWidget *next : {child(&form, "Command2"), static_cast<QWidget *>(whole),
                              child(&form, "Command4"), child(&form, "Command1")}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    // A start through the real input box lays every tile at its slot with its own pixels
    // (a large picture fitted first) and shows the drag icon while a tile is held.
    void gameStart_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QImage>("picture");
        const QImage ours = assets::defaultPicture();
        QImage halves(1400, 700, QImage::Format_RGB32);
        halves.fill(Qt::red);
        QPainter(&halves).fillRect(0, 0, 700, 700, Qt::blue);
        QTest::newRow("9") << u"9"_s << ours;
        QTest::newRow("49: bottom row reaches past the picture") << u"49"_s << ours;
        QTest::newRow("81") << u"81"_s << ours;
        QTest::newRow("a large picture, fitted") << u"16"_s << halves;
    }
    void gameStart()
    {
        QFETCH(QString, entry);
        QFETCH(QImage, picture);

        Form1 form;
        form.setPicture(picture);
        QVERIFY(showAndWait(&form));
        const QImage before = screen(&form);
        QCOMPARE(startGame(form, entry),
                 (QStringList{u"輸入圖片分割數"_s, u"輸入分割數: 9、16、25、36、49、64、81"_s,
                              u"9"_s, u"確定"_s})); // Qt's own button, translated
        QCOMPARE(form.tileCount(), entry.toInt());
        QCOMPARE(form.Picture1()->pictureSize(),
                 puzzle::fittedSize(picture.size(), layout::form1::LargestPicture));
        QVERIFY(!child(&form, "Command1")->isEnabled());
        QVERIFY(child(&form, "Command2")->isEnabled() && child(&form, "Command4")->isEnabled());

        // What the player must see: each tile in turn laid over the window as it was.
        const QRect area = form.Picture1()->geometry();
        QCOMPARE(screen(&form, area), paintedTiles(form, before).copy(area));
        const QPoint tile = form.Picture1()->tileRect(1).center();
        QTest::mousePress(form.Picture1(), Qt::LeftButton, {}, tile);
        QCOMPARE(form.Picture1()->heldTile(), 1);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->pixmap().size(), QSize(32, 32));
        QCOMPARE(QApplication::overrideCursor()->hotSpot(), QPoint(16, 16));
        QTest::mouseRelease(form.Picture1(), Qt::LeftButton, {}, tile);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // A refused count reaches the player as it was typed, with the stop icon, and leaves the
    // window as it was with Start given back; Cancel starts nothing and leaves Start disabled.
    void refusal_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message"); // empty: no message
        QTest::newRow("Cancel") << QString() << QString();
        QTest::newRow("not a square")
            << u"10"_s << u"你輸入的圖片數無法得到整數的平方根，請再重新按下'游戲開始'鈕"_s;
        QTest::newRow("markup, shown as typed") << u"<b>9</b>"_s << u"「<b>9</b>」不是數字"_s;
        // Beyond the board, however it is written: the message names what can be played.
        const QString most = u"分割數最多只能是 32761（181 × 181）"_s;
        QTest::newRow("182 squared") << u"33124"_s << most;
        QTest::newRow("1e400, beyond a double") << u"1e400"_s << most;
        // An entry that would turn the rest of the message around turns nothing; one in a
        // right-to-left script is set apart; a long one loses its middle.
        QTest::newRow("right-to-left override") << u"\u202Eabc"_s << u"「\uFFFDabc」不是數字"_s;
        QTest::newRow("Hebrew") << u"\u05D0\u05D1"_s << u"「\u2068\u05D0\u05D1\u2069」不是數字"_s;
        QTest::newRow("pasted at length")
            << QString(300, u'x')
            << u"「"_s + QString(19, u'x') + QChar(0x2026) + QString(20, u'x') + u"」"_s;
    }
    void refusal()
    {
        QFETCH(QString, entry);
        QFETCH(QString, message);

        Form1 form;
        QVERIFY(showAndWait(&form));
        const QImage before = screen(&form);
        Watch watch;
        startGame(form, entry);
        QCOMPARE(watch.said.size(), message.isEmpty() ? 0 : 1);
        QVERIFY2(watch.said.join(u'|').contains(message), qPrintable(watch.said.join(u'|')));
        QCOMPARE(form.tileCount(), 0);
        const QRect area = form.Picture1()->geometry();
        QCOMPARE(screen(&form, area), before.copy(area));
        QCOMPARE(child(&form, "Command1")->isEnabled(), !message.isEmpty());
    }

    // Without a usable drag icon the game still starts, with the built-in drag pointer. (What
    // the loader refuses is its own test's business.)
    void dragIconUnusable_data()
    {
        QTest::addColumn<QByteArray>("icon"); // the file's content; null: no file
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\0\0\1\0\xff\xff garbage", 14);
    }
    void dragIconUnusable()
    {
        QFETCH(QByteArray, icon);

        const QTemporaryDir dir;
        const QString iconPath = dir.filePath(u"drag1pg.ico"_s);
        QVERIFY(icon.isNull() || writeFile(iconPath, icon));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"drag icon"_s));

        Form1 form;
        form.setDragCursor(assets::dragCursor(iconPath));
        QVERIFY(showAndWait(&form));
        form.startGame(u"9"_s);
        const QPoint tile = form.Picture1()->tileRect(1).center();
        QTest::mousePress(form.Picture1(), Qt::LeftButton, {}, tile);
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::DragMoveCursor);
        QTest::mouseRelease(form.Picture1(), Qt::LeftButton, {}, tile);
    }

    // The picture and the tiles are drawn from the decoded picture at the screen's density: a
    // picture of twice the shown size shows every one of its pixels on a scale-2 screen.
    void sharpPicture()
    {
        QImage fine(1214, 910, QImage::Format_RGB32);
        for (int y = 0; y < fine.height(); ++y) {
            for (int x = 0; x < fine.width(); ++x)
                fine.setPixel(x, y, (x + y) % 2 ? qRgb(x % 256, y % 256, 255) : qRgb(0, 0, 0));
        }
        Form1 form;
        form.setRandomSource([] { return 0.0; }); // unshuffled
        QVERIFY(showAndWait(&form));
        form.setPicture(fine);
        const qreal density = form.devicePixelRatioF();
        QCOMPARE(form.Picture1()->pictureSize(), QSize(607, 455));
        const auto shown = [&form](const QRect &area) {
            QImage image =
                form.Picture1()->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
            image.setDevicePixelRatio(1);
            return image;
        };
        const QImage whole = shown(QRect(0, 0, 607, 455));
        QCOMPARE(whole.size(), QSize(607, 455) * density);
        QCOMPARE(whole, fine.scaled(whole.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

        // Tiles at home look like the picture; a moved tile shows its own pixels.
        form.startGame(u"9"_s);
        form.Picture1()->clearFocus(); // no keyboard frame
        QCOMPARE(shown(QRect(0, 0, 607, 455)), whole);
        QTest::mousePress(form.Picture1(), Qt::LeftButton, {},
                          form.Picture1()->tileRect(1).center());
        QTest::mouseRelease(form.Picture1(), Qt::LeftButton, {},
                            form.Picture1()->tileRect(5).center());
        const QRect source = puzzle::sourceRect(form.board(), 5);
        const QTransform toDevice = QTransform::fromScale(density, density);
        QCOMPARE(shown(form.Picture1()->tileRect(5)).copy(QRect(QPoint(), source.size() * density)),
                 whole.copy(toDevice.mapRect(source)));
    }

    // Each start reseeds the shuffle from the clock: the same reading shuffles alike, a fresh
    // one differently.
    void reseedsAtEachStart()
    {
        QList<quint64> readings = {7, 8, 7};
        Form1 form;
        form.setClock([&readings] { return readings.isEmpty() ? 0 : readings.takeFirst(); });
        QList<QList<qint16>> orders;
        for (int start = 0; start < 3; ++start) {
            form.startGame(u"81"_s);
            orders.append(form.board().TileOrder);
        }
        QVERIFY(readings.isEmpty());
        QCOMPARE(orders[2], orders[0]);
        QVERIFY(orders[1] != orders[0]);
        QCOMPARE(form.tileCount(), 81);
    }

    // Closing the window in the middle of a game, the tiles focused: the focus leaves the box
    // as the window goes, and the box must not read a board that is already gone (the
    // sanitizer build tells).
    void closedDuringGame()
    {
        auto *form = new Form1;
        QVERIFY(showAndWait(form, true));
        form->startGame(u"9"_s);
        QVERIFY(form->Picture1()->hasFocus());
        delete form;
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
