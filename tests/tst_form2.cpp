// The picture chooser driven as a player would, over a folder tree made here, and the hand-over
// between the two windows through the window registry.
#include "testpictures.h"
#include "testsupport.h"
#include "windows/application.h"
#include "windows/assetfiles.h"
#include "windows/chinesefont.h"
#include "windows/drivelist.h"
#include "windows/filelist.h"
#include "windows/folderlist.h"
#include "windows/form2.h"
#include "windows/pathlabel.h"
#include "windows/windowregistry.h"

#include "loading/folderreading.h"
#include "loading/refusaltext.h"
#include "loading/spare.h"

#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QWindow>

#include <cerrno>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

namespace {

// The exit code with which a test ends the event loop itself.
constexpr int StillRunning = 7;

// The files of the tree's top folder that the chooser lists, in their order.
const QString Listed = u"a.JPG B.bmp c.Gif f.jpeg g.png h.JPE k.WebP m.HEIC n.heif o.AVIF pipe.gif "
                       u"q.WMF r.Jxl s.Svg t.TIF u.tiff wide.bmp"_s;

// A file name that would draw B.bmp where it is taken for markup.
const QByteArray Markup = R"(<img src="B.bmp" width="300" height="30">.bmp)";

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

// Clicks the entry named text (double-clicks with twice), as the player would with the mouse,
// and waits while the chooser reads a clicked file for its preview, away from the window.
bool clickEntry(QListWidget *list, const QString &text, bool twice = false)
{
    const QList<QListWidgetItem *> found = list->findItems(text, Qt::MatchExactly);
    if (found.size() != 1)
        return false;
    list->scrollToItem(found.first());
    const QPoint at = list->visualItemRect(found.first()).center();
    if (twice) // through the window, so that Qt itself sees press, release, press, release
        QTest::mouseDClick(list->window()->windowHandle(), Qt::LeftButton, {},
                           list->viewport()->mapTo(list->window(), at));
    else
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    auto *chooser = static_cast<Form2 *>(list->window());
    return QTest::qWaitFor([chooser] { return !chooser->isDecoding(); });
}

// A chooser, a new one unless given, and its lists.
// The decoding processes this process has started that are at work: all but the idle spare.
QStringList busyDecoders()
{
    QStringList found;
    const QString me = QString::number(::getpid());
    const QString idle = QString::number(picture::Spares::instance().idleProcessId());
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile status(u"/proc/%1/status"_s.arg(pid));
        if (pid != idle && status.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromLatin1(status.readAll());
            if (text.startsWith(u"Name:\tpintu-decode"_s) &&
                text.contains(u"\nPPid:\t"_s + me + u'\n') && !text.contains(u"State:\tZ"_s))
                found.append(pid);
        }
    }
    return found;
}

bool isRunning(const QString &pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    return status.open(QIODevice::ReadOnly) && !status.readAll().contains("State:\tZ");
}

// How long the event loop went without a turn while this lives: a window that answers takes a
// turn every few milliseconds.
class Responsiveness
{
public:
    Responsiveness()
    {
        m_since.start();
        m_ticks.setInterval(5);
        QObject::connect(&m_ticks, &QTimer::timeout,
                         [this] { m_longest = qMax(m_longest, m_since.restart()); });
        m_ticks.start();
    }
    qint64 longestPause() const { return qMax(m_longest, m_since.elapsed()); }

private:
    QTimer m_ticks;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// A drive that stops answering or fails where it is asked to (fuse/hungdrive.py), mounted under
// /mnt, where the chooser lists it among the drives.
struct HungDrive
{
    const QString name; // of its mount point
    QString mountPoint;
    QString problem; // why it could not be mounted
    QProcess server;
    QTemporaryDir control;

    explicit HungDrive(const QString &name) : name(name) {}

    bool mount(const QString &picture)
    {
        if (!mountPoint.isEmpty())
            return true;
        const QString point = u"/mnt/pintu-%1-%2"_s.arg(name).arg(::getpid());
        if (!QDir().mkpath(point))
            return fail(u"cannot make "_s + point);
        server.setProcessChannelMode(QProcess::ForwardedChannels);
        server.start(u"/usr/bin/python3"_s, {QStringLiteral(PINTU_TESTS_DIR "/fuse/hungdrive.py"),
                                             point, control.filePath(u"go-on"_s), picture});
        const bool mounted = QTest::qWaitFor(
            [&] { return mountedAt(point) || server.state() == QProcess::NotRunning; }, 10000);
        if (!mounted || !mountedAt(point))
            return fail(u"the FUSE file system did not mount (python3-fusepy installed?)"_s);
        mountPoint = point;
        return true;
    }
    void unmount()
    {
        if (mountPoint.isEmpty())
            return;
        writeFile(control.filePath(u"go-on"_s), "go on"); // what hangs goes on, and ends
        QProcess::execute(u"umount"_s, {u"-l"_s, mountPoint});
        server.waitForFinished(5000);
        QDir().rmdir(mountPoint);
    }
    bool fail(const QString &why)
    {
        problem = why;
        return false;
    }
    static bool mountedAt(const QString &point)
    {
        QFile table(u"/proc/self/mountinfo"_s);
        return table.open(QIODevice::ReadOnly) &&
               table.readAll().contains(' ' + QFile::encodeName(point) + ' ');
    }
};

struct Chooser
{
    QPointer<Form2> form;
    DriveList *drive1 = child<DriveList>(form, "Drive1");
    FolderList *dir1 = child<FolderList>(form, "Dir1");
    FileList *file1 = child<FileList>(form, "File1");
    explicit Chooser(Form2 *given = new Form2) : form(given) {}
    bool show() { return showAndWait(form, true); }
    // Drive, folder of each list, chosen path and the listed files.
    QStringList state() const
    {
        return {drive1->drive(), dir1->path(), file1->folder(), form->path(),
                texts(file1).join(u' ')};
    }
};

// Makes or changes a row's file or folder at the path it is given; false when it cannot.
using Fixture = std::function<bool(const QString &path)>;
const Fixture nothing = [](const QString &) { return true; };
const Fixture damaged = [](const QString &path) { return writeFile(path, "BM and nothing"); };
const Fixture folder = [](const QString &path) { return QDir().mkdir(path); };
const Fixture removed = [](const QString &path) {
    return QFile::remove(path) || QDir(path).removeRecursively();
};
const Fixture linkLoop = [](const QString &path) { return QFile::link(path, path); };
const Fixture nowFile = [](const QString &path) { return removed(path) && writeFile(path, "x"); };
const Fixture aPicture = [](const QString &path) {
    return writeFile(path, encoded(quadrants({30, 20}), "bmp"));
};
// The decoding process from now on misbehaves as told (see pintu-decode's test hooks).
Fixture decoderThat(const char *hook)
{
    return [hook](const QString &) {
        picture::DecodeJob::setProgram(QStringLiteral(PINTU_DECODE_HOOKS));
        qputenv("PINTU_DECODE_HOOK", hook);
        return true;
    };
}

// Writes bytes to the file whose path is the bytes path: a name Qt could not spell.
bool writeNative(const QByteArray &path, const QByteArray &bytes)
{
    return bool(std::ofstream(path.constData(), std::ios::binary) << bytes.toStdString());
}

// The list's entry for the file whose name is the bytes name.
QListWidgetItem *entryOf(const QListWidget *list, const QByteArray &name)
{
    for (int i = 0; i < list->count(); ++i)
        if (picture::toNative(list->item(i)->data(FileList::NameRole).toString()) == name)
            return list->item(i);
    return nullptr;
}

// Clicks an entry with the mouse and waits until its file has been read.
bool clickItem(QListWidget *list, QListWidgetItem *item)
{
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    auto *chooser = static_cast<Form2 *>(list->window());
    return QTest::qWaitFor([chooser] { return !chooser->isDecoding(); });
}

// What breaks a line or draws nothing of its own: no name may bring one into a line of text.
bool breaksOrHides(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029 ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069 && u != 0x2068);
}

} // namespace

Q_DECLARE_METATYPE(Fixture)

class TestForm2 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tree;
    QString m_largePhoto;             // made by the first test that needs it
    HungDrive m_hungDrive{u"hung"_s}; // mounted by the first test that needs it
    // The same, apart: once a request hangs, the whole drive may wait.
    HungDrive m_failingDrive{u"failing"_s};
    QString m_root; // the tree's top folder, the process's current folder in each test
    Watch m_watch;

    QString at(const QString &name) const { return QDir::cleanPath(m_root + u'/' + name); }

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        m_root = QDir::cleanPath(QFileInfo(m_tree.path()).canonicalFilePath());
        QVERIFY(QDir::setCurrent(m_root)); // where every test starts
        // Pictures in mixed-case names, folders, files listed or left out by their names alone,
        // and a FIFO.
        const QList<std::pair<QString, QSize>> pictures = {
            {u"a.JPG"_s, {120, 90}}, {u"B.bmp"_s, {60, 40}}, {u"wide.bmp"_s, {400, 50}}};
        for (const auto &[name, size] : pictures)
            QVERIFY(writeFile(at(name), encoded(quadrants(size), "bmp"))); // read by content
        QVERIFY(writeFile(at(u"k.WebP"_s), encoded(quadrants({80, 60}), "webp", 100)));
        for (const QString &name : {u"sub/deeper"_s, u"Sub2"_s, u"x.jpg"_s, u".hiddendir"_s})
            QVERIFY(QDir().mkpath(at(name)));
        for (const QString &name : u"c.Gif f.jpeg g.png h.JPE m.HEIC n.heif o.AVIF q.WMF r.Jxl "
                                   u"s.Svg t.TIF u.tiff "
                                   u"sub/inner.bmp .hiddendir/h.bmp e.jpg.txt notes.txt "
                                   u".hidden.bmp bmp jpg"_s.split(u' '))
            QVERIFY(writeFile(at(name), "text"));
        QCOMPARE(::mkfifo(QFile::encodeName(at(u"pipe.gif"_s)).constData(), 0600), 0);
        // Hostile names, made by their bytes: markup, Big5, neither UTF-8 nor Big5, and a
        // picture in a Big5 folder.
        const QByteArray odd = QFile::encodeName(at(u"odd"_s)) + '/',
                         big5Folder = "\xb8\xea\xae\xc6";
        QVERIFY(QDir().mkdir(at(u"odd"_s)) && ::mkdir((odd + big5Folder).constData(), 0700) == 0);
        const QByteArray bmp = encoded(quadrants({30, 20}), "bmp");
        for (const QByteArray &name : {Markup, QByteArray("\xb9\xcf.bmp"),
                                       QByteArray("bad\xff.bmp"), big5Folder + "/inner.bmp"})
            QVERIFY(std::ofstream((odd + name).constData(), std::ios::binary) << bmp.toStdString());
    }

    // Nothing a test left open or changed may leak into the next.
    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            w->close();
        settle();
        QVERIFY(QDir::setCurrent(m_root));
        picture::DecodeJob::setProgram({});
        picture::DecodeJob::setStandardBudget({});
        picture::FolderReader::setSilentMilliseconds(10000);
        qunsetenv("PINTU_DECODE_HOOK");
        m_watch.said.clear();
        m_watch.bareMoments = 0;
        m_watch.answers = true;
    }

    // Qt cannot name what is inside by its bytes, so it could not remove it.
    void cleanupTestCase()
    {
        m_hungDrive.unmount();
        m_failingDrive.unmount();
        std::system(qPrintable(u"rm -rf '%1'"_s.arg(at(u"odd"_s))));
    }

    // The chooser as it opens: where its controls stand and what they say, to a screen reader
    // too; the folders from the root down to the process's current folder, then its visible
    // subfolders; the machine's own drives. The options are one group, and Tab follows the tab
    // indices, entering the group at the selected option.
    void opening()
    {
        Chooser c;
        QVERIFY(c.show());
        QCOMPARE(c.form->windowTitle(), u"Form2"_s);
        QCOMPARE(c.form->size(), QSize(639, 614));
        QVERIFY(!c.form->testAttribute(Qt::WA_Moved)); // placed by the window system
        const QList<std::tuple<const char *, QString, QRect>> controls = {
            {"Drive1", {}, {0, 0, 225, 20}},
            {"Dir1", {}, {0, 24, 225, 118}},
            {"File1", {}, {0, 144, 225, 174}},
            {"Frame1", u"圖片顯示方式"_s, {0, 328, 225, 169}},
            {"Option1", u"直接顯示"_s, {32, 344, 81, 41}},
            {"Option2", u"拉幕"_s, {32, 376, 73, 41}},
            {"Option3", u"交叉顯示"_s, {32, 416, 81, 25}},
            {"Option4", u"雨滴"_s, {32, 440, 73, 41}},
            {"Command1", u"定確載入圖片"_s, {120, 352, 89, 129}},
            {"Image1", {}, {232, 0, 345, 497}},
            {"Label1", u"圖片位置"_s, {0, 512, 73, 25}},
            {"Label2", {}, {80, 512, 353, 41}},
        };
        for (const auto &[name, caption, geometry] : controls) {
            QWidget *control = child(c.form, name);
            QVERIFY2(control->isVisible(), name);
            QCOMPARE(QRect(control->mapTo(c.form, QPoint()), control->size()), geometry);
            const char *property = qobject_cast<QGroupBox *>(control) ? "title" : "text";
            QCOMPARE(control->property(property).toString(), caption);
            QCOMPARE(control->font(), name[0] == 'L' ? mingFont(12) : c.form->font());
            QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(control);
            QString said = spoken->text(QAccessible::Name);
            for (const auto &[label, relation] : spoken->relations(QAccessible::Label))
                said += label->text(QAccessible::Name);
            QVERIFY2(said.contains(QRegularExpression(u"\\p{Han}"_s)), name);
        }
        auto *command1 = child<QPushButton>(c.form, "Command1");
        QVERIFY(!command1->isDefault() && !command1->autoDefault());

        const QStringList chain = QStringList{u"/"_s} + m_root.split(u'/', Qt::SkipEmptyParts);
        QCOMPARE(texts(c.dir1), (chain + QStringList{u"odd"_s, u"sub"_s, u"Sub2"_s, u"x.jpg"_s}));
        for (int i = 0; i < c.dir1->count(); ++i) // each one step deeper; subfolders alike
            QCOMPARE(c.dir1->item(i)->data(FolderList::DepthRole).toInt(), qMin(i, chain.size()));
        const QStringList drives = c.drive1->drives();
        QVERIFY(drives.first() == u"/"_s && drives.contains(QDir::cleanPath(QDir::homePath())));
        QCOMPARE(drives.filter(QRegularExpression(u"^/(proc|sys|dev)(/|$)"_s)), QStringList());

        child<QRadioButton>(c.form, "Option3")->click(); // had it another group, Tab would go on
        command1->setFocus();                            // to Option1, still selected there
        for (const char *next : {"Option3", "File1", "Dir1", "Drive1", "Command1"}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), child(c.form, next));
        }
    }

    // The lists start at the process's current folder, on the deepest drive that holds it: the
    // system root, the home folder or a mounted medium (folders of the tree stand in for them).
    // When that folder has gone (removed, or too deep to name) they start at its nearest folder
    // that exists, else at the home folder. Picking "/" then lists from the system root, each
    // of its folders named without a doubled separator; picking the start's drive again goes
    // back to the start.
    void startFolder_data()
    {
        QTest::addColumn<QStringList>("drives");
        QTest::addColumn<QString>("current");
        QTest::addColumn<int>("deeper");     // folders of 200 characters made and entered below it
        QTest::addColumn<Fixture>("change"); // to the current folder, once entered
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("drive"); // the one that holds start
        const QString sub = at(u"sub"_s), deeper = at(u"sub/deeper"_s), gone = at(u"gone"_s);
        const QStringList two = {u"/"_s, sub};
        QTest::newRow("the deeper of two")
            << two + QStringList{deeper} << deeper << 0 << nothing << deeper << 2;
        QTest::newRow("removed") << two << gone << 2 << removed << m_root << 0;
        QTest::newRow("deeper than 4096 characters")
            << two << gone << 22 << nothing << QDir::cleanPath(QDir::homePath()) << 0;
    }
    void startFolder()
    {
        QFETCH(QStringList, drives);
        QFETCH(QString, current);
        QFETCH(int, deeper);
        QFETCH(Fixture, change);
        QFETCH(QString, start);
        QFETCH(int, drive);
        auto restore = qScopeGuard([&] {
            DriveList::setDriveSource({});
            QDir::setCurrent(m_root);
            std::system(qPrintable(u"rm -rf '%1'"_s.arg(at(u"gone"_s)))); // too deep for Qt
        });
        DriveList::setDriveSource([drives] { return drives; });
        QVERIFY(QDir().mkpath(current) && QDir::setCurrent(current));
        const QByteArray part(200, 'd');
        for (int i = 0; i < deeper; ++i)
            QVERIFY(::mkdir(part.constData(), 0700) == 0 && ::chdir(part.constData()) == 0);
        QVERIFY(change(current));

        Chooser c;
        QVERIFY(c.show());
        const QString top = drives[drive];
        QCOMPARE(c.drive1->drive(), top);
        QCOMPARE(c.dir1->path(), start);
        const QStringList below = start.mid(top.size()).split(u'/', Qt::SkipEmptyParts);
        QCOMPARE(texts(c.dir1).mid(0, below.size() + 1), QStringList{top} + below);

        c.drive1->setCurrentIndex(0); // the player picks "/"
        QCOMPARE((QStringList{c.drive1->drive(), c.dir1->root(), texts(c.dir1).first()}),
                 (QStringList{u"/"_s, u"/"_s, u"/"_s}));
        QCOMPARE(c.dir1->item(1)->data(FolderList::PathRole).toString(), u'/' + texts(c.dir1)[1]);
        c.drive1->setCurrentIndex(drive);
        QCOMPARE((QStringList{c.dir1->path(), c.file1->folder()}), (QStringList{start, start}));
    }

    // A click on a file, in a folder opened on the way, or moving through the file list with the
    // keys (a name's first letter: the refusal rows), writes the full path without a message, as
    // plain text that reads as the names' own characters (Big5 decoded), and shows the picture
    // stretched over the whole preview, upright, whatever its proportions: enlarged in blocks of
    // its own colours, not smoothed. Hostile names open by their own bytes.
    void preview_data()
    {
        QTest::addColumn<QString>("clicked");   // below the tree, as the lists show it
        QTest::addColumn<QKeySequence>("keys"); // then
        QTest::addColumn<QString>("name");      // shown, below the tree
        QTest::addColumn<bool>("blocks");
        const QKeySequence none;
        const QString markup = u"odd/"_s + QString::fromLatin1(Markup), big5 = u"odd/圖.bmp"_s,
                      bad = u"odd/bad\uFFFD.bmp"_s, inBig5 = u"odd/資料/inner.bmp"_s;
        QTest::newRow("eight times wider than high")
            << u"wide.bmp"_s << none << u"wide.bmp"_s << false;
        QTest::newRow("arrow down")
            << u"a.JPG"_s << QKeySequence(Qt::Key_Down) << u"B.bmp"_s << true;
        QTest::newRow("markup that reads a file") << markup << none << markup << true;
        QTest::newRow("Big5") << big5 << none << big5 << true;
        QTest::newRow("neither UTF-8 nor Big5") << bad << none << bad << true;
        QTest::newRow("Big5 folder") << inBig5 << none << inBig5 << true;
    }
    void preview()
    {
        QFETCH(QString, clicked);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, name);
        QFETCH(bool, blocks);
        Chooser c;
        QVERIFY(c.show());
        const QStringList steps = clicked.split(u'/');
        for (const QString &folder : steps.mid(0, steps.size() - 1))
            QVERIFY(clickEntry(c.dir1, folder, true));
        QVERIFY(clickEntry(c.file1, steps.last()));
        QTest::keySequence(c.file1, keys);
        QTRY_VERIFY(!c.form->isDecoding());
        QCOMPARE(m_watch.said, QStringList());
        auto *label2 = child<QLabel>(c.form, "Label2");
        QCOMPARE(label2->text(), at(name));
        QCOMPARE(label2->textFormat(), Qt::PlainText); // never markup, whatever the name says

        // Stretched: the preview's quarters show the picture's (its corners: the e2e test).
        const QImage preview = c.form->preview(), shown = screen(child(c.form, "Image1"));
        QCOMPARE(preview.size(), QSize(345, 497));
        QVERIFY2(quartersDiffer(shown).isEmpty(), qPrintable(quartersDiffer(shown)));
        int blended = 0;
        for (int y = 0; y < preview.height(); ++y) {
            for (int x = 0; x < preview.width(); ++x)
                blended += !Upright.contains(preview.pixelColor(x, y));
        }
        QCOMPARE(blended == 0, blocks);
    }

    // A file that cannot be previewed or confirmed, a folder that went away after it was
    // listed, a drive that cannot be read: a message saying why, and the chooser stays with
    // the choice standing and its lists showing what is there now.
    void refused_data()
    {
        QTest::addColumn<QString>("target"); // in a folder of its own, where pics/ is current
        QTest::addColumn<Fixture>("make");
        QTest::addColumn<Fixture>("change");  // once a.bmp is chosen
        QTest::addColumn<QString>("keys");    // control: keys; a letter in a list selects by name
        QTest::addColumn<QString>("message"); // what it says, {path} for the target's path
        QTest::addColumn<bool>("listed");     // the target, afterwards
        const QString pick = u"File1: L"_s, open = u"Dir1: V, Return"_s, drive = u"Drive1: Down"_s;
        QTest::newRow("symbolic link loop") << u"pics/loop.gif"_s << linkLoop << nothing << pick
                                            << u"無法開啟圖片「loop.gif」"_s << true;
        QTest::newRow("picture removed since listed")
            << u"pics/lost.bmp"_s << damaged << removed << pick << u"找不到圖片"_s << false;
        QTest::newRow("folder removed since listed")
            << u"pics/vanishing"_s << folder << removed << open << u"找不到資料夾"_s << false;
        QTest::newRow("drive removed since listed")
            << u"drive"_s << folder << removed << drive << u"找不到資料夾「{path}」"_s << false;
        QTest::newRow("drive now a file")
            << u"drive"_s << folder << nowFile << drive << u"「{path}」不是資料夾"_s << false;
        QTest::newRow("chosen picture damaged")
            << u"pics/a.bmp"_s << nothing << damaged << u"Command1: Space"_s
            << u"無法讀取圖片「a.bmp」"_s << true;
        // The decoding process fails; the game goes on as if the file had been refused.
        QTest::newRow("decoding process crashes")
            << u"pics/later.bmp"_s << aPicture << decoderThat("crash") << pick
            << u"讀取這張圖片的程式意外中止了"_s << true;
        // A decoder taken over by the file tries to read the player's files: its walls stop
        // it, and the player hears the same.
        QTest::newRow("decoding process taken over")
            << u"pics/later.bmp"_s << aPicture << decoderThat("read-passwd") << pick
            << u"讀取這張圖片的程式意外中止了"_s << true;
        // A control that would turn the message around turns nothing, in the list neither.
        QTest::newRow("name with a right-to-left override")
            << u"pics/\u202Eevil.bmp"_s << damaged << nothing << u"File1: End"_s
            << u"「\uFFFDevil.bmp」"_s << true;
    }
    void refused()
    {
        QFETCH(QString, target);
        QFETCH(Fixture, make);
        QFETCH(Fixture, change);
        QFETCH(QString, keys);
        QFETCH(QString, message);
        QFETCH(bool, listed);
        QTemporaryDir here(at(u"refused-XXXXXX"_s));
        const QString pics = here.filePath(u"pics"_s), path = here.filePath(target);
        auto restore = qScopeGuard([] { DriveList::setDriveSource({}); });
        DriveList::setDriveSource([&] { return QStringList{u"/"_s, here.filePath(u"drive"_s)}; });
        QVERIFY(folder(pics) && QDir::setCurrent(pics));
        for (const QString &name : {u"a.bmp"_s, u"b.bmp"_s})
            QVERIFY(writeFile(joinedPath(pics, name), encoded(quadrants({30, 20}), "bmp")));
        QVERIFY(make(path));

        Chooser c;
        QVERIFY(c.show());
        QSignalSpy confirmed(c.form, &Form2::confirmed);
        QVERIFY(clickEntry(c.file1, u"a.bmp"_s));
        const QStringList before = c.state();
        const QImage preview = c.form->preview();
        QVERIFY(change(path));
        const QString entry = QFileInfo(path).fileName();
        QTest::keySequence(child(c.form, qPrintable(keys.section(u':', 0, 0))),
                           QKeySequence(keys.section(u": "_s, 1)));
        QTRY_VERIFY(!c.form->isDecoding());
        QVERIFY2(m_watch.said.size() == 1 &&
                     m_watch.said.first().contains(QString(message).replace(u"{path}"_s, path)),
                 qPrintable(m_watch.said.join(u'|')));
        QCOMPARE(c.state().mid(0, 4), before.mid(0, 4));
        QCOMPARE(c.form->preview(), preview);
        const QString shown = picture::oneLine(entry);
        QCOMPARE(texts(c.file1).contains(shown) || texts(c.dir1).contains(shown), listed);
        QVERIFY(c.form->isVisible() && confirmed.isEmpty());
        picture::DecodeJob::setProgram({});
        QVERIFY(clickEntry(c.file1, u"b.bmp"_s)); // and the chooser goes on
        QTest::mouseClick(child(c.form, "Command1"), Qt::LeftButton);
        QTRY_COMPARE(confirmed.size(), 1);
    }

    // Names made by their bytes, each beside a twin that looks the same or nearly: clicked in
    // the list, each shows its own picture, by its own path.
    void namesOpen_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("twin");
        QTest::newRow("byte order mark at the start") << "\xEF\xBB\xBF"
                                                         "a.bmp"_ba
                                                      << "a.bmp"_ba;
        QTest::newRow("byte order mark in the middle") << "a\xEF\xBB\xBF"
                                                          "b.bmp"_ba
                                                       << "ab.bmp"_ba;
        QTest::newRow("zero-width space") << "a\xE2\x80\x8B"
                                             "b.bmp"_ba
                                          << "ab.bmp"_ba;
        QTest::newRow("combining marks in either order") << "a\xCC\x81\xCC\xA3.bmp"_ba
                                                         << "a\xCC\xA3\xCC\x81.bmp"_ba;
        QTest::newRow("lone 0xFF byte") << "a\xFF.bmp"_ba
                                        << "a\xEF\xBF\xBD.bmp"_ba;
        QTest::newRow("overlong sequence") << "a\xC0\xAE.bmp"_ba
                                           << "a..bmp"_ba;
        QTest::newRow("lone surrogate as UTF-8") << "\xED\xA0\x80.bmp"_ba
                                                 << "\xEF\xBF\xBD.bmp"_ba;
        QTest::newRow("composed and decomposed") << "\xC3\xA9.bmp"_ba
                                                 << "e\xCC\x81.bmp"_ba;
    }
    void namesOpen()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, twin);
        QTemporaryDir here(at(u"names-XXXXXX"_s));
        const QByteArray folder = QFile::encodeName(here.path()) + '/';
        auto remove = qScopeGuard([&] {
            for (const QByteArray &each : {name, twin})
                ::unlink((folder + each).constData());
        });
        const QColor own(200, 30, 60), other(20, 90, 220);
        for (const auto &[bytes, colour] : {std::pair{name, own}, std::pair{twin, other}}) {
            QImage solid(8, 8, QImage::Format_RGB32);
            solid.fill(colour);
            QVERIFY(writeNative(folder + bytes, encoded(solid, "bmp")));
        }
        QVERIFY(QDir::setCurrent(here.path()));
        Chooser c;
        QVERIFY(c.show());
        QCOMPARE(c.file1->count(), 2);
        for (const auto &[bytes, colour] : {std::pair{name, own}, std::pair{twin, other}}) {
            QListWidgetItem *item = entryOf(c.file1, bytes);
            QVERIFY2(item, bytes.toHex().constData());
            QVERIFY(clickItem(c.file1, item));
            QCOMPARE(m_watch.said, QStringList());
            QCOMPARE(picture::toNative(c.form->path()), folder + bytes);
            const QImage preview = c.form->preview();
            QCOMPARE(preview.pixelColor(preview.rect().center()), colour);
        }
    }

    // A name that would break the message, hide in it or stretch it past the screen reads on
    // one line in the real message box, whole or without its middle, and the box fits the
    // screen and shows all it says; the list shows the name on one row.
    void namesInMessages_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown"); // what the message shows of it
        QTest::newRow("newline") << "two\nlines.jpg"_ba << u"two\u240Alines.jpg"_s;
        QTest::newRow("carriage return") << "a\rb.jpg"_ba << u"a\u240Db.jpg"_s;
        QTest::newRow("line separator") << "a\xE2\x80\xA8"
                                           "b.jpg"_ba
                                        << u"a\u2424b.jpg"_s;
        QTest::newRow("paragraph separator") << "a\xE2\x80\xA9"
                                                "b.jpg"_ba
                                             << u"a\u2424b.jpg"_s;
        QTest::newRow("terminal title")
            << "\x1B]0;owned\x07.jpg"_ba << u"\u241B]0;owned\u2407.jpg"_s;
        QTest::newRow("right-to-left override")
            << "\xE2\x80\xAEgpj.exe.jpg"_ba << u"\uFFFDgpj.exe.jpg"_s;
        QTest::newRow("lone 0xFF and a newline") << "a\xFF\n.jpg"_ba << u"a\uFFFD\u240A.jpg"_s;
        QTest::newRow("255 letters") << QByteArray(251, 'n') + ".jpg" << u"nnnnnnnnnn.jpg"_s;
        QTest::newRow("255 letters and newlines")
            << QByteArray("x\n").repeated(125) + "a.jpg" << u"x\u240Aa.jpg"_s;
    }
    void namesInMessages()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        QTemporaryDir here(at(u"messages-XXXXXX"_s));
        const QByteArray path = QFile::encodeName(here.path()) + '/' + name;
        auto remove = qScopeGuard([&] { ::unlink(path.constData()); });
        QVERIFY(writeNative(path, "not a picture"));
        QVERIFY(QDir::setCurrent(here.path()));
        m_watch.answers = false;
        Chooser c;
        QVERIFY(c.show());
        QCOMPARE(c.file1->count(), 1);
        const QString row = c.file1->item(0)->text();

        QString text;
        QRect box, area;
        QStringList cut; // what the box cannot show
        onNextModal([&](QWidget *modal) {
            auto *message = qobject_cast<QMessageBox *>(modal);
            if (!message)
                return;
            text = message->text();
            box = message->frameGeometry();
            area = message->screen()->availableGeometry();
            const auto *label = message->findChild<QLabel *>(u"qt_msgbox_label"_s);
            // Every stretch the label cannot break fits its width, and its height holds every
            // line it breaks into.
            const QFontMetrics metrics(label->font());
            QTextBoundaryFinder lines(QTextBoundaryFinder::Line, text);
            for (qsizetype from = 0, to; (to = lines.toNextBoundary()) > 0; from = to) {
                const QString stretch = text.sliced(from, to - from).trimmed();
                if (metrics.horizontalAdvance(stretch) > label->contentsRect().width())
                    cut.append(stretch);
            }
            if (label->heightForWidth(label->width()) > label->height())
                cut.append(u"lines below the label"_s);
            QTest::mouseClick(message->button(QMessageBox::Ok), Qt::LeftButton);
        });
        QVERIFY(clickItem(c.file1, c.file1->item(0)));
        QTRY_VERIFY(!text.isEmpty());
        const QString quoted = text.section(u'「', 1).section(u'」', 0, -2);
        QVERIFY2(text.startsWith(u"無法讀取圖片「"_s) && quoted.contains(shown), qPrintable(text));
        QVERIFY2(std::ranges::none_of(quoted, breaksOrHides), qPrintable(quoted));
        QVERIFY2(
            area.contains(box),
            qPrintable(
                u"%1 %2 %3 %4"_s.arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u" | "_s)));
        QVERIFY2(std::ranges::none_of(row, breaksOrHides), qPrintable(row));
    }

    // A folder the system will not list says why in the player's words, never the system's.
    void folderErrorWords_data()
    {
        QTest::addColumn<int>("error");
        for (const int error : {ENOTCONN, EIO, ESTALE, ETIMEDOUT, EHOSTDOWN, ELOOP, ENAMETOOLONG,
                                ENOMEM, EMFILE, EINVAL, ENODEV, ENXIO, EBUSY, EAGAIN, 999})
            QTest::addRow("errno %d", error) << error;
    }
    void folderErrorWords()
    {
        QFETCH(int, error);
        const QString text = FolderList::errorText(u"/貓的資料夾"_s, {true, error, {}});
        QVERIFY2(text.startsWith(u"無法讀取資料夾「/貓的資料夾」（"_s) &&
                     !text.contains(QRegularExpression(u"[A-Za-z]"_s)),
                 qPrintable(text));
    }

    // Walking the file list with the keys goes on past a file that is refused: the refused
    // entry stays where the player is, so Down reaches the next file, and one that went away
    // while it was refused leaves its place to the one after it.
    void keyboardWalk_data()
    {
        QTest::addColumn<Fixture>("refusedMeanwhile"); // the second file, as it is refused
        QTest::newRow("damaged") << nothing;
        QTest::newRow("removed") << removed;
    }
    void keyboardWalk()
    {
        QFETCH(Fixture, refusedMeanwhile);
        QTemporaryDir here(at(u"walk-XXXXXX"_s));
        QVERIFY(QDir::setCurrent(here.path()));
        for (const QString &name : {u"1.bmp"_s, u"3.bmp"_s})
            QVERIFY(aPicture(here.filePath(name)));
        const QString second = here.filePath(u"2.bmp"_s);
        QVERIFY(damaged(second));
        Chooser c;
        QVERIFY(c.show());
        QVERIFY(clickEntry(c.file1, u"1.bmp"_s));
        QVERIFY(refusedMeanwhile(second));
        QTest::keyClick(c.file1, Qt::Key_Down);
        QTRY_VERIFY(!c.form->isDecoding());
        QCOMPARE(m_watch.said.size(), 1);
        QTest::keyClick(c.file1, Qt::Key_Down);
        QTRY_VERIFY(!c.form->isDecoding());
        QCOMPARE(m_watch.said.size(), 1);
        QCOMPARE(c.form->path(), here.filePath(u"3.bmp"_s));
    }

    // The path label shows a long path whole, broken anywhere over its two lines, and a longer
    // one without its middle; the whole path is its tooltip and what a screen reader reads.
    void longPath_data()
    {
        QTest::addColumn<int>("depth"); // folders of 30 characters below the tree
        QTest::addColumn<bool>("whole");
        QTest::newRow("two lines") << 1 << true;
        QTest::newRow("past two lines") << 8 << false;
    }
    void longPath()
    {
        QFETCH(int, depth);
        QFETCH(bool, whole);
        QString folder = at(u"long"_s);
        for (int i = 0; i < depth; ++i)
            folder += u"/grub-16x9-emerald-theme-folder"_s;
        QVERIFY(QDir().mkpath(folder) && QDir::setCurrent(folder));
        auto remove = qScopeGuard([this] { QDir(at(u"long"_s)).removeRecursively(); });
        const QString path = folder + u"/grub-16x9.png"_s;
        QVERIFY(writeFile(path, encoded(quadrants({30, 20}), "png")));
        Chooser c;
        QVERIFY(c.show());
        QVERIFY(clickEntry(c.file1, u"grub-16x9.png"_s));
        auto *label2 = child<PathLabel>(c.form, "Label2");
        const QStringList lines = label2->shownLines();
        QCOMPARE(lines.size(), 2);
        const QString shown = lines.join(QString());
        if (whole) {
            QCOMPARE(shown, path);
        } else {
            QVERIFY2(shown.contains(QChar(0x2026)) &&
                         path.startsWith(shown.section(QChar(0x2026), 0, 0)) &&
                         path.endsWith(shown.section(QChar(0x2026), 1)) && shown.size() > 40,
                     qPrintable(shown));
            QVERIFY(shown.endsWith(u"/grub-16x9.png"_s));
        }
        const QFontMetrics metrics(label2->font());
        for (const QString &line : lines)
            QVERIFY(metrics.horizontalAdvance(line) <= label2->width());
        QCOMPARE(label2->text(), path);
        QCOMPARE(label2->accessibleDescription(), path);
        QVERIFY(label2->toolTip().contains(path));
    }

    // A large photo takes a moment to read: the preview says so, the window goes on answering,
    // and the player is never made to wait for it. Clicking another file or closing the chooser
    // ends its decoding process at once; confirming it while it is read hands it over once read.
    void slowPicture_data()
    {
        QTest::addColumn<QString>("then");
        QTest::newRow("another file clicked") << u"click"_s;
        QTest::newRow("the chooser closed") << u"close"_s;
        QTest::newRow("confirmed while read") << u"confirm"_s;
    }
    void slowPicture()
    {
        QFETCH(QString, then);
        if (!QFile::exists(m_largePhoto)) {
            m_largePhoto = at(u"large/photo.jpg"_s);
            QVERIFY(QDir().mkpath(at(u"large"_s)));
            QVERIFY(writeFile(m_largePhoto,
                              encoded(photo({8192, 4096}), "jpeg", 90, true))); // progressive
            QVERIFY(aPicture(at(u"large/small.bmp"_s)));
        }
        QVERIFY(QDir::setCurrent(at(u"large"_s)));
        Chooser c;
        QVERIFY(c.show());
        QSignalSpy confirmed(c.form, &Form2::confirmed);
        auto *busy = child<QLabel>(c.form, "Busy");
        QVERIFY(!busy->isVisible());
        Responsiveness window;
        const QPoint entry = c.file1->visualItemRect(c.file1->item(0)).center();
        QCOMPARE(c.file1->item(0)->text(), u"photo.jpg"_s);
        QTest::mouseClick(c.file1->viewport(), Qt::LeftButton, {}, entry);
        QTRY_VERIFY(busy->isVisible());
        const QStringList working = busyDecoders();
        QCOMPARE(working.size(), 1); // the spare that took the photo, and no other at work
        if (then == u"click") {
            QVERIFY(clickEntry(c.file1, u"small.bmp"_s));
            QCOMPARE(c.form->path(), at(u"large/small.bmp"_s));
            QVERIFY(!busy->isVisible());
        } else if (then == u"close") {
            c.form->close();
            QTRY_VERIFY(!c.form);
        } else {
            QTest::mouseClick(child(c.form, "Command1"), Qt::LeftButton);
            QVERIFY(confirmed.isEmpty()); // not the picture shown before
            QTRY_COMPARE_WITH_TIMEOUT(confirmed.size(), 1, 30000);
            const QImage handed = confirmed.first().first().value<QImage>();
            QCOMPARE(handed.width(), 2 * handed.height()); // the photo's shape
            QCOMPARE(c.form->path(), m_largePhoto);
        }
        if (then != u"confirm") // its process ended on the spot, not once it had done
            QTRY_VERIFY(!isRunning(working.first()));
        QVERIFY2(window.longestPause() < 1000,
                 qPrintable(u"the window stood still %1 ms"_s.arg(window.longestPause())));
        QVERIFY(m_watch.said.isEmpty());
    }

    // A drive that stops answering (a FUSE file system standing in for a network share gone
    // away) never holds the window: opening a file, reading it and looking into a folder all
    // happen apart from it, and the player hears that the drive does not answer. What waits on
    // the drive is left to end in its own time; closing the chooser does not wait for it.
    void hungDrive_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("said");
        QTest::newRow("a file that will not open")
            << u"File1: no-open.jpg"_s << u"存放這個檔案的磁碟等了"_s;
        QTest::newRow("a file whose reading hangs")
            << u"File1: no-read.jpg"_s << u"存放這個檔案的磁碟等了"_s;
        QTest::newRow("a folder that does not answer")
            << u"Dir1: no-answer"_s << u"所在的磁碟沒有回應"_s;
    }
    void hungDrive()
    {
        QFETCH(QString, entry);
        QFETCH(QString, said);
        if (!QFile::exists(u"/dev/fuse"_s))
            QSKIP("no /dev/fuse on this machine: a hung drive cannot be made");
        QVERIFY2(m_hungDrive.mount(at(u"B.bmp"_s)), qPrintable(m_hungDrive.problem));
        const QString root = m_hungDrive.mountPoint;
        // Shorter than a player's limits, so that the test does not take their time.
        picture::DecodeBudget budget;
        budget.silentDriveMilliseconds = 1500;
        picture::DecodeJob::setStandardBudget(budget);
        picture::FolderReader::setSilentMilliseconds(1500);
        QVERIFY(QDir::setCurrent(root));

        Chooser c;
        QVERIFY(c.show());
        QVERIFY2(c.drive1->drives().contains(root), qPrintable(c.drive1->drives().join(u' ')));
        QCOMPARE(c.dir1->path(), root);
        QVERIFY(clickEntry(c.file1, u"good.bmp"_s));
        const QStringList before = c.state();
        const QImage preview = c.form->preview();
        Responsiveness window;
        const bool folder = entry.startsWith(u"Dir1"_s);
        QListWidget *list = folder ? static_cast<QListWidget *>(c.dir1) : c.file1;
        const QList<QListWidgetItem *> found =
            list->findItems(entry.section(u": "_s, 1), Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        const QPoint point = list->visualItemRect(found.first()).center();
        if (folder)
            QTest::mouseDClick(list->window()->windowHandle(), Qt::LeftButton, {},
                               list->viewport()->mapTo(list->window(), point));
        else
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, point);
        QTRY_VERIFY_WITH_TIMEOUT(!m_watch.said.isEmpty(), 10000);
        QVERIFY2(m_watch.said.first().contains(said), qPrintable(m_watch.said.first()));
        QVERIFY2(window.longestPause() < 1000,
                 qPrintable(u"the window stood still %1 ms"_s.arg(window.longestPause())));
        // The choice stands. A FUSE drive serializes what looks into a folder, so with one
        // look hung the whole drive may be: the folder list then goes up to the nearest
        // folder that answers.
        QCOMPARE(c.form->path(), before[3]);
        QCOMPARE(c.form->preview(), preview);
        if (!folder)
            QCOMPARE(c.state(), before);
        QElapsedTimer closing;
        closing.start();
        c.form->close();
        QTRY_VERIFY(!c.form);
        QVERIFY2(closing.elapsed() < 1000, "closing the chooser waited for the drive");
    }

    // A file the drive cannot read, at its start, past its first bytes or past the part the
    // decoding process looks at first: the player hears that it could not be read and why,
    // in words, never that it is damaged, and the choice stands.
    void unreadableFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("nothing can be read") << u"unreadable.bmp"_s;
        QTest::newRow("its first 2 KiB can be read") << u"bad-head.bmp"_s;
        QTest::newRow("its first 128 KiB can be read") << u"bad-tail.bmp"_s;
    }
    void unreadableFile()
    {
        QFETCH(QString, name);
        if (!QFile::exists(u"/dev/fuse"_s))
            QSKIP("no /dev/fuse on this machine: a failing drive cannot be made");
        QVERIFY2(m_failingDrive.mount(at(u"B.bmp"_s)), qPrintable(m_failingDrive.problem));
        QVERIFY(QDir::setCurrent(m_failingDrive.mountPoint));
        Chooser c;
        QVERIFY(c.show());
        QVERIFY(clickEntry(c.file1, u"good.bmp"_s));
        const QImage preview = c.form->preview();
        QVERIFY(clickEntry(c.file1, name));
        QTRY_COMPARE(m_watch.said.size(), 1);
        QCOMPARE(m_watch.said.first(), u"無法讀取圖片「"_s + name +
                                           u"」（存取磁碟時發生錯誤，磁碟或媒體可能有問題）。"_s);
        QCOMPARE(c.form->path(), joinedPath(m_failingDrive.mountPoint, u"good.bmp"_s));
        QCOMPARE(c.form->preview(), preview);
    }

    // Confirming uses the preview's picture while the file is as it was previewed, and decodes
    // the file again once it has changed, without holding the window meanwhile.
    void confirmChanged()
    {
        QTemporaryDir here(at(u"changed-XXXXXX"_s));
        QVERIFY(QDir::setCurrent(here.path()));
        const QString path = here.filePath(u"p.bmp"_s);
        QVERIFY(aPicture(path));
        Chooser c;
        QVERIFY(c.show());
        QSignalSpy confirmed(c.form, &Form2::confirmed);
        QVERIFY(clickEntry(c.file1, u"p.bmp"_s));
        QTest::mouseClick(child(c.form, "Command1"), Qt::LeftButton);
        QTRY_COMPARE(confirmed.size(), 1); // the preview's picture, the file unchanged
        QCOMPARE(confirmed.first().first().value<QImage>(), quadrants({30, 20}));

        QImage green(40, 10, QImage::Format_RGB32);
        green.fill(Qt::green);
        QVERIFY(writeFile(path, encoded(green, "bmp")));
        QTest::mouseClick(child(c.form, "Command1"), Qt::LeftButton);
        QVERIFY(c.form->isDecoding());
        QTRY_COMPARE(confirmed.size(), 2);
        QCOMPARE(confirmed.last().first().value<QImage>(), green);
    }

    // The load-picture command during a game: the puzzle window goes with its tiles, the
    // chooser comes. Opening a folder with the keys or the mouse refills the file list; path
    // label and preview keep the file clicked last, and a single click only marks a folder.
    // Confirming brings a fresh puzzle window back at its laid-out place with the file clicked
    // last (also before opening another folder), or without one the default picture. A window
    // is on screen throughout. The chooser comes afresh the next time: focus on its command, no
    // path or preview, the first option, and the lists at the process's current folder, which
    // it never changes, with only its picture files, by name in any letter case.
    void confirm_data()
    {
        QTest::addColumn<QStringList>("clicked");
        QTest::addColumn<QImage>("picture");
        QTest::newRow("no file: the default picture") << QStringList() << assets::defaultPicture();
        QTest::newRow("the file clicked last")
            << QStringList{u"a.JPG"_s, u"B.bmp"_s} << quadrants({60, 40});
        QTest::newRow("a WebP, then played") << QStringList{u"k.WebP"_s} << quadrants({80, 60});
    }
    void confirm()
    {
        QFETCH(QStringList, clicked);
        QFETCH(QImage, picture);
        WindowRegistry windows;
        Form1 *puzzle = windows.form1();
        QVERIFY(showAndWait(puzzle));
        startGame(*puzzle, u"9"_s);
        puzzle->setGeometry(300, 200, 500, 400); // the player moved and resized the window

        QTest::mouseClick(child(puzzle, "Command4"), Qt::LeftButton);
        Chooser c(windows.form2());
        QVERIFY(c.show());
        for (const QString &name : clicked)
            QVERIFY(clickEntry(c.file1, name));
        const QStringList before = c.state();
        const QImage preview = c.form->preview();
        const QString sub = at(u"sub"_s);
        QTest::keyClicks(c.dir1, u"sub"_s);
        QTest::keyClick(c.dir1, Qt::Key_Enter);
        QCOMPARE(c.state(), (QStringList{before[0], sub, sub, before[3], u"inner.bmp"_s}));
        QTest::keyClick(c.dir1, Qt::Key_Up); // the parent, just above the current folder
        QTest::keyClick(c.dir1, Qt::Key_Return);
        QVERIFY(clickEntry(c.dir1, u"Sub2"_s));
        QCOMPARE(c.state(), before);
        QCOMPARE(c.form->preview(), preview);
        QVERIFY(clickEntry(c.dir1, u"sub"_s, true));
        child<QRadioButton>(c.form, "Option3")->click();
        QTest::mouseClick(child(c.form, "Command1"), Qt::LeftButton);
        QTRY_VERIFY(!c.form); // handed over and unloaded

        Form1 *back = windows.form1();
        QVERIFY(QTest::qWaitForWindowExposed(back));
        QCOMPARE(back->geometry(), QRect(95, 46, 671, 573));
        QCOMPARE(back->Picture1()->picture().convertToFormat(QImage::Format_RGB32),
                 picture.convertToFormat(QImage::Format_RGB32));
        if (!clicked.isEmpty()) { // and it plays: its tiles, each showing its part of it
            const QImage before = screen(back);
            startGame(*back, u"4"_s);
            QCOMPARE(back->tileCount(), 4);
            const QRect area = back->Picture1()->geometry();
            QCOMPARE(screen(back, area), paintedTiles(*back, before).copy(area));
        }
        settle();
        QCOMPARE(QApplication::topLevelWidgets().count(), 1); // old puzzle window, chooser gone
        QCOMPARE(m_watch.bareMoments, 0);

        QTest::mouseClick(child(back, "Command4"), Qt::LeftButton);
        Chooser again(windows.form2());
        QVERIFY(again.show());
        QCOMPARE(QApplication::focusWidget(), child(again.form, "Command1"));
        QCOMPARE(child<QLabel>(again.form, "Label2")->text(), QString());
        QVERIFY(again.form->preview().isNull());
        for (QRadioButton *option : again.form->findChildren<QRadioButton *>())
            QCOMPARE(option->isChecked(), option->objectName() == u"Option1"_s);
        QCOMPARE(again.state(), (QStringList{before[0], m_root, m_root, QString(), Listed}));
    }

    // Both hand-overs inside the program's own event loop, where a moment without a window
    // would end it: the loop must run on until the test ends it. Closing the only window with
    // its close control ends the program. Kept last: they run the program's loop.
    void programLoop_data()
    {
        QTest::addColumn<QStringList>("clicks"); // window/command, one after the other
        QTest::addColumn<int>("exitCode");
        QTest::newRow("both hand-overs")
            << QStringList{u"1/Command4"_s, u"2/Command1"_s} << StillRunning;
        QTest::newRow("close the puzzle window") << QStringList{u"1/close"_s} << 0;
        QTest::newRow("close the chooser") << QStringList{u"1/Command4"_s, u"2/close"_s} << 0;
    }
    void programLoop()
    {
        QFETCH(QStringList, clicks);
        QFETCH(int, exitCode);
        WindowRegistry windows;
        QVERIFY(showAndWait(windows.form1()));
        QObject steps; // ends with the test
        for (int i = 0; i < clicks.size(); ++i) {
            QTimer::singleShot(50 * i, &steps, [&windows, click = clicks[i]] {
                QWidget *window =
                    click[0] == u'1' ? static_cast<QWidget *>(windows.form1()) : windows.form2();
                if (QWidget *command = child(window, qPrintable(click.mid(2))))
                    QTest::mouseClick(command, Qt::LeftButton);
                else
                    window->windowHandle()->close(); // the title bar's close control
            });
        }
        QTimer::singleShot(50 * clicks.size(), &steps,
                           [] { QCoreApplication::exit(StillRunning); });
        QCOMPARE(QApplication::exec(), exitCode);
        QVERIFY(!windows.isForm2Loaded());
        QCOMPARE(windows.isForm1Loaded() && windows.form1()->isVisible() &&
                     QApplication::topLevelWidgets().count() == 1,
                 exitCode != 0);
    }
};

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
