// File names as the disk holds them: whatever bytes a name holds, the game lists it, makes its
// path and opens it by those same bytes, and never takes one name for another that looks alike.
#include "loading/filenames.h"
#include "loading/picturefile.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Writes bytes to the file whose name is the bytes name, inside folder (its bytes too).
bool writeNative(const QByteArray &folder, const QByteArray &name, const QByteArray &bytes)
{
    const QByteArray path = folder + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

QByteArray readAllOf(int fd)
{
    QByteArray out;
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        out.append(buffer, n);
    return out;
}

} // namespace

class TestFileNames : public QObject
{
    Q_OBJECT
private slots:
    // Names as a player's disk may hold them, each beside a name it could be taken for. Each
    // file holds its own name, so that what is opened shows which file it was.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("twin"); // a name it must not be taken for; none: empty
        QTest::addColumn<QString>("text");    // how the name reads, when it is UTF-8
        QTest::newRow("byte order mark at the start") << "\xEF\xBB\xBF"
                                                         "a.bmp"_ba
                                                      << "a.bmp"_ba << u"\uFEFFa.bmp"_s;
        QTest::newRow("byte order mark in the middle") << "a\xEF\xBB\xBF"
                                                          "b.bmp"_ba
                                                       << "ab.bmp"_ba << u"a\uFEFFb.bmp"_s;
        QTest::newRow("byte order mark alone") << "\xEF\xBB\xBF"_ba << QByteArray() << u"\uFEFF"_s;
        QTest::newRow("zero-width space") << "a\xE2\x80\x8B"
                                             "b.bmp"_ba
                                          << "ab.bmp"_ba << u"a\u200Bb.bmp"_s;
        QTest::newRow("combining marks") << "a\xCC\x81\xCC\xA3.bmp"_ba
                                         << "a.bmp"_ba << u"a\u0301\u0323.bmp"_s;
        QTest::newRow("composed and decomposed twins") << "\xC3\xA9.bmp"_ba
                                                       << "e\xCC\x81.bmp"_ba << u"\u00E9.bmp"_s;
        QTest::newRow("decomposed and composed twins") << "e\xCC\x81.bmp"_ba
                                                       << "\xC3\xA9.bmp"_ba << u"e\u0301.bmp"_s;
        QTest::newRow("outside the basic plane")
            << "\xF0\x9F\x90\xB1.bmp"_ba << QByteArray() << u"\U0001F431.bmp"_s;
        QTest::newRow("lone 0xFF byte") << "a\xFF.bmp"_ba
                                        << "a\xEF\xBF\xBD.bmp"_ba << QString();
        QTest::newRow("lone continuation bytes") << "\x80\xBF.bmp"_ba << QByteArray() << QString();
        QTest::newRow("overlong slash") << "a\xC0\xAF.bmp"_ba << QByteArray() << QString();
        QTest::newRow("overlong three bytes") << "\xE0\x80\xAF.bmp"_ba << QByteArray() << QString();
        QTest::newRow("lone surrogate in UTF-8")
            << "\xED\xA0\x80.bmp"_ba << QByteArray() << QString();
        QTest::newRow("surrogate pair in UTF-8")
            << "\xED\xA0\xBD\xED\xB0\xB1.bmp"_ba << QByteArray() << QString();
        QTest::newRow("past U+10FFFF") << "\xF4\x90\x80\x80.bmp"_ba << QByteArray() << QString();
        QTest::newRow("cut sequence at the end") << "a.bmp\xE6\x96"_ba
                                                 << "a.bmp"_ba << QString();
        QTest::newRow("what an escaped byte would read as") << "\xED\xB3\xBF.bmp"_ba
                                                            << "\xFF.bmp"_ba << QString();
        QTest::newRow("Big5") << "\xB9\xCF.bmp"_ba << QByteArray() << QString();
        QTest::newRow("control characters")
            << "a\nb\rc\x1B]0;x\x07.bmp"_ba << QByteArray() << u"a\nb\rc\x1B]0;x\x07.bmp"_s;
    }
    void roundTrip()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, twin);
        QFETCH(QString, text);
        const QString decoded = picture::fromNative(name);
        QCOMPARE(picture::toNative(decoded), name);
        if (!text.isNull())
            QCOMPARE(decoded, text);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QByteArray folder = QFile::encodeName(dir.path());
        // Qt cannot remove what it cannot name: the files go by their bytes.
        auto remove = qScopeGuard([&] {
            for (const QByteArray &each : {name, twin})
                ::unlink((folder + '/' + each).constData());
        });
        QVERIFY(writeNative(folder, name, name));
        if (!twin.isEmpty())
            QVERIFY(writeNative(folder, twin, twin));
        // Listed, joined into a path and opened by that path: each its own file.
        const QList<picture::FolderEntry> entries = picture::listFolder(dir.path());
        QCOMPARE(entries.size(), twin.isEmpty() ? 1 : 2);
        QList<QByteArray> opened;
        for (const picture::FolderEntry &entry : entries) {
            QVERIFY(!entry.isFolder);
            const QString path = dir.path() + u'/' + entry.name;
            const picture::PictureFile file(path);
            QVERIFY2(!file.refusal().isRefused(),
                     picture::toNative(entry.name).toHex().constData());
            QVERIFY(picture::stampOf(path).isValid());
            const QByteArray held = readAllOf(file.descriptor());
            QCOMPARE(held, picture::toNative(entry.name));
            opened.append(held);
            // And by its name alone, from its folder, as a tool is given it.
            const QString before = QDir::currentPath();
            QVERIFY(QDir::setCurrent(dir.path()));
            const picture::PictureFile relative(entry.name);
            QVERIFY(QDir::setCurrent(before));
            QVERIFY2(!relative.refusal().isRefused(),
                     picture::toNative(entry.name).toHex().constData());
            QCOMPARE(readAllOf(relative.descriptor()), held);
        }
        QVERIFY(opened.contains(name));
        QVERIFY(twin.isEmpty() || opened.contains(twin));
    }
};

QTEST_APPLESS_MAIN(TestFileNames)
#include "tst_filenames.moc"
