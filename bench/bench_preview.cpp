// What a preview costs: the default picture, a 24-megapixel photo, a 12-megapixel phone photo as
// HEIC, AVIF and JPEG, a typical metafile and a picture of one pixel (what starting costs), each
// at the size the chooser asks for, decoded in
// this process, in a decoding process started for it, and through the spare the game keeps
// ready; what each wall costs; and how much CPU time the heaviest ordinary pictures and the
// hostile files take in the decoding process, against its budget; and what converting a
// tagged photo to sRGB costs.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_preview
#include "iccwriter.h"
#include "loading/decodejob.h"
#include "loading/spare.h"
#include "phonepictures.h"
#include "picture/colour.h"
#include "picture/decoder.h"
#include "testpictures.h"
#include "wmfwriter.h"

#include <QBuffer>
#include <QColorSpace>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>
#include <sched.h>
#include <sys/resource.h>

namespace {

// What the chooser asks for: the preview area and the puzzle window, whichever is larger.
constexpr QSize Preview(607, 497);

// heif-enc's x265 at a preset nearer a phone's hardware encoder than its default (slow).
const QStringList PhoneHeic = {QStringLiteral("-q"), QStringLiteral("80"), QStringLiteral("-p"),
                               QStringLiteral("preset=fast")};

// Clip art as drawing programs write it: a few hundred filled and outlined shapes in a dozen
// colours, some curves, and a caption.
QByteArray clipArt()
{
    wmftest::Writer w(true, QRect(0, 0, 4000, 3000), 1000);
    QRandomGenerator random(7);
    for (int i = 0; i < 12; ++i)
        w.createBrush(0, QColor::fromHsv(i * 30, 200, 230)).createPen(0, 8, QColor(40, 40, 40));
    for (int i = 0; i < 300; ++i) {
        QList<QPoint> shape;
        const QPoint centre(int(random.bounded(4000)), int(random.bounded(3000)));
        for (int k = 0; k < 24; ++k) {
            const double a = k * 2 * M_PI / 24, r = 80 + random.bounded(200);
            shape.append(centre + QPoint(int(r * std::cos(a)), int(r * std::sin(a))));
        }
        w.selectObject(2 * (i % 12)).selectObject(2 * (i % 12) + 1).polygon(shape);
        if (i % 10 == 0)
            w.ellipse(centre.x() - 60, centre.y() - 40, centre.x() + 60, centre.y() + 40);
    }
    w.createFont(-200, "Liberation Serif").selectObject(24).textOut(200, 2600, "Happy New Year");
    return w.finish();
}

using Maker = std::function<QByteArray()>;

// The CPU time of the decoding processes that have ended, so far.
qint64 childrenCpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return (qint64(usage.ru_utime.tv_sec) + usage.ru_stime.tv_sec) * 1000 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What raising each wall took in a fresh decoding process, as it reports it: name to
// milliseconds, and "all walls" for their sum.
QHash<QString, double> wallCosts()
{
    QProcess decoder;
    decoder.start(picture::DecodeJob::program(), {QStringLiteral("--walls")});
    if (!decoder.waitForFinished())
        return {};
    static const QRegularExpression line(QStringLiteral("^(.+): up.*, ([0-9.]+) ms$"),
                                         QRegularExpression::MultilineOption);
    QHash<QString, double> costs;
    for (auto m = line.globalMatch(QString::fromLocal8Bit(decoder.readAllStandardOutput()));
         m.hasNext();) {
        const QRegularExpressionMatch wall = m.next();
        costs[wall.captured(1)] = wall.captured(2).toDouble();
        costs[QStringLiteral("all walls")] += wall.captured(2).toDouble();
    }
    return costs;
}

} // namespace

Q_DECLARE_METATYPE(Maker)

class BenchPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QString path = m_dir.filePath(name);
        if (!testpictures::writeFile(path, bytes))
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Each picture three ways: in this process, in a decoding process started for it, and
    // through the spare that waits ready, as the game does it. A player clicks at human pace:
    // the next spare is ready (untimed) before each decode through it.
    void preview_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("way");
        const QString defaultPicture = QFINDTESTDATA("../assets/default.bmp");
        const QString jpeg =
            write(QStringLiteral("photo.jpg"),
                  testpictures::encoded(testpictures::photo({6000, 4000}), "jpeg", 90));
        const QString wmf = write(QStringLiteral("clipart.wmf"), clipArt());
        const QString pixel =
            write(QStringLiteral("pixel.bmp"),
                  testpictures::encoded(QImage(1, 1, QImage::Format_RGB32), "bmp"));
        // A phone's photo of 12 megapixels (4000 × 3000), as the phone stores it and as JPEG.
        const QImage phone = testpictures::photo({4000, 3000});
        const phonepictures::Encoded heic = phonepictures::heic({phone}, PhoneHeic);
        const phonepictures::Encoded avif = phonepictures::avif({phone});
        QList<std::pair<const char *, QString>> pictures = {
            {"default picture", defaultPicture},
            {"24-megapixel JPEG", jpeg},
            {"12-megapixel JPEG",
             write(QStringLiteral("phone.jpg"), testpictures::encoded(phone, "jpeg", 90))},
            {"clip-art metafile", wmf},
            {"one pixel (start-up)", pixel}};
        qsizetype at = 3; // beside the JPEG of the same picture
        for (const auto &[name, encoded, file] :
             {std::tuple{"12-megapixel HEIC", heic, "phone.heic"},
              {"12-megapixel AVIF", avif, "phone.avif"}}) {
            if (encoded.ok())
                pictures.insert(at++, {name, write(QString::fromLatin1(file), encoded.bytes)});
            else
                qWarning("no %s: %s", name, qPrintable(encoded.error));
        }
        for (const auto &[name, path] : pictures) {
            for (const char *way :
                 {"in this process", "in a fresh decoding process", "through the spare"})
                QTest::addRow("%s, %s", name, way) << path << QString::fromLatin1(way);
        }
    }
    void preview()
    {
        QFETCH(QString, path);
        QFETCH(QString, way);
        const bool spare = way == u"through the spare"_qs;
        picture::Spares::instance().setKept(spare);
        // 20 runs, or as many as fit in 40 s (at least 3): a slow picture keeps the row short.
        constexpr int MostRuns = 20, FewestRuns = 3;
        constexpr double Enough = 40000;
        QSize decoded;
        double total = 0;
        int runs = 0;
        while (runs < MostRuns && (runs < FewestRuns || total < Enough)) {
            if (spare)
                QVERIFY(QTest::qWaitFor([] { return picture::Spares::instance().isSpareReady(); }));
            QElapsedTimer clock;
            clock.start();
            const picture::Picture loaded = way == u"in this process"_qs
                                                ? picture::decodeFile(path, {Preview})
                                                : picture::DecodeJob::run(path, {Preview});
            total += double(clock.nsecsElapsed()) / 1e6;
            ++runs;
            QVERIFY(!loaded.isNull());
            decoded = loaded.image.size();
        }
        picture::Spares::instance().setKept(false);
        QTest::setBenchmarkResult(total / runs, QTest::WalltimeMilliseconds);
        qInfo("%.2f ms (%d runs); %lld KiB, decoded at %d x %d", total / runs, runs,
              qlonglong(QFileInfo(path).size() / 1024), decoded.width(), decoded.height());
    }

    // What raising the walls adds to each decoding, as the decoding process measures it
    // (pintu-decode --walls), the mean of 50 fresh processes.
    void walls_data()
    {
        QTest::addColumn<QString>("wall");
        for (const char *wall : {"network namespace", "capabilities", "no-new-privileges",
                                 "Landlock", "seccomp", "all walls"})
            QTest::newRow(wall) << QString::fromLatin1(wall);
    }
    void walls()
    {
        QFETCH(QString, wall);
        constexpr int Runs = 50;
        double total = 0;
        for (int i = 0; i < Runs; ++i) {
            const QHash<QString, double> costs = wallCosts();
            QVERIFY2(costs.contains(wall), "the wall is not up");
            total += costs[wall];
        }
        QTest::setBenchmarkResult(total / Runs, QTest::WalltimeMilliseconds);
        qInfo("%s: %.3f ms", qPrintable(wall), total / Runs);
    }

    // The heaviest ordinary pictures within the limits, one in each format, and hostile files:
    // each answered, with the decoding process's CPU time against its budget. Run it pinned to
    // one core beside three busy programs (bench/run-pinned.sh) to see a machine four times
    // slower: the CPU times stay, the wall-clock times grow.
    void heaviest_data()
    {
        using namespace testpictures;
        QTest::addColumn<Maker>("make");
        const QSize most(8192, 4096); // picture::MaxPixels
        QTest::newRow("JPEG photo") << Maker([=] { return encoded(photo(most), "jpeg", 90); });
        QTest::newRow("JPEG progressive photo")
            << Maker([=] { return encoded(photo(most), "jpeg", 90, true); });
        QTest::newRow("PNG") << Maker([=] { return encoded(photo(most), "png"); });
        QTest::newRow("PNG with alpha") << Maker([=] {
            QImage translucent = photo(most).convertToFormat(QImage::Format_ARGB32);
            translucent.setPixelColor(0, 0, QColor(1, 2, 3, 4));
            return encoded(translucent, "png");
        });
        QTest::newRow("PNG, 16 bits a channel") << Maker(
            [=] { return encoded(photo(most).convertToFormat(QImage::Format_RGBA64), "png"); });
        QTest::newRow("PNG 16000 x 2000 with alpha") << Maker([=] {
            QImage translucent = photo({16000, 2000}).convertToFormat(QImage::Format_ARGB32);
            translucent.setPixelColor(0, 0, QColor(1, 2, 3, 4));
            return encoded(translucent, "png");
        });
        QTest::newRow("GIF, a code a pixel") << Maker([=] {
            QImage indexed(most, QImage::Format_Indexed8);
            indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
            indexed.fill(1);
            return gif({indexed});
        });
        QTest::newRow("GIF photo") << Maker([=] {
            return gif({photo(most).convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)});
        });
        QTest::newRow("BMP") << Maker([=] { return encoded(photo(most), "bmp"); });
        QTest::newRow("TIFF, LZW") << Maker([=] {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            QImageWriter writer(&buffer, "tiff");
            writer.setCompression(1);
            writer.write(photo(most));
            return bytes;
        });
        QTest::newRow("WebP photo") << Maker([=] { return encoded(photo(most), "webp", 90); });
        // The phones' kinds, by Debian's encoders; nothing where an encoder is missing.
        const auto phone = [](const phonepictures::Encoded &e) { return e.bytes; };
        QTest::newRow("HEIC photo")
            << Maker([=] { return phone(phonepictures::heic({photo(most)}, PhoneHeic)); });
        QTest::newRow("AVIF photo")
            << Maker([=] { return phone(phonepictures::avif({photo(most)})); });
        QTest::newRow("JPEG XL photo") << Maker([=] {
            return phone(
                phonepictures::jxl(photo(most), {QStringLiteral("-e"), QStringLiteral("3")}));
        });
        QTest::newRow("JPEG photo, Display P3") << Maker([=] {
            QImage p3 = photo(most);
            p3.setColorSpace(QColorSpace::DisplayP3);
            return encoded(p3, "jpeg", 90);
        });
        QTest::newRow("hostile: JPEG of 20000 empty scans") << Maker([] {
            return withEmptyScans(encoded(quadrants({400, 300}), "jpeg", 90, true), 20000);
        });
        QTest::newRow("hostile: PNG of 1000 text chunks, 8 MB each inflated") << Maker([] {
            return withTextBombs(encoded(quadrants({30, 20}), "png"), 1000, 8 << 20);
        });
        QTest::newRow("hostile: metafile polygon of 32767 random points")
            << Maker([] { return wmftest::scribble(32767, 7); });
    }
    void heaviest()
    {
        QFETCH(Maker, make);
        const QByteArray bytes = make();
        if (bytes.isEmpty())
            QSKIP("its encoder is missing");
        const QString path = write(QStringLiteral("heavy.bin"), bytes);
        picture::Picture answered;
        const qint64 cpuBefore = childrenCpuMilliseconds();
        // PINTU_BENCH_DECODER_CORE=N: the decoding process runs on core N alone (it takes this
        // thread's cores when it starts); the file is made on all of them.
        cpu_set_t everywhere, pinned;
        ::sched_getaffinity(0, sizeof everywhere, &everywhere);
        const bool pin = qEnvironmentVariableIsSet("PINTU_BENCH_DECODER_CORE");
        if (pin) {
            CPU_ZERO(&pinned);
            CPU_SET(qEnvironmentVariableIntValue("PINTU_BENCH_DECODER_CORE"), &pinned);
            ::sched_setaffinity(0, sizeof pinned, &pinned);
        }
        QElapsedTimer clock;
        clock.start();
        QBENCHMARK_ONCE { answered = picture::DecodeJob::run(path, {Preview}); }
        const qint64 wall = clock.elapsed();
        if (pin)
            ::sched_setaffinity(0, sizeof everywhere, &everywhere);
        const qint64 cpu = childrenCpuMilliseconds() - cpuBefore;
        const picture::DecodeBudget budget;
        qInfo("%lld KiB; CPU %lld ms of %lld ms budgeted for its pixels; %lld ms in all: %s",
              qlonglong(QFileInfo(path).size() / 1024), cpu,
              budget.cpuMilliseconds(picture::declaredPixels(readAll(path), {Preview})), wall,
              answered.isNull()
                  ? qPrintable(u"refused, reason %1"_qs.arg(int(answered.refusal.reason)))
                  : "decoded");
    }

    // Converting a decoded photo to sRGB in this process, the mean of 5 runs of each: a camera's
    // 24 and 12 megapixels tagged Display P3, and the same tagged sRGB (recognised by its
    // colorants and curves, nothing converted) or not at all; then hostile profiles, refused.
    void colour_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("alpha");
        const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
        const QSize mp24(6000, 4000), mp12(4000, 3000);
        QTest::newRow("24 MP, Display P3") << mp24 << p3 << false;
        QTest::newRow("12 MP, Display P3") << mp12 << p3 << false;
        QTest::newRow("12 MP with alpha, Display P3") << mp12 << p3 << true;
        QTest::newRow("24 MP, sRGB profile") << mp24 << srgb << false;
        QTest::newRow("24 MP, untagged") << mp24 << QByteArray() << false;
        using namespace icctest;
        QTest::newRow("24 MP, hostile: a pipeline of 100000 steps")
            << mp24
            << profile("mntr", "RGB ",
                       {{"wtpt", xyz(0.9642, 1.0, 0.8249)}, {"D2B0", manySteps(100000)}})
            << false;
        QTest::newRow("24 MP, hostile: a table claiming 255 points a side")
            << mp24
            << profile("mntr", "RGB ",
                       {{"wtpt", xyz(0.9642, 1.0, 0.8249)}, {"A2B0", hugeGrid(255)}})
            << false;
    }
    void colour()
    {
        QFETCH(QSize, size);
        QFETCH(QByteArray, profile);
        QFETCH(bool, alpha);
        QImage decoded = testpictures::photo(size);
        if (alpha)
            decoded = decoded.convertToFormat(QImage::Format_ARGB32);
        constexpr int Runs = 5;
        const auto cpuMilliseconds = [] {
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage); // every thread's
            return (double(usage.ru_utime.tv_sec) + double(usage.ru_stime.tv_sec)) * 1000 +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
        };
        double total = 0, cpu = 0;
        bool changed = false;
        for (int i = 0; i < Runs; ++i) {
            QImage copy = decoded.copy(); // converted in place, as the decoder's own picture is
            const double cpuBefore = cpuMilliseconds();
            QElapsedTimer clock;
            clock.start();
            const QImage converted = picture::toSrgb(std::move(copy), {profile});
            total += double(clock.nsecsElapsed()) / 1e6;
            cpu += cpuMilliseconds() - cpuBefore;
            changed = converted != decoded;
        }
        QTest::setBenchmarkResult(total / Runs, QTest::WalltimeMilliseconds);
        qInfo("%.2f ms (CPU %.0f ms); pixels %s", total / Runs, cpu / Runs,
              changed ? "converted" : "left as they were");
    }
};

QTEST_MAIN(BenchPreview)
#include "bench_preview.moc"
