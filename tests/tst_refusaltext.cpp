// The sentences a player reads when a picture is refused: one for every reason, with its
// details in their places, and a file's name that can neither fill a placeholder nor turn the
// text around it.
#include "loading/kinds.h"
#include "loading/refusaltext.h"
#include "loading/systemwords.h"

#include <QRegularExpression>
#include <QTest>
#include <QTextBoundaryFinder>

#include <cerrno>

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
            {Reason::CannotOpen, {u"107"_s}},
            {Reason::CannotRead, {u"5"_s}},
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
            {Reason::CannotOpen, {u"（與網路磁碟機的連線已中斷）"_s}},
            {Reason::CannotRead, {u"（存取磁碟時發生錯誤，"_s}},
            {Reason::TooLarge, {u"20000 × 30000"_s, u"16384"_s, u"32 百萬"_s}},
            {Reason::FileTooLarge, {u"256 MiB"_s}},
            {Reason::NotAPicture,
             {u"BMP、JPEG、PNG、GIF、WebP、TIFF、WMF、SVG、HEIC、AVIF、JPEG XL"_s}},
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

    // A file that is no picture is told which kinds it could have been: those the chooser
    // offers, each by its name, and no other.
    void notAPictureNamesOffered_data()
    {
        QTest::addColumn<int>("kind");
        for (int k = 0; k <= int(picture::Kind::Last); ++k)
            QTest::addRow("%s", qPrintable(picture::kindName(picture::Kind(k)))) << k;
    }
    void notAPictureNamesOffered()
    {
        QFETCH(int, kind);
        const QString text = picture::refusalText({Reason::NotAPicture, {}}, u"貓"_s);
        const QStringList named =
            text.section(u"或不是 "_s, 1).section(u" 圖片"_s, 0, 0).split(u'、');
        const QString name = picture::kindName(picture::Kind(kind));
        const QString patterns = picture::filePattern(picture::Kind(kind));
        QCOMPARE(named.contains(name), !patterns.isEmpty());
        for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts))
            QVERIFY(picture::filePattern().split(u';').contains(pattern));
    }

    // The system's errors in the player's words, in the sentences of a file that could not be
    // opened or read: no Latin letters but the kinds' names, and an error without words of its
    // own named by its number.
    void systemErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("named"); // 1: has words of its own, -1: named by its number
        const QList<int> named = {
            ENOENT,    EACCES, EPERM,  EIO,    ENOTCONN, ESTALE,       ENXIO,  ENODEV,   ETIMEDOUT,
            EHOSTDOWN, ENOMEM, EMFILE, ENFILE, ELOOP,    ENAMETOOLONG, EISDIR, ENOTDIR,  EROFS,
            EOVERFLOW, EFBIG,  EINVAL, EBUSY,  EAGAIN,   EINTR,        ENOSPC, ENOMEDIUM};
        const QList<int> numbered = {ESRCH, ECHILD, ENOTTY, EDOM, ERANGE, 0, -1, 999};
        for (int error = -1; error <= 134; ++error)
            QTest::addRow("errno %d", error) << error
                                             << (named.contains(error)      ? 1
                                                 : numbered.contains(error) ? -1
                                                                            : 0);
        QTest::addRow("errno 999") << 999 << -1;
    }
    void systemErrors()
    {
        QFETCH(int, error);
        QFETCH(int, named);
        static const QRegularExpression latin(u"[A-Za-z]"_s);
        const QString words = picture::systemWords(error);
        QVERIFY(!words.isEmpty());
        QVERIFY2(!words.contains(latin), qPrintable(words));
        if (named > 0)
            QVERIFY2(!words.contains(QString::number(error)), qPrintable(words));
        else if (named < 0)
            QVERIFY2(words.contains(u" %1 "_s.arg(error)), qPrintable(words));
        for (const Reason reason : {Reason::CannotOpen, Reason::CannotRead}) {
            const QString text =
                picture::refusalText({reason, {QString::number(error)}}, u"貓的照片"_s);
            QVERIFY2(!text.contains(latin), qPrintable(text));
            QVERIFY2(text.contains(u"（"_s + words + u"）"_s), qPrintable(text));
        }
        QCOMPARE(picture::refusalText({Reason::CannotRead, {u"not a number"_s}}, u"貓"_s),
                 u"無法讀取圖片「貓」（not a number）。"_s);
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

    // Names as hostile as a file system allows: what they hold stays theirs, on one line, and
    // nothing in them turns the sentence around them.
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown"); // the name as the sentence holds it
        QTest::newRow("placeholders") << u"%1 %2 %5.bmp"_s << u"%1 %2 %5.bmp"_s;
        QTest::newRow("right-to-left override") << u"\u202Egnp.bmp"_s << u"\uFFFDgnp.bmp"_s;
        QTest::newRow("every embedding, override and isolate")
            << u"a\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069b"_s
            << u"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDb"_s;
        QTest::newRow("Hebrew letters")
            << u"\u05D0\u05D1.bmp"_s << u"\u2068\u05D0\u05D1.bmp\u2069"_s;
        QTest::newRow("Hebrew letters and an override")
            << u"\u05D0\u202D\u05D1.bmp"_s << u"\u2068\u05D0\uFFFD\u05D1.bmp\u2069"_s;
        QTest::newRow("a close of the isolate it does not open")
            << u"a\u2069\u202Eb.bmp"_s << u"a\uFFFD\uFFFDb.bmp"_s;
        QTest::newRow("newline") << u"a\nb.bmp"_s << u"a\u240Ab.bmp"_s;
        QTest::newRow("carriage return and newline") << u"a\r\n.bmp"_s << u"a\u240D\u240A.bmp"_s;
        QTest::newRow("line separator") << u"a\u2028b.bmp"_s << u"a\u2424b.bmp"_s;
        QTest::newRow("paragraph separator") << u"a\u2029b.bmp"_s << u"a\u2424b.bmp"_s;
        QTest::newRow("next line, C1") << u"a\u0085b.bmp"_s << u"a\u2424b.bmp"_s;
        QTest::newRow("other C1 controls")
            << u"a\u0080\u009B\u009Fb"_s << u"a\uFFFD\uFFFD\uFFFDb"_s;
        QTest::newRow("tab, escape, bell, delete, nul")
            << u"\t\x1B]0;t\x07\x7F"_s + QChar(0) << u"\u2409\u241B]0;t\u2407\u2421\u2400"_s;
        QTest::newRow("letters and marks stay") << u"e\u0301\uFEFF\u200B\u00A0\u3000\u9EDE.bmp"_s
                                                << u"e\u0301\uFEFF\u200B\u00A0\u3000\u9EDE.bmp"_s;
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

    // A name too long for a line loses its middle where nothing else lets the sentence break
    // there, and a very long one in any case: its start and its end (the kind) stay, and no
    // character a reader sees as one is cut in two.
    void longNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("whole"); // shown as it is
        const QString dots = u".bmp"_s;
        QTest::newRow("255 letters, no space") << QString(251, u'a') + dots << false;
        QTest::newRow("300 letters, no space") << QString(296, u'a') + dots << false;
        QTest::newRow("40 letters") << QString(36, u'a') + dots << true;
        QTest::newRow("41 letters") << QString(37, u'a') + dots << false;
        QTest::newRow("85 Chinese characters, 255 bytes") << QString(83, u'圖') + u".s"_s << true;
        QTest::newRow("words") << QString(u"word "_s).repeated(30) + dots << true;
        QTest::newRow("words past the whole") << QString(u"word "_s).repeated(50) + dots << false;
        QTest::newRow("short folders")
            << u"/home"_s + QString(u"/folder"_s).repeated(25) + u"/p.bmp"_s << true;
        QTest::newRow("letters with marks") << QString(u"e\u0301\u0323"_s).repeated(60) << false;
        QTest::newRow("pairs of surrogates")
            << u"x"_s + QString(u"\U0001D400"_s).repeated(60) + dots << false;
        QTest::newRow("newlines") << QString(u"ab\n"_s).repeated(60) << false;
    }
    void longNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, whole);
        const QString shown = picture::inSentence(name);
        const auto graphemes = [](const QString &text) {
            QStringList out;
            QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
            for (qsizetype from = 0, to; (to = finder.toNextBoundary()) > 0; from = to)
                out.append(text.sliced(from, to - from));
            return out;
        };
        if (whole) {
            QCOMPARE(shown, name);
            return;
        }
        const QString ellipsis(QChar(0x2026));
        QVERIFY2(shown.contains(ellipsis), qPrintable(shown));
        if (!name.contains(u' ')) // one stretch loses one middle
            QCOMPARE(shown.count(ellipsis), 1);
        QVERIFY(graphemes(shown).size() <= picture::MaxInSentence);
        const QStringList ownGraphemes = graphemes(picture::oneLine(name));
        for (const QString &g : graphemes(shown))
            QVERIFY2(g == ellipsis || ownGraphemes.contains(g), qPrintable(g));
        const QString seen = picture::oneLine(name);
        QVERIFY(seen.startsWith(shown.section(ellipsis, 0, 0)));
        QVERIFY(seen.endsWith(shown.section(ellipsis, -1)));
        QVERIFY(shown.section(ellipsis, 0, 0).size() >= 10 &&
                shown.section(ellipsis, -1).size() >= 10);
        QTextBoundaryFinder lines(QTextBoundaryFinder::Line, shown);
        for (qsizetype from = 0, to; (to = lines.toNextBoundary()) > 0; from = to)
            QVERIFY2(graphemes(shown.sliced(from, to - from)).size() <= picture::MaxStretch,
                     qPrintable(shown.sliced(from, to - from)));
    }
};

QTEST_APPLESS_MAIN(TestRefusalText)
#include "tst_refusaltext.moc"
