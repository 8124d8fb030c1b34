// How long a game start takes and how much the tiles hold, from 9 pieces to the board's limit.
#include "application.h"
#include "form1.h"
#include "picturebox.h"

#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

class BenchGameStart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void start_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QSize>("picture");
        QTest::newRow("9 on 354 x 354") << 9 << QSize(354, 354);
        QTest::newRow("81 on 354 x 354") << 81 << QSize(354, 354);
        QTest::newRow("81 on 4000 x 3000") << 81 << QSize(4000, 3000);
        QTest::newRow("1024 on 1024 x 1024") << 1024 << QSize(1024, 1024);
        QTest::newRow("32761 on 4000 x 4000") << 32761 << QSize(4000, 4000);
    }
    void start()
    {
        QFETCH(int, pieces);
        QFETCH(QSize, picture);
        QImage image(picture, QImage::Format_RGB32);
        QPainter(&image).fillRect(image.rect(), QLinearGradient(0, 0, picture.width(), 0));

        qint64 tileBytes = 0;
        QBENCHMARK
        {
            Form1 form;
            form.setPicture(image);
            form.startGame(QString::number(pieces));
            tileBytes = form.Picture1()->picture().sizeInBytes();
        }
        qInfo("tiles hold %.2f MiB for a %.2f MiB picture (%.3f x)", tileBytes / 1048576.0,
              image.sizeInBytes() / 1048576.0, double(tileBytes) / image.sizeInBytes());
    }
};

QTEST_MAIN(BenchGameStart)
#include "bench_gamestart.moc"
