// pintu-render as a developer or a checking script runs it: a picture file in, a PNG out or the
// player's reason on standard error, whatever the file holds, and never a crash.
#include "testpictures.h"
#include "wmfwriter.h"

#include "picture/decoder.h"

#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

namespace {

// pintu-render run with arguments of any bytes (QProcess would pass them as UTF-8); its exit
// code and what it wrote on standard error.
std::pair<int, QByteArray> renderWith(const QList<QByteArray> &arguments)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return {-1, {}};
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    QList<QByteArray> all = QList<QByteArray>{PINTU_RENDER} + arguments;
    std::vector<char *> argv;
    for (QByteArray &each : all)
        argv.push_back(each.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned =
        ::posix_spawn(&child, PINTU_RENDER, &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    ::close(pipe[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return {-1, said};
    return {WEXITSTATUS(status), said};
}

// What a terminal would act on rather than show: control characters but a line's end, C1
// controls, direction controls, and bytes that are not UTF-8. Empty when there is none.
QString terminalControls(const QByteArray &said)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(said);
    if (utf8.hasError())
        return u"bytes that are not UTF-8"_s;
    QString found;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if ((c < 0x20 && c != u'\n') || (c >= 0x7F && c < 0xA0) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029)
            found += u"U+%1 "_s.arg(int(c), 4, 16, QChar(u'0'));
    }
    return found;
}

} // namespace

class TestRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QImage m_plainSvg; // the plain SVG as drawn

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void render_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("said"); // empty: a PNG of the decoded picture
        // Past the size that is written uncompressed.
        QImage wide(6000, 1000, QImage::Format_RGB32);
        wide.fill(QColor(10, 200, 30));
        QPainter(&wide).fillRect(0, 0, 3000, 500, Qt::red);
        QImage black(picture::MaxSide, int(picture::MaxPixels / picture::MaxSide),
                     QImage::Format_RGB32);
        black.fill(Qt::black);
        QTest::newRow("32 megapixels of black in a PNG of 130 KB")
            << encoded(black, "png") << QString();
        QTest::newRow("6 megapixels") << encoded(wide, "png") << QString();
        QTest::newRow("polygon of 32767 random points")
            << wmftest::scribble(32767, 7) << u"用完了 2 秒的運算時間"_s;
        QTest::newRow("text") << "not a picture"_ba << u"或不是 BMP、JPEG、PNG、GIF、WebP、"_s;
    }
    void render()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, said);
        const QString in = m_dir.filePath(u"in.bin"_s), out = m_dir.filePath(u"out.png"_s);
        QFile::remove(out);
        QVERIFY(writeFile(in, file));
        QProcess render;
        render.start(QStringLiteral(PINTU_RENDER), {in, out});
        QVERIFY(render.waitForFinished(10000));
        QCOMPARE(render.exitStatus(), QProcess::NormalExit);
        const QString stderrText = QString::fromUtf8(render.readAllStandardError());
        if (!said.isEmpty()) {
            QCOMPARE(render.exitCode(), 1);
            QVERIFY2(stderrText.contains(said), qPrintable(stderrText));
            QVERIFY(!QFile::exists(out));
            return;
        }
        QCOMPARE(render.exitCode(), 0);
        const QImage written = QImageReader(out).read();
        const picture::Picture decoded = picture::decodeFile(in);
        QCOMPARE(written.convertToFormat(QImage::Format_ARGB32),
                 decoded.image.convertToFormat(QImage::Format_ARGB32));
    }

    // An SVG as editors and other programs save it: its <svg> after a long comment or document
    // type, after a byte order mark, in UTF-16 of either order. Each draws as the plain file
    // does; markup that is not SVG, whatever it holds, is no picture.
    void svgForms_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("drawn"); // as the plain file; else refused as no picture
        const QByteArray body = R"(<svg xmlns="http://www.w3.org/2000/svg" width="40" height="30">)"
                                R"(<rect width="20" height="30" fill="&red;"/>)"
                                R"(<text x="22" y="20" font-size="12">貓</text></svg>)";
        const QByteArray red = "<!DOCTYPE svg [<!ENTITY red \"#e01010\">]>\n";
        const QByteArray plain = red + body;
        const QByteArray comment = "<!-- " + QByteArray(6000, '-').replace("--", "ab") + " -->\n";
        const auto utf16 = [](const QByteArray &utf8, bool little) {
            const QString text = QString::fromUtf8(utf8);
            QByteArray out = little ? "\xFF\xFE" : "\xFE\xFF";
            for (const QChar c : text) {
                const char low = char(c.unicode() & 0xFF), high = char(c.unicode() >> 8);
                out.append(little ? low : high).append(little ? high : low);
            }
            return out;
        };
        QByteArray entities = "<!DOCTYPE svg [\n";
        for (int i = 0; entities.size() < 6000; ++i)
            entities +=
                "<!ENTITY e" + QByteArray::number(i) + " \"" + QByteArray(40, 'x') + "\">\n";
        entities += "<!ENTITY red \"#e01010\">]>\n";
        const QByteArray declared = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n";

        QTest::newRow("plain") << plain << true;
        QTest::newRow("a comment of 6000 bytes first") << comment + plain << true;
        QTest::newRow("a document type of 6000 bytes") << entities + body << true;
        QTest::newRow("byte order mark and a long comment")
            << "\xEF\xBB\xBF" + comment + plain << true;
        QTest::newRow("comments to 60 KiB") << comment.repeated(10) + plain << true;
        QTest::newRow("UTF-16, little end first") << utf16(plain, true) << true;
        QTest::newRow("UTF-16, big end first") << utf16(plain, false) << true;
        QTest::newRow("UTF-16 declared, a long comment")
            << utf16(declared + comment + plain, true) << true;
        QTest::newRow("UTF-16, big end first, declared") << utf16(declared + plain, false) << true;
        QTest::newRow("XHTML holding an SVG")
            << "<?xml version=\"1.0\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><body>" +
                   QByteArray(body).replace("&red;", "red") + "</body></html>"
            << false;
        QTest::newRow("<svg only in a comment") << "<!-- <svg> -->\n<note>cat</note>"_ba << false;
        QTest::newRow("XML after a long comment") << comment + "<note><svg/></note>" << false;
        QTest::newRow("XML in UTF-16") << utf16("<note><svg/></note>", true) << false;
        QTest::newRow("prolog past the first 64 KiB") << comment.repeated(12) + plain << false;
    }
    void svgForms()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, drawn);
        const QString in = m_dir.filePath(u"form.svg"_s), out = m_dir.filePath(u"form.png"_s);
        QFile::remove(out);
        QVERIFY(writeFile(in, file));
        QProcess render;
        render.start(QStringLiteral(PINTU_RENDER), {in, out});
        QVERIFY(render.waitForFinished(10000));
        const QString said = QString::fromUtf8(render.readAllStandardError());
        if (!drawn) {
            QCOMPARE(render.exitCode(), 1);
            QVERIFY2(said.contains(u"或不是 BMP"_s), qPrintable(said));
            return;
        }
        QVERIFY2(render.exitCode() == 0, qPrintable(said));
        const QImage image = QImageReader(out).read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(image.size(), QSize(40, 30));
        QCOMPARE(image.pixelColor(5, 15), QColor(0xE0, 0x10, 0x10));
        if (m_plainSvg.isNull())
            m_plainSvg = image; // the first row's
        QCOMPARE(image, m_plainSvg);
    }

    // File names as an attacker makes them, given as the bytes they are: each file is found
    // and written, and what pintu-render says of one it refuses shows the name with its
    // controls and bytes that are not UTF-8 escaped, never acted on by the terminal.
    void hostileNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown"); // as the refusal shows it
        QTest::newRow("terminal title") << "\x1B]0;owned\x07.png"_ba << u"\\x1B]0;owned\\x07.png"_s;
        QTest::newRow("clear the screen") << "\x1B[2J\x1B[H.png"_ba << u"\\x1B[2J\\x1B[H.png"_s;
        QTest::newRow("C1 control sequence introducer, as UTF-8") << "\xC2\x9B"
                                                                     "31m.png"_ba
                                                                  << u"\\u009B31m.png"_s;
        QTest::newRow("C1 control sequence introducer, a byte") << "\x9B"
                                                                   "31m.png"_ba
                                                                << u"\\x9B31m.png"_s;
        QTest::newRow("lone 0xFF byte") << "a\xFF.png"_ba << u"a\\xFF.png"_s;
        QTest::newRow("overlong sequence") << "a\xC0\xAE.png"_ba << u"a\\xC0\\xAE.png"_s;
        QTest::newRow("newline and return") << "a\nb\rc.png"_ba << u"a\\nb\\rc.png"_s;
        QTest::newRow("right-to-left override") << "\xE2\x80\xAEgnp.exe"_ba << u"\\u202Egnp.exe"_s;
        QTest::newRow("a backslash of its own") << "a\\x1B.png"_ba << u"a\\\\x1B.png"_s;
        QTest::newRow("Chinese stays") << "\xE8\xB2\x93.png"_ba << u"貓.png"_s;
    }
    void hostileNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        const QByteArray folder = QFile::encodeName(m_dir.path()) + '/';
        const QByteArray in = folder + name, out = folder + "out-" + name + ".png";
        auto remove = qScopeGuard([&] {
            ::unlink(in.constData());
            ::unlink(out.constData());
        });
        const auto write = [&](const QByteArray &bytes) {
            return bool(std::ofstream(in.constData(), std::ios::binary) << bytes.toStdString());
        };
        // A picture: found and written, by the names' own bytes.
        QVERIFY(write(encoded(quadrants({12, 8}), "png")));
        auto [code, said] = renderWith({in, out});
        QVERIFY2(code == 0, said.constData());
        QFile written;
        const int fd = ::open(out.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0 && written.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(QImage::fromData(written.readAll()).size(), QSize(12, 8));
        written.close();
        ::unlink(out.constData());
        // Not a picture: refused, the name escaped, nothing written.
        QVERIFY(::unlink(in.constData()) == 0 && write("not a picture"));
        std::tie(code, said) = renderWith({in, out});
        QCOMPARE(code, 1);
        QVERIFY2(terminalControls(said).isEmpty(), qPrintable(terminalControls(said)));
        const QString text = QString::fromUtf8(said);
        QVERIFY2(text.contains(u"「"_s + shown + u"」"_s), qPrintable(text));
        QVERIFY(::access(out.constData(), F_OK) != 0);
        // Gone: the same.
        QVERIFY(::unlink(in.constData()) == 0);
        std::tie(code, said) = renderWith({in, out});
        QCOMPARE(code, 1);
        QVERIFY2(terminalControls(said).isEmpty(), qPrintable(terminalControls(said)));
        QVERIFY2(QString::fromUtf8(said).contains(u"找不到圖片「"_s + shown), said.constData());
    }

    // An output it cannot write is named escaped too, with the system's reason in words.
    void unwritable()
    {
        const QByteArray folder = QFile::encodeName(m_dir.path()) + '/';
        const QByteArray in = folder + "fine.png";
        QVERIFY(writeFile(QFile::decodeName(in), encoded(quadrants({12, 8}), "png")));
        const auto [code, said] = renderWith({in, folder + "no\x1B]0;x\x07/\xFF.png"});
        QCOMPARE(code, 1);
        QVERIFY2(terminalControls(said).isEmpty(), qPrintable(terminalControls(said)));
        const QString text = QString::fromUtf8(said);
        QVERIFY2(text.contains(u"no\\x1B]0;x\\x07/\\xFF.png"_s) &&
                     text.contains(u"找不到這個檔案或資料夾"_s),
                 qPrintable(text));
    }
};

QTEST_MAIN(TestRender)
#include "tst_render.moc"
