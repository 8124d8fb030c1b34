// TIFF through libtiff: every depth from 1 to 64 bits, floating point, signed samples, palettes,
// CMYK, alpha associated or not, planes, tiles, BigTIFF, compressed strips and the first page of
// two, each matched pixel by pixel with the picture tiff/make_tiffs.py computed for it (and,
// for the forms libtiff's tiff2rgba reads, with tiff2rgba's); and the forms we do not read,
// cut files and lying headers refused with what is truly wrong.
#include "loading/picturefile.h"
#include "picture/decoder.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;
using picture::Reason;

class TestTiff : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<QStringList> m_cases;

    QString file(const QString &name) const { return m_dir.filePath(name); }

    void rows(const QString &kind)
    {
        for (const QStringList &c : m_cases)
            if (c.value(0) == kind)
                QTest::newRow(qPrintable(c.value(1) + u" = "_s + c.value(2))) << c.mid(1);
    }

private slots:
    // The cases are made here, now: the script needs Python with NumPy and Pillow, and libtiff's
    // tools (scripts/setup.sh --test installs them). Without them the test fails, saying so.
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QProcess make;
        make.start(u"/usr/bin/python3"_s, {QStringLiteral(PINTU_MAKE_TIFFS), m_dir.path()});
        QVERIFY2(make.waitForFinished(120000), "make_tiffs.py did not finish");
        QVERIFY2(make.exitStatus() == QProcess::NormalExit && make.exitCode() == 0,
                 make.readAllStandardError().constData());
        QFile cases(file(u"cases"_s));
        QVERIFY(cases.open(QIODevice::ReadOnly | QIODevice::Text));
        while (!cases.atEnd())
            m_cases.append(QString::fromUtf8(cases.readLine().trimmed()).split(u' '));
        QVERIFY(m_cases.size() > 40);
    }

    void matches_data()
    {
        QTest::addColumn<QStringList>("c"); // the picture, the expected one, the tolerance
        rows(u"match"_s);
    }
    void matches()
    {
        QFETCH(QStringList, c);
        QFile expectedFile(file(c[1]));
        QVERIFY(expectedFile.open(QIODevice::ReadOnly));
        const QByteArray expected = expectedFile.readAll();
        const int tolerance = c[2].toInt();
        QVERIFY(expected.size() >= 8);
        const QSize size(int(qFromLittleEndian<quint32>(expected.constData())),
                         int(qFromLittleEndian<quint32>(expected.constData() + 4)));
        QCOMPARE(expected.size(), 8 + size.width() * size.height() * 4);

        const picture::Picture loaded = picture::decodeFile(file(c[0]));
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.refusal.details.join(u' ')));
        QCOMPARE(loaded.image.size(), size);
        const QImage image = loaded.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const auto *want = reinterpret_cast<const uchar *>(expected.constData() + 8);
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x, want += 4) {
                const QRgb seen = image.pixel(x, y);
                const int got[4] = {qRed(seen), qGreen(seen), qBlue(seen), qAlpha(seen)};
                for (int i = 0; i < 4; ++i)
                    if (qAbs(got[i] - int(want[i])) > tolerance)
                        QFAIL(qPrintable(u"at %1, %2: %3 %4 %5 %6, not %7 %8 %9 %10"_s.arg(x)
                                             .arg(y)
                                             .arg(got[0])
                                             .arg(got[1])
                                             .arg(got[2])
                                             .arg(got[3])
                                             .arg(want[0])
                                             .arg(want[1])
                                             .arg(want[2])
                                             .arg(want[3])));
            }
        }
        // The same on every run: nothing of the picture is memory left as it was found.
        QCOMPARE(picture::decodeFile(file(c[0])).image, loaded.image);
    }

    void refuses_data()
    {
        QTest::addColumn<QStringList>("c"); // the file, the reason, its details between "|"
        rows(u"refuse"_s);
    }
    void refuses()
    {
        QFETCH(QStringList, c);
        static const QHash<QString, Reason> reasons = {{u"Unsupported"_s, Reason::Unsupported},
                                                       {u"Incomplete"_s, Reason::Incomplete},
                                                       {u"Damaged"_s, Reason::Damaged},
                                                       {u"TooLarge"_s, Reason::TooLarge}};
        QVERIFY(reasons.contains(c[1]));
        const picture::Picture loaded = picture::decodeFile(file(c[0]));
        QVERIFY(loaded.isNull());
        QCOMPARE(loaded.refusal.reason, reasons[c[1]]);
        QCOMPARE(loaded.refusal.details, c.mid(2).join(u' ').split(u'|'));
        // A size past the limits is told by the header, before the rest is read.
        if (reasons[c[1]] == Reason::TooLarge) {
            const picture::PictureFile opened(file(c[0]));
            QByteArray head;
            QVERIFY(!picture::readAll(opened.descriptor(), &head, qint64(64) * 1024).isRefused());
            QCOMPARE(picture::checkHead(head).reason, Reason::TooLarge);
        }
    }
};

QTEST_GUILESS_MAIN(TestTiff)
#include "tst_tiff.moc"
