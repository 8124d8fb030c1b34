// HEIC, AVIF and JPEG XL, the pictures phones take: files made at test time by heif-enc, avifenc
// and cjxl from the tests' own pictures, and hostile ones patched from them, each decoded in this
// process and through the decoding process the game uses, which must agree to the pixel or the
// refusal.
#include "phonepictures.h"
#include "testpictures.h"

#include "loading/decodejob.h"
#include "loading/spare.h"
#include "picture/decoder.h"
#include "picture/formats.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTransform>

#include <jxl/decode.h>
#include <jxl/encode.h>

#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;
using namespace testpictures;
using namespace phonepictures;
using picture::Reason;

namespace {

using Maker = std::function<Encoded()>;

// A smooth ramp in 16 bits a sample, so that a file of 10 or 12 bits holds more than 8 and a
// reduction to 8 that goes wrong shows: red across, green down, blue across the other way.
QImage ramp16(QSize size)
{
    QImage image(size, QImage::Format_RGBX64);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const quint16 across = quint16(x * 65535 / (size.width() - 1));
            const quint16 down = quint16(y * 65535 / (size.height() - 1));
            image.setPixelColor(x, y, QColor::fromRgba64(across, down, 65535 - across));
        }
    return image;
}

// The quarters, with alpha falling from opaque at the left to nothing at the right.
QImage fading(QSize size)
{
    QImage image = quadrants(size).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            QColor c = image.pixelColor(x, y);
            c.setAlpha(255 - x * 255 / (size.width() - 1));
            image.setPixelColor(x, y, c);
        }
    return image;
}

// The mean difference of two pictures of the same size, channel by channel, alpha too, as
// premultiplied 8-bit values; -1 when their sizes differ.
double difference(const QImage &got, const QImage &want)
{
    if (got.size() != want.size())
        return -1;
    const QImage a = got.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = want.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto *p = reinterpret_cast<const uchar *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const uchar *>(b.constScanLine(y));
        for (int i = 0; i < a.width() * 4; ++i)
            sum += qAbs(int(p[i]) - int(q[i]));
    }
    return double(sum) / (double(a.width()) * a.height() * 4);
}

// Turned a quarter anticlockwise for each step, then mirrored as HEIF's properties say (0: top
// and bottom swap, 1: left and right), as the file should show.
QImage turned(const QImage &image, int angle, int mirror = -1)
{
    QImage out = image.transformed(QTransform().rotate(-90.0 * angle));
    if (mirror >= 0)
        out = out.mirrored(mirror == 1, mirror == 0);
    return out;
}

// A JPEG XL whose fourth channel is black: a CMYK picture, which libjxl 0.7 decodes without its
// black. cjxl makes none; libjxl's encoder does.
Encoded cmykJxl(QSize size)
{
    JxlEncoder *raw = JxlEncoderCreate(nullptr);
    const std::unique_ptr<JxlEncoder, void (*)(JxlEncoder *)> encoder(raw, JxlEncoderDestroy);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(size.width());
    info.ysize = uint32_t(size.height());
    info.bits_per_sample = 8;
    info.num_extra_channels = 1;
    info.uses_original_profile = JXL_TRUE;
    JxlExtraChannelInfo black;
    JxlEncoderInitExtraChannelInfo(JXL_CHANNEL_BLACK, &black);
    black.bits_per_sample = 8;
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    std::vector<uint8_t> cmy(size_t(size.width() * size.height() * 3), 100);
    std::vector<uint8_t> k(size_t(size.width() * size.height()), 50);
    const JxlPixelFormat three{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    const JxlPixelFormat one{1, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlEncoderFrameSettings *frame = nullptr;
    if (JxlEncoderSetBasicInfo(raw, &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetExtraChannelInfo(raw, 0, &black) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(raw, &colour) != JXL_ENC_SUCCESS ||
        !(frame = JxlEncoderFrameSettingsCreate(raw, nullptr)) ||
        JxlEncoderSetFrameLossless(frame, JXL_TRUE) != JXL_ENC_SUCCESS ||
        JxlEncoderAddImageFrame(frame, &three, cmy.data(), cmy.size()) != JXL_ENC_SUCCESS ||
        JxlEncoderSetExtraChannelBuffer(frame, &one, k.data(), k.size(), 0) != JXL_ENC_SUCCESS)
        return {{}, u"libjxl's encoder refused a black channel"_s};
    JxlEncoderCloseInput(raw);
    QByteArray out(1 << 16, '\0');
    auto *next = reinterpret_cast<uint8_t *>(out.data());
    size_t room = size_t(out.size());
    if (JxlEncoderProcessOutput(raw, &next, &room) != JXL_ENC_SUCCESS)
        return {{}, u"libjxl's encoder failed"_s};
    out.chop(qsizetype(room));
    return {out, {}};
}

// The bits a sample a JPEG XL holds, as libjxl reads its header.
int jxlBits(const QByteArray &bytes)
{
    const std::unique_ptr<JxlDecoder, void (*)(JxlDecoder *)> decoder(JxlDecoderCreate(nullptr),
                                                                      JxlDecoderDestroy);
    JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO);
    JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t *>(bytes.constData()),
                       size_t(bytes.size()));
    JxlBasicInfo info{};
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO ||
        JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
        return 0;
    return int(info.bits_per_sample);
}

Maker patched(const Maker &make, const std::function<QByteArray(const QByteArray &)> &patch)
{
    return [make, patch] {
        Encoded e = make();
        if (e.ok())
            e.bytes = patch(e.bytes);
        return e;
    };
}

} // namespace

Q_DECLARE_METATYPE(Maker)

class TestPhoneFormats : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fileWith(const QByteArray &bytes) { return pictureFileIn(m_dir, bytes); }

    // The file the row makes, or a skip that says which encoder is missing.
    static QByteArray made(const Maker &make, QString *missing)
    {
        const Encoded e = make();
        *missing = e.error;
        return e.bytes;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // What comes back is the source picture, turned as the file says, within what the lossy
    // codecs change; the decoding process gives the same to the pixel.
    void decodes_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QImage>("want");
        QTest::addColumn<double>("tolerance"); // mean difference a channel, of 255
        const QImage q = quadrants({64, 48});
        const QImage deep = ramp16({96, 64});
        const QImage alpha = fading({64, 48});
        const QImage red = quadrants({48, 32}), green = quadrants({48, 32}).mirrored(true, true);
        const QByteArray turnedJpeg = withOrientation(encoded(q, "jpeg", 95), 6);
        const QByteArray deepPng = png(deep);
        const auto row = [](const char *name, const Maker &make, const QImage &want,
                            double tolerance) { QTest::newRow(name) << make << want << tolerance; };

        row(
            "HEIC", [=] { return heic({q}); }, q, 4);
        // Lossless, but full red comes back as 254 from heif-enc's files, in heif-convert too.
        row(
            "HEIC lossless, 4:4:4 RGB",
            [=] {
                return heic({q}, {u"-L"_s, u"-p"_s, u"chroma=444"_s, u"--matrix_coefficients=0"_s});
            },
            q, 0.5);
        row("HEIC turned a quarter",
            patched([=] { return heic({q}); }, [](const QByteArray &b) { return withTurn(b, 1); }),
            turned(q, 1), 4);
        row("HEIC turned half and mirrored left to right",
            patched([=] { return heic({q}); },
                    [](const QByteArray &b) { return withTurn(b, 2, 1); }),
            turned(q, 2, 1), 4);
        row("HEIC turned three quarters and mirrored top to bottom",
            patched([=] { return heic({q}); },
                    [](const QByteArray &b) { return withTurn(b, 3, 0); }),
            turned(q, 3, 0), 4);
        // A phone's photo says its turn twice, in its rotation and in its Exif: once is right.
        row("HEIC turned, its Exif orientation saying the same",
            patched([=] { return heicFrom(turnedJpeg, u"in.jpg"_s); },
                    [](const QByteArray &b) { return withTurn(b, 3); }),
            turned(q, 3), 8);
        row(
            "HEIC 10-bit",
            [=] {
                return heicFrom(deepPng, u"in.png"_s, {u"-b"_s, u"10"_s});
            },
            deep, 3);
        row(
            "HEIC 12-bit",
            [=] {
                return heicFrom(deepPng, u"in.png"_s, {u"-b"_s, u"12"_s});
            },
            deep, 3);
        row(
            "HEIC with alpha", [=] { return heic({alpha}); }, alpha, 4);
        row(
            "HEIC of two pictures: the primary",
            [=] {
                return heic({red, green});
            },
            red, 4);

        row(
            "AVIF", [=] { return avif({q}); }, q, 4);
        row(
            "AVIF lossless", [=] { return avif({q}, {u"-l"_s}); }, q, 0.01);
        row(
            "AVIF turned a quarter and mirrored left to right",
            [=] {
                return avif({q}, {u"--irot"_s, u"1"_s, u"--imir"_s, u"1"_s});
            },
            turned(q, 1, 1), 4);
        row(
            "AVIF mirrored top to bottom",
            [=] {
                return avif({q}, {u"--imir"_s, u"0"_s});
            },
            turned(q, 0, 0), 4);
        row(
            "AVIF cropped to its clean aperture",
            [=] {
                return avif({q}, {u"--clap"_s, u"32,1,24,1,-16,1,-12,1"_s});
            },
            q.copy(0, 0, 32, 24), 4);
        row(
            "AVIF 10-bit",
            [=] {
                return avifFrom(deepPng, u"in.png"_s, {u"-d"_s, u"10"_s});
            },
            deep, 3);
        row(
            "AVIF 12-bit",
            [=] {
                return avifFrom(deepPng, u"in.png"_s, {u"-d"_s, u"12"_s});
            },
            deep, 3);
        row(
            "AVIF with alpha", [=] { return avif({alpha}); }, alpha, 4);
        row(
            "AVIF sequence: its first frame",
            [=] {
                return avif({red, green});
            },
            red, 4);
        row("AVIF sequence of tracks alone: its first frame",
            patched(
                [=] {
                    return avif({red, green});
                },
                [](const QByteArray &b) { return tracksAlone(b); }),
            red, 4);

        row(
            "JPEG XL", [=] { return jxl(q); }, q, 4);
        row(
            "JPEG XL lossless",
            [=] {
                return jxl(q, {u"-d"_s, u"0"_s});
            },
            q, 0);
        row(
            "JPEG XL from a JPEG turned by its orientation",
            [=] { return jxlFrom(turnedJpeg, u"in.jpg"_s); }, turned(q, 3), 8);
        row(
            "JPEG XL 16-bit", [=] { return jxlFrom(deepPng, u"in.png"_s); }, deep, 2);
        row(
            "JPEG XL 10-bit",
            [=] { return jxlFrom(deepPng, u"in.png"_s, {u"--override_bitdepth=10"_s}); }, deep, 2);
        row(
            "JPEG XL with alpha", [=] { return jxl(alpha); }, alpha, 4);
        row(
            "JPEG XL animation: its first frame",
            [=] {
                return jxlFrom(gif({red.convertToFormat(QImage::Format_Indexed8),
                                    green.convertToFormat(QImage::Format_Indexed8)}),
                               u"in.gif"_s);
            },
            red, 2);
        row("JPEG XL in two parts, split inside its size header",
            patched([=] { return jxlFrom(turnedJpeg, u"in.jpg"_s); },
                    [](const QByteArray &b) { return jxlInParts(b, 3); }),
            turned(q, 3), 8);
    }
    void decodes()
    {
        QFETCH(Maker, make);
        QFETCH(QImage, want);
        QFETCH(double, tolerance);
        QString missing;
        const QByteArray file = made(make, &missing);
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const picture::Picture here = picture::decode(file);
        QCOMPARE(here.refusal.reason, Reason::None);
        const double off = difference(here.image, want);
        QVERIFY2(
            off >= 0 && off <= tolerance,
            qPrintable(
                u"%1 × %2, off by %3"_s.arg(here.image.width()).arg(here.image.height()).arg(off)));
        if (want.hasAlphaChannel())
            QVERIFY(here.image.hasAlphaChannel());
        const picture::Picture there = picture::DecodeJob::run(fileWith(file));
        QCOMPARE(there.refusal.reason, Reason::None);
        QCOMPARE(there.image, here.image);
    }

    // A spare decoder, its walls up and its libraries warmed before the file comes, decodes each
    // kind as a decoder started for the file does.
    void spare_data()
    {
        QTest::addColumn<Maker>("make");
        const QImage q = quadrants({64, 48});
        QTest::newRow("HEIC") << Maker([=] { return heic({q}); });
        QTest::newRow("AVIF") << Maker([=] { return avif({q}); });
        QTest::newRow("JPEG XL") << Maker([=] { return jxl(q); });
    }
    void spare()
    {
        QFETCH(Maker, make);
        QString missing;
        const QByteArray file = made(make, &missing);
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString path = fileWith(file);
        const picture::Picture fresh = picture::DecodeJob::run(path);
        picture::Spares &spares = picture::Spares::instance();
        spares.setKept(true);
        QTRY_VERIFY(spares.isSpareReady());
        const picture::Picture spared = picture::DecodeJob::run(path);
        spares.setKept(false);
        QCOMPARE(spared.refusal.reason, Reason::None);
        QCOMPARE(spared.image, fresh.image);
    }

    // The walks read the size as the picture shows it, before anything is decoded: JPEG XL's
    // size header in each of its forms (sides in eighths, ratios of the height, ranges), turned
    // by the orientation; HEIF's primary item turned by its rotation; a sequence's track.
    void sizes_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QSize>("size");
        for (const QSize size : {QSize(64, 48), QSize(160, 90), QSize(120, 100), QSize(100, 80),
                                 QSize(200, 100), QSize(96, 64), QSize(64, 64), QSize(33, 17),
                                 QSize(600, 1), QSize(8, 256), QSize(264, 8), QSize(1000, 999)})
            QTest::addRow("JPEG XL %d × %d", size.width(), size.height()) << Maker([size] {
                return jxl(photo(size), {u"-e"_s, u"1"_s});
            }) << size;
        const QImage q = quadrants({64, 48});
        const QByteArray turnedJpeg = withOrientation(encoded(q, "jpeg", 95), 6);
        QTest::newRow("JPEG XL turned a quarter")
            << Maker([=] { return jxlFrom(turnedJpeg, u"in.jpg"_s); }) << QSize(48, 64);
        QTest::newRow("HEIC turned a quarter")
            << patched([=] { return heic({q}); },
                       [](const QByteArray &b) { return withTurn(b, 3); })
            << QSize(48, 64);
        QTest::newRow("AVIF turned a quarter") << Maker([=] {
            return avif({q}, {u"--irot"_s, u"1"_s});
        }) << QSize(48, 64);
        QTest::newRow("AVIF sequence of tracks alone")
            << patched(
                   [=] {
                       return avif({q, q});
                   },
                   [](const QByteArray &b) { return tracksAlone(b); })
            << QSize(64, 48);
    }
    void sizes()
    {
        QFETCH(Maker, make);
        QFETCH(QSize, size);
        QString missing;
        const QByteArray file = made(make, &missing);
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const picture::Format *format = picture::formatOf(file);
        QVERIFY(format && format->survey);
        const picture::Survey s = format->survey(picture::Bytes{file}, {});
        QCOMPARE(s.verdict, picture::Survey::Fine);
        QCOMPARE(s.size, size);
        QCOMPARE(picture::decode(file).image.size(), size);
    }

    // The files made deep are as deep as their rows say.
    void deepFiles_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<int>("bits");
        const QByteArray deepPng = png(ramp16({32, 16}));
        QTest::newRow("HEIC 10") << Maker([=] {
            return heicFrom(deepPng, u"in.png"_s, {u"-b"_s, u"10"_s});
        }) << 10;
        QTest::newRow("HEIC 12") << Maker([=] {
            return heicFrom(deepPng, u"in.png"_s, {u"-b"_s, u"12"_s});
        }) << 12;
        QTest::newRow("AVIF 10") << Maker([=] {
            return avifFrom(deepPng, u"in.png"_s, {u"-d"_s, u"10"_s});
        }) << 10;
        QTest::newRow("AVIF 12") << Maker([=] {
            return avifFrom(deepPng, u"in.png"_s, {u"-d"_s, u"12"_s});
        }) << 12;
        QTest::newRow("JPEG XL 10")
            << Maker([=] { return jxlFrom(deepPng, u"in.png"_s, {u"--override_bitdepth=10"_s}); })
            << 10;
        QTest::newRow("JPEG XL 16") << Maker([=] { return jxlFrom(deepPng, u"in.png"_s); }) << 16;
    }
    void deepFiles()
    {
        QFETCH(Maker, make);
        QFETCH(int, bits);
        QString missing;
        const QByteArray file = made(make, &missing);
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        QCOMPARE(file.mid(4, 4) == "ftyp" ? pixiBits(file) : jxlBits(file), bits);
    }

    // Cut, lying and unreadable files end in a reason, in this process and in the decoding
    // process alike, and the decoding process says nothing on its error output.
    void refuses_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<picture::Refusal>("refusal");
        const QImage q = quadrants({64, 48});
        const QImage p = photo({256, 192});
        const auto row = [](const char *name, const Maker &make, Reason reason,
                            QStringList details) {
            QTest::newRow(name) << make << picture::refused(reason, std::move(details));
        };
        const auto cut = [](const Maker &make, double kept) {
            return patched(
                make, [kept](const QByteArray &b) { return b.left(qsizetype(b.size() * kept)); });
        };
        const QStringList heicKind{u"HEIC"_s}, avifKind{u"AVIF"_s}, jxlKind{u"JPEG XL"_s};
        const QStringList huge{u"100000"_s, u"100000"_s};

        const Maker heicPhoto = [=] { return heic({p}); };
        row("HEIC cut in its pixels", cut(heicPhoto, 0.6), Reason::Incomplete, heicKind);
        row("HEIC cut in its header",
            patched(heicPhoto, [](const QByteArray &b) { return b.left(200); }), Reason::Incomplete,
            heicKind);
        row("HEIC saying 100000 × 100000",
            patched(heicPhoto, [](const QByteArray &b) { return withSize(b, 100000, 100000); }),
            Reason::TooLarge, huge);
        row("HEIC saying 16000 × 16000, each side within the limits",
            patched(heicPhoto, [](const QByteArray &b) { return withSize(b, 16000, 16000); }),
            Reason::TooLarge, {u"16000"_s, u"16000"_s});
        row("HEIC saying 0 × 0",
            patched(heicPhoto, [](const QByteArray &b) { return withSize(b, 0, 0); }),
            Reason::NoPixels, {u"HEIC"_s, u"0"_s, u"0"_s});
        row("HEIC of H.266 (VVC)",
            patched(heicPhoto, [](const QByteArray &b) { return withItemType(b, "hvc1", "vvc1"); }),
            Reason::Unsupported, {u"HEIC"_s, u"H.266"_s});
        row("HEIC holding a JPEG",
            patched(heicPhoto, [](const QByteArray &b) { return withItemType(b, "hvc1", "jpeg"); }),
            Reason::Unsupported, {u"HEIC"_s, u"JPEG inside"_s});
        row("HEIC saying it is smaller than its HEVC",
            patched(heicPhoto, [](const QByteArray &b) { return withSize(b, 64, 48); }),
            Reason::Damaged, heicKind);
        row("HEIC sequence of tracks alone",
            patched(
                [=] {
                    return avif({q, q});
                },
                [](const QByteArray &b) { return asHeicSequence(b); }),
            Reason::Unsupported, {u"HEIC"_s, u"sequence"_s});
        row("HEIC whose meta box says it is larger than the file holding it",
            patched(heicPhoto,
                    [](QByteArray b) {
                        const std::optional<Box> meta = find(b, {"meta"});
                        setBe32(&b, meta->at, 0x7FFFFFF0);
                        return b;
                    }),
            Reason::Incomplete, heicKind);
        row("HEIC whose properties overrun their box",
            patched(heicPhoto,
                    [](QByteArray b) {
                        const std::optional<Box> ipco = find(b, {"meta", "iprp", "ipco"});
                        setBe32(&b, ipco->body, 0x10000);
                        return b;
                    }),
            Reason::Damaged, heicKind);

        const Maker avifPhoto = [=] { return avif({p}); };
        row("AVIF cut in its pixels", cut(avifPhoto, 0.6), Reason::Incomplete, avifKind);
        row("AVIF sequence of tracks alone, cut",
            cut(patched(
                    [=] {
                        return avif({p, p.mirrored()});
                    },
                    [](const QByteArray &b) { return tracksAlone(b); }),
                0.6),
            Reason::Incomplete, avifKind);
        row("AVIF saying 100000 × 100000",
            patched(avifPhoto, [](const QByteArray &b) { return withSize(b, 100000, 100000); }),
            Reason::TooLarge, huge);
        row("AVIF holding a JPEG",
            patched(avifPhoto, [](const QByteArray &b) { return withItemType(b, "av01", "jpeg"); }),
            Reason::Unsupported, {u"AVIF"_s, u"JPEG inside"_s});
        row("AVIF of HEVC",
            patched(avifPhoto, [](const QByteArray &b) { return withItemType(b, "av01", "hvc1"); }),
            Reason::Unsupported, {u"AVIF"_s, u"HEVC"_s});

        const Maker jxlPhoto = [=] { return jxl(p); };
        const Maker jxlContainer = [=] { return jxlFrom(encoded(p, "jpeg", 90), u"in.jpg"_s); };
        row("JPEG XL cut", cut(jxlPhoto, 0.6), Reason::Incomplete, jxlKind);
        row("JPEG XL cut in its size header",
            patched(jxlPhoto, [](const QByteArray &b) { return b.left(3); }), Reason::Incomplete,
            jxlKind);
        row("JPEG XL container cut", cut(jxlContainer, 0.6), Reason::Incomplete, jxlKind);
        row("JPEG XL saying 100000 × 100000",
            patched(jxlPhoto, [](const QByteArray &b) { return jxlClaiming(b, 100000, 100000); }),
            Reason::TooLarge, huge);
        row("JPEG XL container saying 100000 × 100000",
            patched(jxlContainer,
                    [](const QByteArray &b) { return jxlClaiming(b, 100000, 100000); }),
            Reason::TooLarge, huge);
        row("JPEG XL in CMYK",
            [] {
                return cmykJxl({16, 16});
            },
            Reason::Unsupported, {u"JPEG XL"_s, u"CMYK"_s});
    }
    void refuses()
    {
        QFETCH(Maker, make);
        QFETCH(picture::Refusal, refusal);
        QString missing;
        const QByteArray file = made(make, &missing);
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        const picture::Picture here = picture::decode(file);
        QVERIFY(here.isNull());
        QCOMPARE(here.refusal, refusal);
        const picture::Picture there = picture::DecodeJob::run(fileWith(file));
        QCOMPARE(there.refusal, refusal);

        QProcess decoder;
        decoder.setStandardInputFile(fileWith(file));
        decoder.start(picture::DecodeJob::program(), QStringList());
        QVERIFY(decoder.waitForFinished());
        QCOMPARE(decoder.readAllStandardError(), QByteArray());
    }

    // A picture too large, or of a form we do not read, is refused by its header: from the
    // first 64 KiB, before the rest is read or anything decoded, and in a file that holds no
    // more than that. A picture within the limits declares its size for the decoder's budget.
    void head_data()
    {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<picture::Refusal>("refusal");
        QTest::addColumn<qint64>("declared");
        const QImage p = photo({1024, 768});
        const qint64 photoPixels = qint64(1024) * 768;
        const picture::Refusal huge =
            picture::refused(Reason::TooLarge, {u"100000"_s, u"100000"_s});
        const auto row = [](const char *name, const Maker &make, const picture::Refusal &refusal,
                            qint64 declared) {
            QTest::newRow(name) << make << refusal << declared;
        };
        const Maker heicPhoto = [=] { return heic({p}); };
        const Maker avifPhoto = [=] { return avif({p}); };
        const Maker jxlPhoto = [=] { return jxl(p); };
        const Maker jxlContainer = [=] { return jxlFrom(encoded(p, "jpeg", 90), u"in.jpg"_s); };
        row("HEIC", heicPhoto, {}, photoPixels);
        row("HEIC turned a quarter",
            patched(heicPhoto, [](const QByteArray &b) { return withTurn(b, 1); }), {},
            photoPixels);
        row("HEIC saying 100000 × 100000",
            patched(heicPhoto, [](const QByteArray &b) { return withSize(b, 100000, 100000); }),
            huge, picture::MaxPixels);
        row("HEIC of H.266 (VVC)",
            patched(heicPhoto, [](const QByteArray &b) { return withItemType(b, "hvc1", "vvc1"); }),
            picture::refused(Reason::Unsupported, {u"HEIC"_s, u"H.266"_s}), photoPixels);
        row("AVIF", avifPhoto, {}, photoPixels);
        row("AVIF saying 100000 × 100000",
            patched(avifPhoto, [](const QByteArray &b) { return withSize(b, 100000, 100000); }),
            huge, picture::MaxPixels);
        row("AVIF sequence of tracks alone",
            patched(
                [=] {
                    return avif({p, p.mirrored()});
                },
                [](const QByteArray &b) { return tracksAlone(b); }),
            {}, photoPixels);
        row("JPEG XL", jxlPhoto, {}, photoPixels);
        row("JPEG XL saying 100000 × 100000",
            patched(jxlPhoto, [](const QByteArray &b) { return jxlClaiming(b, 100000, 100000); }),
            huge, picture::MaxPixels);
        row("JPEG XL container", jxlContainer, {}, photoPixels);
        row("JPEG XL container saying 100000 × 100000",
            patched(jxlContainer,
                    [](const QByteArray &b) { return jxlClaiming(b, 100000, 100000); }),
            huge, picture::MaxPixels);
    }
    void head()
    {
        QFETCH(Maker, make);
        QFETCH(picture::Refusal, refusal);
        QFETCH(qint64, declared);
        QString missing;
        const QByteArray file = made(make, &missing);
        if (!missing.isEmpty())
            QSKIP(qPrintable(missing));
        constexpr qsizetype Head = qsizetype(64) * 1024;
        QVERIFY2(file.size() > Head, "the file fits in its head: the row proves nothing");
        const QByteArray head = file.left(Head);
        QCOMPARE(picture::checkHead(head), refusal);
        QCOMPARE(picture::declaredPixels(head, {}), declared);
        if (!refusal.isRefused())
            return;
        // The decoding process refuses what it has read of the head, the rest never there.
        QCOMPARE(picture::DecodeJob::run(fileWith(head)).refusal, refusal);
    }
};

QTEST_MAIN(TestPhoneFormats)
#include "tst_phoneformats.moc"
