// The MIME types the game reads, said in one place (loading/kinds.h), are the ones its desktop
// entry and its AppStream metadata offer it for: a file manager then offers "Open With" for
// exactly the pictures the game can open.
#include "loading/kinds.h"

#include <QFile>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

QString packaging(const char *name)
{
    return QStringLiteral(PINTU_PACKAGING_DIR "/") + QString::fromLatin1(name);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The desktop entry's MimeType= list, as written (";" after each).
QStringList desktopTypes(const QByteArray &entry)
{
    for (const QByteArray &line : entry.split('\n'))
        if (line.startsWith("MimeType="))
            return QString::fromUtf8(line.mid(9)).split(u';', Qt::SkipEmptyParts);
    return {};
}

// The <mediatype> elements inside the component's <provides>.
QStringList appStreamTypes(const QByteArray &metainfo)
{
    QStringList types;
    QXmlStreamReader xml(metainfo);
    bool provides = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"provides")
            provides = true;
        else if (xml.isEndElement() && xml.name() == u"provides")
            provides = false;
        else if (provides && xml.isStartElement() && xml.name() == u"mediatype")
            types.append(xml.readElementText().trimmed());
    }
    return xml.hasError() ? QStringList{u"(not well-formed XML)"_s} : types;
}

} // namespace

class TestMimeTypes : public QObject
{
    Q_OBJECT
private slots:
    void offered_data()
    {
        QTest::addColumn<QStringList>("types");
        QTest::newRow("desktop entry") << desktopTypes(contents(packaging("pintu.desktop")));
        QTest::newRow("AppStream")
            << appStreamTypes(contents(packaging("example.pintu.Pintu.metainfo.xml")));
    }
    // Each offers every type the game reads, once, and nothing else.
    void offered()
    {
        QFETCH(QStringList, types);
        const QStringList read = picture::mimeTypes();
        QCOMPARE(QSet<QString>(types.begin(), types.end()).size(), types.size());
        QStringList offered = types, wanted = read;
        offered.sort();
        wanted.sort();
        QCOMPARE(offered, wanted);
    }

    // "Open With" hands the game the file: the entry's command takes one.
    void takesAFile()
    {
        const QByteArray entry = contents(packaging("pintu.desktop"));
        QVERIFY(entry.split('\n').contains("Exec=pintu %f"));
    }

    // Every type the game reads is taken from a clipboard, once; PNG, which keeps transparency,
    // before all others, and JPEG, which loses detail, after every other.
    void pasted()
    {
        const QStringList pasted = picture::pasteMimeTypes();
        QStringList sorted = pasted, read = picture::mimeTypes();
        sorted.sort();
        read.sort();
        QCOMPARE(sorted, read);
        QCOMPARE(pasted.first(), u"image/png"_s);
        QCOMPARE(pasted.last(), u"image/jpeg"_s);
        // The metafile's two names stand together, its usual one first.
        QCOMPARE(pasted.indexOf(u"image/x-wmf"_s), pasted.indexOf(u"image/wmf"_s) + 1);
    }
};

QTEST_MAIN(TestMimeTypes)
#include "tst_mimetypes.moc"
