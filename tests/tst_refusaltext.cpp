// The sentences a player reads when a picture is refused: one for every reason, with its
// details in their places, and a file's name that can neither fill a placeholder nor turn the
// text around it.
#include "loading/refusaltext.h"

#include <QTest>

using namespace Qt::StringLiterals;
using picture::Reason;

class TestRefusalText : public QObject
{
    Q_OBJECT
private slots:
    // Every reason the decoders and the decoding process give, each with its details as they
    // give them: a sentence that names the file and shows every detail, with no placeholder
    // left over.
    void everyReason_data()
    {
        QTest::addColumn<int>("reason");
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<QStringList>("shown"); // besides the name
        const QHash<Reason, QStringList> details = {
            {Reason::CannotOpen, {u"Input/output error"_s}},
            {Reason::CannotRead, {u"Input/output error"_s}},
            {Reason::Damaged, {u"PNG"_s}},
            {Reason::Incomplete, {u"GIF"_s}},
            {Reason::TooLarge, {u"20000"_s, u"30000"_s}},
            {Reason::NoPixels, {u"GIF"_s, u"0"_s, u"0"_s}},
            {Reason::Unsupported, {u"JPEG"_s, u"12-bit"_s}},
            {Reason::MetafileRecordLength, {u"12"_s}},
            {Reason::MetafileRecordPastEnd, {u"12"_s}},
            {Reason::MetafileRecordCut, {u"12"_s}},
            {Reason::MetafileTooManyRecords, {u"1000000"_s}},
            {Reason::MetafileTooDeep, {u"1024"_s}},
            {Reason::MetafileTooManyObjects, {u"65535"_s}},
            {Reason::MetafileRegionTooComplex, {u"10000"_s}},
            {Reason::MetafilePolygonTooComplex, {u"1000000"_s}},
            {Reason::MetafileBitmapTooLarge, {u"16"_s, u"256"_s}},
            {Reason::TooSlow, {u"2"_s}},
            {Reason::DecoderMissing, {u"/usr/lib/pintu/pintu-decode"_s}},
        };
        // What the sentence shows of the details, and of the game's own limits.
        const QHash<Reason, QStringList> shown = {
            {Reason::TooLarge, {u"20000 × 30000"_s, u"16384"_s, u"32 百萬"_s}},
            {Reason::FileTooLarge, {u"256 MiB"_s}},
            {Reason::NotAPicture,
             {u"BMP、JPEG、PNG、GIF、ICO、WebP、TIFF、WMF、SVG、HEIC、AVIF、JPEG XL"_s}},
            {Reason::NoPixels, {u"GIF"_s, u"0 × 0"_s}},
            {Reason::Unsupported, {u"12 位元的 JPEG"_s}},
            {Reason::MetafileBitmapTooLarge, {u"16 百萬"_s, u"256 百萬"_s}},
            {Reason::TooSlow, {u"2 秒"_s}},
        };
        for (int r = 1; r <= int(Reason::Last); ++r) {
            const Reason reason = Reason(r);
            QTest::addRow("reason %d", r)
                << r << details.value(reason) << shown.value(reason, details.value(reason));
        }
    }
    void everyReason()
    {
        QFETCH(int, reason);
        QFETCH(QStringList, details);
        QFETCH(QStringList, shown);
        const QString text = picture::refusalText({Reason(reason), details}, u"p.bmp"_s);
        QVERIFY2(text.contains(u"「p.bmp」"_s), qPrintable(text));
        for (const QString &part : shown)
            QVERIFY2(text.contains(part), qPrintable(text + u" lacks "_s + part));
        QVERIFY2(!text.contains(u'%'), qPrintable(text));
        QVERIFY2(text.endsWith(u'。'), qPrintable(text));
    }

    // The forms of a kind we do not read, each named: never "damaged" or "incomplete".
    void unsupportedForms_data()
    {
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<QString>("form"); // as the sentence names it
        const auto row = [](const char *name, const QString &kind, const QString &variant,
                            const QString &form) {
            QTest::newRow(name) << QStringList{kind, variant} << form;
        };
        row("JPEG 12-bit", u"JPEG"_s, u"12-bit"_s, u" 12 位元"_s);
        row("JPEG lossless", u"JPEG"_s, u"lossless"_s, u"無失真壓縮"_s);
        row("JPEG hierarchical", u"JPEG"_s, u"hierarchical"_s, u"階層式"_s);
        row("JPEG-LS", u"JPEG"_s, u"JPEG-LS"_s, u" JPEG-LS 壓縮"_s);
        row("JPEG DNL", u"JPEG"_s, u"DNL"_s, u"把高度寫在影像資料之後（DNL 標記）"_s);
        row("BMP holding a JPEG", u"BMP"_s, u"JPEG inside"_s, u"內含 JPEG 影像"_s);
        row("BMP holding a PNG", u"BMP"_s, u"PNG inside"_s, u"內含 PNG 影像"_s);
        row("OS/2 Huffman BMP", u"BMP"_s, u"Huffman"_s, u" OS/2 霍夫曼編碼"_s);
        row("OS/2 RLE24 BMP", u"BMP"_s, u"RLE24"_s, u" OS/2 24 位元行程編碼"_s);
        row("compression by number", u"TIFF"_s, u"compression 34712"_s,
            u"採用第 34712 號壓縮方式"_s);
        row("colour space by number", u"TIFF"_s, u"colour 9"_s, u"採用第 9 號色彩空間"_s);
        row("sample format by number", u"TIFF"_s, u"sample format 5"_s, u"採用第 5 號樣本格式"_s);
        row("bits by number", u"TIFF"_s, u"bits 128"_s, u"每個樣本 128 位元"_s);
        row("floating point by number", u"TIFF"_s, u"float 24"_s, u"每個樣本 24 位元浮點數"_s);
        row("a number that is none", u"TIFF"_s, u"bits x"_s, u"特殊格式"_s);
        row("HEIC of H.266", u"HEIC"_s, u"H.266"_s, u" H.266 (VVC) 壓縮"_s);
        row("HEIC of H.264", u"HEIC"_s, u"H.264"_s, u" H.264 (AVC) 壓縮"_s);
        row("HEIC holding a JPEG", u"HEIC"_s, u"JPEG inside"_s, u"內含 JPEG 影像"_s);
        row("HEIF of JPEG 2000", u"HEIC"_s, u"JPEG 2000"_s, u" JPEG 2000 壓縮"_s);
        row("HEIF uncompressed", u"HEIC"_s, u"uncompressed"_s, u"未壓縮"_s);
        row("AVIF of HEVC", u"AVIF"_s, u"HEVC"_s, u" HEVC (H.265) 壓縮"_s);
        row("a coding by its code", u"HEIC"_s, u"coding mjp2"_s, u"採用「mjp2」編碼"_s);
        row("a coding by its number", u"HEIC"_s, u"coding 0x0000ff01"_s,
            u"採用「0x0000ff01」編碼"_s);
        row("a coding named in what is no code", u"HEIC"_s, u"coding \u202eabc"_s, u"特殊格式"_s);
        row("a coding of five letters", u"HEIC"_s, u"coding abcde"_s, u"特殊格式"_s);
        row("JPEG XL in CMYK", u"JPEG XL"_s, u"CMYK"_s, u" CMYK 色彩"_s);
        row("HEIC sequence", u"HEIC"_s, u"sequence"_s, u"連續影像（影像序列）"_s);
        row("unknown form", u"PNG"_s, u"whatever"_s, u"特殊格式"_s);
    }
    void unsupportedForms()
    {
        QFETCH(QStringList, details);
        QFETCH(QString, form);
        const QString &kind = details[0];
        QCOMPARE(picture::refusalText({Reason::Unsupported, details}, u"p"_s),
                 u"無法讀取圖片「p」：這是"_s + form + u"的 "_s + kind +
                     u" 檔案，本程式不支援這種 "_s + kind + u"。"_s);
    }

    // Details miscounted, as a decoding process gone wrong may send them: the sentence's own
    // limits stay in their places.
    void detailsMiscounted_data()
    {
        QTest::addColumn<QStringList>("details");
        QTest::addColumn<QString>("size"); // as the sentence shows it
        QTest::newRow("one short") << QStringList{u"20000"_s} << u"20000 × ?"_s;
        QTest::newRow("two over") << QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s} << u"1 × 2"_s;
    }
    void detailsMiscounted()
    {
        QFETCH(QStringList, details);
        QFETCH(QString, size);
        QCOMPARE(
            picture::refusalText({Reason::TooLarge, details}, u"p.bmp"_s),
            u"圖片「p.bmp」太大（"_s + size +
                u" 像素）。本程式只能載入每邊不超過 16384 像素、總共不超過 32 百萬像素的圖片。"_s);
    }

    // Names as hostile as a file system allows: what they hold stays theirs.
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // the name as the sentence holds it
        QTest::newRow("placeholders") << u"%1 %2 %5.bmp"_s << u"%1 %2 %5.bmp"_s;
        QTest::newRow("right-to-left override")
            << u"\u202Egnp.bmp"_s << u"\u2068\u202Egnp.bmp\u2069"_s;
        QTest::newRow("Hebrew letters")
            << u"\u05D0\u05D1.bmp"_s << u"\u2068\u05D0\u05D1.bmp\u2069"_s;
        QTest::newRow("a close of the isolate it does not open")
            << u"a\u2069\u202Eb.bmp"_s << u"\u2068a\u202Eb.bmp\u2069"_s;
        QTest::newRow("an isolate it does not close")
            << u"a\u2067b.bmp"_s << u"\u2068a\u2067b.bmp\u2069\u2069"_s;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        const QString text =
            picture::refusalText({Reason::TooLarge, {u"20000"_s, u"16384"_s}}, name);
        QCOMPARE(text, u"圖片「"_s + shown +
                           u"」太大（20000 × 16384 像素）。本程式只能載入每邊不超過 16384 "
                           u"像素、總共不超過 32 百萬像素的圖片。"_s);
    }
};

QTEST_APPLESS_MAIN(TestRefusalText)
#include "tst_refusaltext.moc"
