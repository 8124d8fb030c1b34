// The board as a player meets it, on a real window system (run it under Xvfb with the xcb
// platform, as bench/run-board.sh does): a game start from the accepted count to the painted
// frame, one drop from the release to the repainted slots, the memory a game holds, and a
// 24-megapixel photo from the file to the fitted picture on screen, and a long session of games
// and window round trips. Each start is set beside a baseline measured in the same run: copying
// the N tile rectangles out of the picture once.
#include "windows/application.h"
#include "windows/assetfiles.h"
#include "windows/form1.h"
#include "windows/form1layout.h"
#include "windows/form2.h"
#include "windows/picturebox.h"
#include "windows/windowregistry.h"

#include "loading/decodejob.h"
#include "puzzle/gamestart.h"

#include <QImageWriter>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <malloc.h>

namespace {

// The default picture for the counts a player is offered; a fitted photo beyond them.
QImage pictureFor(int pieces)
{
    if (pieces <= 81)
        return assets::defaultPicture();
    QImage photo(607, 477, QImage::Format_RGB32);
    QPainter(&photo).fillRect(photo.rect(), QLinearGradient(0, 0, 607, 477));
    return photo;
}

// Paints what is pending and hands it to the window system, as the event loop does.
void paintNow(QWidget *)
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

qint64 heapInUse() { return qint64(mallinfo2().uordblks); }

// Answers every message box with OK as soon as it shows.
struct AnswerMessages : QObject
{
    AnswerMessages() { qApp->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (auto *box = qobject_cast<QMessageBox *>(watched); box && event->type() == QEvent::Show)
            QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
        return false;
    }
};

// Wins a started game by dropping each slot's tile home, as the drop handler gets drops.
void solve(Form1 &form)
{
    if (form.board().CheckOrder()) // shuffled into order: a drop is what wins
        emit form.Picture1()->tileDropped(2, 1);
    for (int slot = 1; slot <= form.board().pieces() && form.tileCount() > 0; ++slot) {
        const int other = int(form.board().TileOrder.indexOf(qint16(slot), 1));
        if (other != slot)
            emit form.Picture1()->tileDropped(other, slot);
    }
}

} // namespace

class BenchBoard : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        qInfo("platform: %s", qPrintable(QGuiApplication::platformName()));
    }

    void start_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<bool>("baseline");
        for (const int pieces : {81, 10000, 32761}) {
            QTest::addRow("%d pieces, baseline: copy the tiles out", pieces) << pieces << true;
            QTest::addRow("%d pieces, start to painted frame", pieces) << pieces << false;
        }
    }
    void start()
    {
        QFETCH(int, pieces);
        QFETCH(bool, baseline);
        Form1 form;
        form.setPicture(pictureFor(pieces));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        if (baseline) {
            form.startGame(QString::number(pieces));
            const puzzle::BoardState board = form.board();
            const QImage whole = form.Picture1()->picture();
            qint64 bytes = 0;
            QBENCHMARK
            {
                for (int i = 1; i <= pieces; ++i)
                    bytes += whole.copy(puzzle::sourceRect(board, i)).sizeInBytes();
            }
            QVERIFY(bytes > 0);
            return;
        }
        QBENCHMARK
        {
            form.startGame(QString::number(pieces));
            paintNow(&form);
        }
        QCOMPARE(form.tileCount(), pieces);
    }

    // A drop onto another tile, from the release to the repainted frame.
    void drop_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::newRow("81 pieces") << 81;
        QTest::newRow("32761 pieces") << 32761;
    }
    void drop()
    {
        QFETCH(int, pieces);
        Form1 form;
        form.setPicture(pictureFor(pieces));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QRandomGenerator rng(7);
        form.setRandomSource([&rng] { return rng.generateDouble(); });
        form.startGame(QString::number(pieces));
        paintNow(&form);
        PictureBox *box = form.Picture1();
        const QPoint a = box->tileRect(1).center(), b = box->tileRect(pieces).center();
        bool there = true;
        QBENCHMARK
        {
            QTest::mousePress(box, Qt::LeftButton, {}, there ? a : b);
            QTest::mouseRelease(box, Qt::LeftButton, {}, there ? b : a);
            paintNow(&form);
            there = !there;
        }
        QCOMPARE(form.tileCount(), pieces);
    }

    // The heap a game adds to a window that already shows its picture, against the limit of
    // half the picture again plus 256 bytes a tile.
    void memory_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::newRow("81 pieces") << 81;
        QTest::newRow("10000 pieces") << 10000;
        QTest::newRow("32761 pieces") << 32761;
    }
    void memory()
    {
        QFETCH(int, pieces);
        Form1 form;
        form.setPicture(pictureFor(pieces));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        paintNow(&form);
        const qint64 picture = form.Picture1()->picture().sizeInBytes();
        const qint64 before = heapInUse();
        form.startGame(QString::number(pieces));
        paintNow(&form);
        const qint64 game = heapInUse() - before;
        qInfo("picture %lld bytes; a game of %d adds %lld bytes (%.1f a tile); "
              "picture + game = %.3f x the picture, limit %.3f x",
              qlonglong(picture), pieces, qlonglong(game), double(game) / pieces,
              double(picture + game) / picture, (1.5 * picture + 256.0 * pieces) / picture);
    }

    // A 24-megapixel photo chosen: read from the file at the size the window shows it, fitted
    // and painted.
    void photo()
    {
        QVERIFY(m_dir.isValid());
        const QString path = m_dir.filePath(QStringLiteral("photo.jpg"));
        QImage big(6000, 4000, QImage::Format_RGB32);
        QRandomGenerator noise(24);
        for (int y = 0; y < big.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(big.scanLine(y));
            for (int x = 0; x < big.width(); ++x)
                line[x] = qRgb(x * 255 / 6000, y * 255 / 4000, int(noise.bounded(256)));
        }
        QImageWriter writer(path, "jpeg");
        writer.setQuality(90);
        QVERIFY(writer.write(big));
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QSize shown = layout::form1::largestPicturePixels(form.devicePixelRatioF());
        QBENCHMARK
        {
            const picture::Picture loaded = picture::DecodeJob::run(path, {shown});
            form.setPicture(loaded.image);
            paintNow(&form);
        }
        QCOMPARE(form.Picture1()->pictureSize(), QSize(607, 405));
    }

    // A long session: 1000 games won, then 500 round trips to the picture chooser and back.
    // What it leaves behind: live widgets and heap, against the state after the first trip.
    void session()
    {
        AnswerMessages answer;
        WindowRegistry windows;
        const auto roundTrip = [&windows] {
            windows.form1()->findChild<QPushButton *>(QStringLiteral("Command4"))->click();
            windows.form2()->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        };
        windows.form1()->show();
        roundTrip(); // everything a session keeps for good is made by now
        const qsizetype widgets = QApplication::allWidgets().size();
        const qint64 heap = heapInUse();
        for (int game = 0; game < 1000; ++game) {
            const int side = game % 4 + 2;
            windows.form1()->startGame(QString::number(side * side));
            solve(*windows.form1());
        }
        const qint64 afterGames = heapInUse();
        QList<qint64> trips; // the heap after every hundred round trips
        for (int trip = 1; trip <= 500; ++trip) {
            roundTrip();
            if (trip % 100 == 0)
                trips.append(heapInUse());
        }
        qInfo("live widgets %lld before, %lld after; heap grew %lld bytes over 1000 games",
              qlonglong(widgets), qlonglong(QApplication::allWidgets().size()),
              qlonglong(afterGames - heap));
        for (qsizetype i = 0; i < trips.size(); ++i)
            qInfo("heap grew %lld bytes over round trips %lld to %lld",
                  qlonglong(trips[i] - (i ? trips[i - 1] : afterGames)), qlonglong(i * 100 + 1),
                  qlonglong(i * 100 + 100));
    }
};

QTEST_MAIN(BenchBoard)
#include "bench_board.moc"
