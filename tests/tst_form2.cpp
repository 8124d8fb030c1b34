// The picture chooser driven as a player would, over a folder tree made here, and the hand-over
// between the two windows through the window registry.
#include "application.h"
#include "assetfiles.h"
#include "chinesefont.h"
#include "drivelist.h"
#include "filelist.h"
#include "folderlist.h"
#include "form1.h"
#include "form2.h"
#include "picturebox.h"
#include "testpictures.h"
#include "testsupport.h"
#include "windowregistry.h"
#include "wmfwriter.h"

#include <QAccessible>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

namespace {

// The files of the tree's top folder that the chooser must list, in their order.
const QStringList PictureNames = {
    u"a.JPG"_s, u"B.bmp"_s,    u"broken.bmp"_s, u"c.Gif"_s, u"d.wmf"_s,    u"f.jpeg"_s,  u"g.png"_s,
    u"h.JPE"_s, u"huge.bmp"_s, u"pipe.gif"_s,   u"q.WMF"_s, u"tiny.bmp"_s, u"wide.bmp"_s};

// The exit code with which a test ends the event loop itself.
constexpr int StillRunning = 7;

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

// Waits until the chooser has read the file clicked last for its preview (and the player has
// answered any message about it).
bool previewRead(QWidget *window)
{
    auto *chooser = qobject_cast<Form2 *>(window);
    QElapsedTimer waited;
    waited.start();
    while (chooser && chooser->isPreviewing() && waited.elapsed() < 5000)
        QTest::qWait(2);
    return !chooser || !chooser->isPreviewing();
}

// Clicks the entry named text (double-clicks with twice), as the player would with the mouse,
// and waits for what the click starts.
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
    return previewRead(list->window());
}

// Empty when a stop message containing part was shown, else what went wrong.
QString badMessage(const std::shared_ptr<Message> &shown, const QString &part)
{
    if (!shown->shown || shown->icon != QMessageBox::Critical || !shown->text.contains(part))
        return u"message %1 (icon %2): %3"_s.arg(shown->shown).arg(shown->icon).arg(shown->text);
    return {};
}

void clickOption(QRadioButton *option)
{
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
}

// A chooser on screen and its lists.
struct Chooser
{
    Form2 form;
    DriveList *drive1 = child<DriveList>(&form, "Drive1");
    FolderList *dir1 = child<FolderList>(&form, "Dir1");
    FileList *file1 = child<FileList>(&form, "File1");
    bool show() { return showAndWait(&form, true); }
    // Drive, folder of each list, chosen path and the listed files.
    QStringList state() const
    {
        return {drive1->drive(), dir1->path(), file1->folder(), form.path(),
                texts(file1).join(u' ')};
    }
};

// Counts the moments a window is hidden while no other window of the program is visible: at
// such a moment a real program would end.
struct WindowWatch : QObject
{
    WindowWatch() { qApp->installEventFilter(this); }
    int bareMoments = 0;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        const QWidgetList all = QApplication::topLevelWidgets();
        if (event->type() == QEvent::Hide && widget && widget->isWindow())
            bareMoments += std::none_of(all.begin(), all.end(), [widget](QWidget *w) {
                return w != widget && w->isVisible();
            });
        return false;
    }
};

} // namespace

// The four quarters of quadrants(), drawn as a placeable metafile at 96 units an inch.
QByteArray quadrantsMetafile(QSize size)
{
    const int w = size.width(), h = size.height();
    wmftest::Writer wmf(true, QRect(0, 0, w, h), 96);
    wmf.createPen(5 /* PS_NULL */, 0, Qt::black).selectObject(0);
    for (int i = 0; i < 4; ++i) {
        const int x = i % 2 * (w / 2), y = i / 2 * (h / 2);
        wmf.createBrush(0 /* BS_SOLID */, Upright[i]).selectObject(1);
        wmf.rectangle(x, y, (i % 2 ? w : w / 2) + 1, (i / 2 ? h : h / 2) + 1).deleteObject(1);
    }
    return wmf.finish();
}

class TestForm2 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tree;
    QString m_root;      // the tree's top folder, the process's current folder in each test
    QString m_startedIn; // the current folder before the tests

    QString at(const QString &name) const { return joinedPath(m_root, name); }
    QStringList atRoot(const QString &chosen, const QStringList &files = PictureNames) const
    {
        return {DriveList::driveOf(DriveList::systemDrives(), m_root), m_root, m_root,
                chosen.isEmpty() ? chosen : at(chosen), files.join(u' ')};
    }

    // What a fresh chooser shows, whatever was done in one before: the folder list holds the
    // chain from the root down to the current folder, then its visible subfolders, each one
    // step deeper; the drives are the machine's own.
    void checkAfresh(Form2 *form)
    {
        QCOMPARE(form->windowTitle(), u"Form2"_s);
        QCOMPARE(form->size(), QSize(639, 614));
        QVERIFY(!form->testAttribute(Qt::WA_Moved)); // placed by the window system
        QCOMPARE(QApplication::focusWidget(), child(form, "Command1"));
        QCOMPARE(child<QLabel>(form, "Label2")->text(), QString());
        QVERIFY(form->preview().isNull());
        for (const char *option : {"Option1", "Option2", "Option3", "Option4"})
            QCOMPARE(child<QRadioButton>(form, option)->isChecked(), option[6] == '1');
        auto *file1 = child<FileList>(form, "File1");
        auto *dir1 = child<FolderList>(form, "Dir1");
        QCOMPARE(file1->pattern(), u"*.wmf;*.bmp;*.jpg;*.jpeg;*.jpe;*.gif;*.png"_s);
        QCOMPARE((QStringList{child<DriveList>(form, "Drive1")->drive(), dir1->path(),
                              file1->folder(), form->path(), texts(file1).join(u' ')}),
                 atRoot({}));
        const QStringList chain = QStringList{u"/"_s} + m_root.split(u'/', Qt::SkipEmptyParts);
        QCOMPARE(texts(dir1), (chain + QStringList{u"sub"_s, u"Sub2"_s, u"x.jpg"_s}));
        for (int i = 0; i < dir1->count(); ++i)
            QCOMPARE(dir1->item(i)->data(FolderList::DepthRole).toInt(), qMin(i, chain.size()));
        QCOMPARE(dir1->item(0)->data(FolderList::PathRole).toString(), u"/"_s);
        QCOMPARE(dir1->currentItem()->data(FolderList::PathRole).toString(), m_root);
        QCOMPARE(dir1->item(dir1->count() - 1)->data(FolderList::PathRole), at(u"x.jpg"_s));
        const QStringList drives = child<DriveList>(form, "Drive1")->drives();
        QCOMPARE(drives, DriveList::systemDrives());
        QCOMPARE(drives.first(), u"/"_s);
        QVERIFY(QDir::homePath() == u"/"_s || drives.contains(QDir::cleanPath(QDir::homePath())));
        for (const QString &drive : drives) {
            for (const QString &kernel : {u"/proc"_s, u"/sys"_s, u"/dev"_s})
                QVERIFY2(!drive.startsWith(kernel), qPrintable(drive));
            QCOMPARE(drives.count(drive), 1);
        }
    }

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY2(QFile::exists(assets::dragIconPath()), "drag1pg.ico must lie beside the test");
        QVERIFY(m_tree.isValid());
        m_root = QDir::cleanPath(QFileInfo(m_tree.path()).canonicalFilePath());
        m_startedIn = QDir::currentPath();

        // The pictures, in mixed-case names; folders end in '/'; the last names are not listed.
        QImage blue(20, 20, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        const QList<std::pair<QString, QByteArray>> files = {
            {u"a.JPG"_s, encoded(quadrants({120, 90}), "jpeg", 95)},
            {u"B.bmp"_s, encoded(quadrants({60, 40}), "bmp")},
            {u"c.Gif"_s, gif({quadrants({50, 30}).convertToFormat(QImage::Format_Indexed8)})},
            {u"d.wmf"_s, "listed by name only"},
            {u"q.WMF"_s, quadrantsMetafile({80, 60})},
            {u"wide.bmp"_s, encoded(quadrants({400, 50}), "bmp")},
            {u"tiny.bmp"_s, encoded(quadrants({2, 2}), "bmp")},
            {u"broken.bmp"_s, "BM but nothing of a picture"},
            {u"huge.bmp"_s, bmpHeaderOnly(20000, 20000)},
            {u"sub/deeper/"_s, {}},
            {u"sub/inner.bmp"_s, encoded(blue, "bmp")},
            {u".hiddendir/h.bmp"_s, encoded(blue, "bmp")},
            {u"Sub2/"_s, {}},
            {u"x.jpg/"_s, {}},
        };
        for (const auto &[name, bytes] : files) {
            QVERIFY(QDir().mkpath(QFileInfo(at(name)).path()));
            QVERIFY(name.endsWith(u'/') || writeFile(at(name), bytes));
        }
        QCOMPARE(::mkfifo(QFile::encodeName(at(u"pipe.gif"_s)).constData(), 0600), 0);
        for (const QString &name : {u"e.jpg.txt"_s, u"f.jpeg"_s, u"g.png"_s, u"h.JPE"_s,
                                    u"notes.txt"_s, u".hidden.bmp"_s, u"bmp"_s, u"jpg"_s})
            QVERIFY(writeFile(at(name), QByteArray("not a picture")));
    }

    void init() { QVERIFY(QDir::setCurrent(m_root)); }

    void cleanup()
    {
        // Nothing a test left open may leak into the next.
        for (QWidget *w : QApplication::topLevelWidgets())
            w->close();
        settle();
    }

    void cleanupTestCase() { QDir::setCurrent(m_startedIn); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");

        const QList<std::tuple<const char *, QString, QRect>> rows = {
            {"Drive1", {}, {0, 0, 225, 20}},
            {"Dir1", {}, {0, 24, 225, 118}},
            {"File1", {}, {0, 144, 225, 174}},
            {"Frame1", u"圖片顯示方式"_s, {0, 328, 225, 169}},
            {"Option1", u"直接顯示"_s, {32, 16, 81, 41}},
            {"Option2", u"拉幕"_s, {32, 48, 73, 41}},
            {"Option3", u"交叉顯示"_s, {32, 88, 81, 25}},
            {"Option4", u"雨滴"_s, {32, 112, 73, 41}},
            {"Command1", u"定確載入圖片"_s, {120, 24, 89, 129}},
            {"Image1", {}, {232, 0, 345, 497}},
            {"Label1", u"圖片位置"_s, {0, 512, 73, 25}},
            {"Label2", {}, {80, 512, 353, 41}},
        };
        for (const auto &[name, caption, geometry] : rows) {
            const bool inFrame = (name[0] == 'O' || name[0] == 'C'); // options and confirm
            QTest::newRow(name) << QString::fromLatin1(name) << (inFrame ? u"Frame1"_s : u"Form2"_s)
                                << caption << geometry;
        }
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);

        Form2 form;
        QVERIFY(showAndWait(&form));
        QCOMPARE(form.findChildren<QWidget *>(name).size(), 1);
        QWidget *control = form.findChild<QWidget *>(name);
        QCOMPARE(control->parentWidget()->objectName(), container);
        QCOMPARE(control->geometry(), geometry);
        QVERIFY(control->isVisible());
        const bool group = qobject_cast<QGroupBox *>(control);
        QCOMPARE(control->property(group ? "title" : "text").toString(), caption);

        // Only the two labels have a font of their own, the Ming face at 12 points.
        const QFont font = control->font();
        if (name.startsWith(u"Label"_s)) {
            QCOMPARE(font.pointSize(), 12);
            QCOMPARE(font.weight(), QFont::Normal);
            QVERIFY(!font.italic() && !font.underline() && !font.strikeOut());
            QCOMPARE(QFontInfo(font).family(), QFontInfo(mingFont(12)).family());
        } else {
            QCOMPARE(font, form.font());
        }
        if (auto *button = qobject_cast<QPushButton *>(control))
            QVERIFY(!button->isDefault() && !button->autoDefault());
        // A screen reader names every control in Chinese.
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(control);
        QStringList names{spoken->text(QAccessible::Name)};
        for (const auto &[label, relation] : spoken->relations(QAccessible::Label))
            names.append(label->text(QAccessible::Name));
        const QString said = names.join(u' ');
        QVERIFY2(
            std::any_of(said.begin(), said.end(), [](QChar c) { return c.unicode() >= 0x4E00; }),
            qPrintable(said));
    }

    // Tab follows the tab indices and enters the option group at the selected button (Qt
    // reverses the chain for Backtab, and keeps the options of one frame exclusive); the
    // option buttons change nothing else.
    void tabOrderAndOptions_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::newRow("as opened") << "Option1";
        QTest::newRow("after choosing another option") << "Option3";
    }
    void tabOrderAndOptions()
    {
        QFETCH(QString, selected);
        Chooser c;
        QVERIFY(c.show());
        auto *command1 = child<QPushButton>(&c.form, "Command1");
        QVERIFY(clickEntry(c.file1, u"B.bmp"_s));
        const QImage preview = c.form.preview();
        const QStringList names = {u"Option3"_s, u"Option2"_s, u"Option4"_s, u"Option1"_s};
        for (const QString &name : names + QStringList{selected}) {
            clickOption(c.form.findChild<QRadioButton *>(name));
            QVERIFY(c.form.findChild<QRadioButton *>(name)->isChecked());
            QCOMPARE(c.state(), atRoot(u"B.bmp"_s));
            QCOMPARE(c.form.preview(), preview);
        }
        command1->setFocus();

        const QList<QWidget *> forward = {c.form.findChild<QRadioButton *>(selected), c.file1,
                                          c.dir1, c.drive1, command1};
        for (QWidget *next : forward) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    // The folder list runs from the root of the deepest drive that holds the current folder:
    // the system root, the home folder, or a mounted medium (a folder of the tree stands in
    // for one, listed as a drive). Picking "/" then lists from the system root.
    void folderRoot_data()
    {
        QTest::addColumn<QString>("home");    // below the tree; empty: the machine's own
        QTest::addColumn<QString>("medium");  // below the tree, listed as a drive; or empty
        QTest::addColumn<QString>("current"); // below the tree
        QTest::addColumn<QString>("root");    // below the tree; empty: "/"
        QTest::newRow("system root") << ""
                                     << ""
                                     << "sub/deeper"
                                     << "";
        QTest::newRow("home folder") << "sub"
                                     << ""
                                     << "sub/deeper"
                                     << "sub";
        QTest::newRow("mount point") << ""
                                     << "Sub2"
                                     << "Sub2"
                                     << "Sub2";
        QTest::newRow("medium inside home") << "sub"
                                            << "sub/deeper"
                                            << "sub/deeper"
                                            << "sub/deeper";
    }
    void folderRoot()
    {
        QFETCH(QString, home);
        QFETCH(QString, medium);
        QFETCH(QString, current);
        QFETCH(QString, root);
        const QByteArray homeWas = qgetenv("HOME");
        auto restore = qScopeGuard([&] {
            qputenv("HOME", homeWas);
            DriveList::setDriveSource({});
        });
        if (!home.isEmpty())
            qputenv("HOME", QFile::encodeName(at(home)));
        if (!medium.isEmpty())
            DriveList::setDriveSource([&] {
                return QStringList{u"/"_s, QDir::homePath(), at(medium)};
            });
        QVERIFY(QDir::setCurrent(at(current)));

        Chooser c;
        QVERIFY(c.show());
        const QString top = root.isEmpty() ? u"/"_s : at(root);
        QCOMPARE(c.drive1->drive(), top);
        QCOMPARE(c.dir1->path(), at(current));
        QStringList chain{top};
        for (const QString &part : at(current).mid(top.size()).split(u'/', Qt::SkipEmptyParts))
            chain.append(part);
        QCOMPARE(texts(c.dir1).mid(0, chain.size()), chain);
        QCOMPARE(c.dir1->item(0)->data(FolderList::PathRole).toString(), top);

        c.drive1->setCurrentIndex(0); // the player picks "/"
        QCOMPARE((QStringList{c.drive1->drive(), c.dir1->root(), texts(c.dir1).first()}),
                 (QStringList{u"/"_s, u"/"_s, u"/"_s}));
    }

    // A click, or moving through the file list with the arrow keys or the first letters of a
    // name, writes the full path and shows the picture stretched over the whole preview,
    // upright, whatever its proportions.
    // Enlarged, the picture shows in blocks of its own colours, not smoothed.
    void clickFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("keys"); // after clicking a.JPG
        QTest::addColumn<bool>("blocks");
        QTest::newRow("JPEG, upper-case extension") << "a.JPG" << QString() << false;
        QTest::newRow("BMP") << "B.bmp" << QString() << true;
        QTest::newRow("two by two") << "tiny.bmp" << QString() << true;
        QTest::newRow("GIF, mixed case") << "c.Gif" << QString() << true;
        QTest::newRow("eight times wider than high") << "wide.bmp" << QString() << false;
        QTest::newRow("arrow down") << "B.bmp"
                                    << "down" << true;
        QTest::newRow("typed") << "wide.bmp"
                               << "wi" << false;
    }
    void clickFile()
    {
        QFETCH(QString, name);
        QFETCH(QString, keys);
        QFETCH(bool, blocks);
        const bool afresh = keys == u"afresh"_s; // a file changed between two clicks
        QImage red(10, 10, QImage::Format_RGB32);
        red.fill(Red);
        QVERIFY(!afresh || writeFile(at(name), encoded(red, "bmp")));
        auto remove = qScopeGuard([&] { QFile::remove(at(u"fresh.bmp"_s)); });
        Chooser c;
        QVERIFY(c.show());
        if (afresh) {
            QVERIFY(clickEntry(c.file1, name));
            QCOMPARE(c.form.preview().pixelColor(100, 100), Red);
            QVERIFY(writeFile(at(name), encoded(quadrants({40, 40}), "bmp")));
        }
        QVERIFY(clickEntry(c.file1, keys.isEmpty() || afresh ? name : u"a.JPG"_s));
        if (keys == u"down"_s)
            QTest::keyClick(c.file1, Qt::Key_Down);
        else if (!keys.isEmpty() && !afresh)
            QTest::keyClicks(c.file1, keys);
        QVERIFY(previewRead(&c.form));
        QCOMPARE(child<QLabel>(&c.form, "Label2")->text(), m_root + u'/' + name);
        QCOMPARE(c.form.path(), m_root + u'/' + name);
        QCOMPARE(c.file1->fileName(), name);

        // Stretched: the preview's quarters show the picture's (its corners: the e2e test).
        const QImage shown = screen(child(&c.form, "Image1"));
        QCOMPARE(shown.size(), QSize(345, 497));
        QCOMPARE(c.form.preview().size(), QSize(345, 497));
        QVERIFY2(quartersDiffer(shown).isEmpty(), qPrintable(quartersDiffer(shown)));
        const QImage preview = c.form.preview();
        for (int y = 0; blocks && y < preview.height(); ++y) {
            for (int x = 0; x < preview.width(); ++x)
                QVERIFY2(Upright.contains(preview.pixelColor(x, y)),
                         qPrintable(u"%1,%2"_s.arg(x).arg(y)));
        }
    }

    // Opening a folder refills the file list; path label and preview keep the file clicked
    // last. With the keyboard alone: type a name, Enter opens it.
    void openFolder_data()
    {
        QTest::addColumn<bool>("withKeys");
        QTest::newRow("double click") << false;
        QTest::newRow("typed name and Enter") << true;
    }
    void openFolder()
    {
        QFETCH(bool, withKeys);
        Chooser c;
        QVERIFY(c.show());
        QVERIFY(clickEntry(c.file1, u"a.JPG"_s));
        const QImage preview = c.form.preview();

        if (withKeys) {
            c.dir1->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(c.dir1, u"sub"_s);
            QTest::keyClick(c.dir1, Qt::Key_Enter);
        } else {
            QVERIFY(clickEntry(c.dir1, u"sub"_s, true));
        }
        const QString sub = at(u"sub"_s);
        QCOMPARE(c.state(),
                 (QStringList{c.drive1->drive(), sub, sub, at(u"a.JPG"_s), u"inner.bmp"_s}));
        QCOMPARE(texts(c.dir1).mid(texts(c.dir1).size() - 2), (QStringList{u"sub"_s, u"deeper"_s}));
        QCOMPARE(c.form.preview(), preview);

        // Up again through the chain.
        if (withKeys) {
            QTest::keyClick(c.dir1, Qt::Key_Up); // the parent, just above the current folder
            QTest::keyClick(c.dir1, Qt::Key_Return);
        } else {
            QVERIFY(clickEntry(c.dir1, QFileInfo(m_root).fileName(), true));
        }
        // A single click only marks a folder; the chooser never moves the process.
        QVERIFY(clickEntry(c.dir1, u"Sub2"_s));
        QCOMPARE(c.state(), atRoot(u"a.JPG"_s));
        QCOMPARE(QDir::currentPath(), m_root);

        // At the root the separator is not doubled.
        QVERIFY(clickEntry(c.dir1, u"/"_s, true));
        QCOMPARE((QStringList{c.dir1->path(), c.file1->folder()}), (QStringList{u"/"_s, u"/"_s}));
        QCOMPARE(joinedPath(c.dir1->path(), u"a.bmp"_s), u"/a.bmp"_s);
    }

    // Hostile names, each in a folder of its own that the chooser opens at: names are listed
    // and shown as plain text (Big5 names decoded), and open by their own bytes; a link that
    // loops gives a message.
    void hostileNames_data()
    {
        QTest::addColumn<QByteArray>("name"); // the name's bytes on disk
        QTest::addColumn<QString>("kind");    // "picture", "folder" (holding one) or "loop"
        QTest::addColumn<QString>("shown");   // how the list shows it
        QTest::addColumn<QString>("message"); // part of the message; empty: it opens
        QTest::newRow("markup") << QByteArray("<b>x.bmp") << "picture" << u"<b>x.bmp"_s << "";
        QTest::newRow("markup that reads a file")
            << QByteArray(R"(<img src="red.bmp" width="300" height="30">.bmp)") << "picture"
            << uR"(<img src="red.bmp" width="300" height="30">.bmp)"_s << "";
        QTest::newRow("Big5") << QByteArray("\xb9\xcf.bmp") << "picture" << u"圖.bmp"_s << "";
        QTest::newRow("neither UTF-8 nor Big5")
            << QByteArray("bad\xff.bmp") << "picture" << u"bad\uFFFD.bmp"_s << "";
        QTest::newRow("Big5 folder")
            << QByteArray("\xb8\xea\xae\xc6") << "folder" << u"資料"_s << "";
        QTest::newRow("symbolic link loop")
            << QByteArray("loop.gif") << "loop" << u"loop.gif"_s << u"無法開啟圖片「loop.gif」"_s;
    }
    void hostileNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, kind);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        QTemporaryDir odd(at(u"odd-XXXXXX"_s));
        // Qt cannot name what is inside by its bytes, so it could not remove it.
        auto remove =
            qScopeGuard([&] { std::system(qPrintable(u"rm -rf '%1'"_s.arg(odd.path()))); });
        const QByteArray folder = QFile::encodeName(odd.path()) + '/';
        const QByteArray path = folder + name;
        const QByteArray picture = encoded(quadrants({30, 20}), "bmp");
        QVERIFY(writeFile(odd.filePath(u"red.bmp"_s), encoded(quadrants({300, 30}), "bmp")));
        const auto writeRaw = [&picture](const QByteArray &to) { // by the name's own bytes
            std::FILE *file = std::fopen(to.constData(), "wb");
            const bool written = file && std::fwrite(picture.data(), 1, size_t(picture.size()),
                                                     file) == size_t(picture.size());
            return file && std::fclose(file) == 0 && written;
        };
        if (kind == u"picture"_s) {
            QVERIFY(writeRaw(path));
        } else if (kind == u"folder"_s) {
            QCOMPARE(::mkdir(path.constData(), 0700), 0);
            QVERIFY(writeRaw(path + "/inner.bmp"));
        } else {
            QCOMPARE(::symlink(name.constData(), path.constData()), 0);
        }
        QVERIFY(QDir::setCurrent(odd.path()));

        Chooser c;
        QVERIFY(c.show());
        QListWidget *list = kind == u"folder"_s ? static_cast<QListWidget *>(c.dir1) : c.file1;
        QVERIFY2(texts(list).contains(shown), qPrintable(texts(list).join(u'|')));
        const auto said = expectMessage();
        QVERIFY(clickEntry(list, shown, kind == u"folder"_s));
        if (kind == u"folder"_s) {
            QCOMPARE(texts(c.file1), QStringList{u"inner.bmp"_s});
            QVERIFY(clickEntry(c.file1, u"inner.bmp"_s));
        }
        if (!message.isEmpty()) {
            QVERIFY2(badMessage(said, message).isEmpty(), qPrintable(badMessage(said, message)));
            QVERIFY(c.form.preview().isNull());
            return;
        }
        delete said->watch;
        QVERIFY(!said->shown);
        QVERIFY(!c.form.preview().isNull());
        // The path reads as the name's own characters, drawn as text: no picture, no bold.
        auto *label2 = child<QLabel>(&c.form, "Label2");
        QVERIFY(label2->text().endsWith(kind == u"folder"_s ? u"/inner.bmp"_s : u'/' + shown));
        const QImage drawn = screen(label2);
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x)
                QVERIFY(qRed(drawn.pixel(x, y)) < 200 || qGreen(drawn.pixel(x, y)) > 100);
        }
    }

    // The process's current folder has gone (removed, or too deep to name): the chooser opens
    // at its nearest folder that exists, else at the home folder.
    void currentFolderGone_data()
    {
        QTest::addColumn<int>("depth"); // folders made below the tree, each 200 characters
        QTest::addColumn<bool>("fromHome");
        QTest::newRow("removed") << 2 << false;
        QTest::newRow("deeper than 4096 characters") << 22 << true;
    }
    void currentFolderGone()
    {
        QFETCH(int, depth);
        QFETCH(bool, fromHome);
        const QString top = at(u"gone"_s);
        auto remove = qScopeGuard([&] {
            QDir::setCurrent(m_root);
            std::system(qPrintable(u"rm -rf '%1'"_s.arg(top)));
        });
        QVERIFY(QDir::setCurrent(m_root));
        const QByteArray part(200, 'd');
        QCOMPARE(::mkdir("gone", 0700), 0);
        QCOMPARE(::chdir("gone"), 0);
        for (int i = 0; i < depth; ++i)
            QVERIFY(::mkdir(part.constData(), 0700) == 0 && ::chdir(part.constData()) == 0);
        if (!fromHome)
            std::system(qPrintable(u"rm -rf '%1'"_s.arg(top)));

        Chooser c;
        QVERIFY(c.show());
        QCOMPARE(c.dir1->path(), fromHome ? QDir::cleanPath(QDir::homePath()) : m_root);
        QCOMPARE(c.file1->folder(), c.dir1->path());
    }

    // Files that cannot be previewed, a folder that went away after it was listed, a drive that
    // cannot be read: a message, and the chooser goes on as before. Picking a readable drive
    // moves the three lists and leaves the path and preview alone; picking the drive of the
    // process's current folder goes back to that folder.
    void failure_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message"); // empty: no failure
        QTest::newRow("damaged") << "broken.bmp" << u"無法讀取圖片「broken.bmp」"_s;
        QTest::newRow("too large") << "huge.bmp" << u"太大（20000 × 20000 像素）"_s;
        QTest::newRow("FIFO") << "pipe.gif" << u"「pipe.gif」不是一般的檔案"_s;
        QTest::newRow("removed since listed") << "gone.bmp" << u"找不到圖片「gone.bmp」"_s;
        QTest::newRow("replaced by a folder") << "now-folder.jpg" << u"不是一般的檔案"_s;
        QTest::newRow("not a picture") << "d.wmf" << u"無法讀取圖片「d.wmf」"_s;
        QTest::newRow("folder gone") << "vanishing" << u"找不到資料夾"_s;
        QTest::newRow("readable drive") << "drive fine" << QString();
        QTest::newRow("drive removed since listed") << "drive removed" << u"找不到資料夾"_s;
        QTest::newRow("drive a file, not a folder") << "drive file" << u"不是資料夾"_s;
        QTest::newRow("drive locked") << "drive locked" << u"沒有權限讀取資料夾"_s;
    }
    void failure()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);
        if (name == u"drive locked"_s && ::geteuid() == 0)
            QSKIP("root reads every folder: permissions cannot be tested as root");

        const bool drive = name.startsWith(u"drive "_s), folder = name == u"vanishing"_s;
        const bool transient = !drive && !PictureNames.contains(name);
        const QString second = at(u"drive2"_s);
        QVERIFY(!transient || (folder ? QDir().mkpath(at(name)) : writeFile(at(name), "BM")));
        QVERIFY(!drive || (QDir().mkpath(second) && writeFile(second + u"/on-drive2.gif"_s, "x")));
        auto remove = qScopeGuard([&] {
            if (transient && !QFile::remove(at(name)))
                QDir().rmdir(at(name));
            QFile::setPermissions(second, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
            QDir(second).removeRecursively();
            QFile::remove(second);
        });

        Chooser c;
        QVERIFY(c.show());
        if (drive) {
            c.drive1->setDrives({u"/"_s, second});
            QVERIFY(c.drive1->setDrive(u"/"_s));
        }
        QVERIFY(clickEntry(c.file1, u"B.bmp"_s));
        const QImage preview = c.form.preview();
        const QStringList before = c.state();
        QListWidget *list = folder ? static_cast<QListWidget *>(c.dir1) : c.file1;
        QVERIFY(drive || texts(list).contains(name));
        if (transient)
            QVERIFY(QFile::remove(at(name)) || QDir().rmdir(at(name)));
        if (name == u"now-folder.jpg"_s)
            QVERIFY(QDir().mkdir(at(name)));
        if (drive && name != u"drive fine"_s)
            QVERIFY(QDir(second).removeRecursively());
        if (name == u"drive file"_s)
            QVERIFY(writeFile(second, QByteArray("a file")));
        if (name == u"drive locked"_s)
            QVERIFY(QDir().mkdir(second) && QFile::setPermissions(second, QFileDevice::WriteOwner));

        const auto shown = expectMessage();
        if (drive)
            QTest::keyClick(c.drive1, Qt::Key_Down);
        else
            QVERIFY(clickEntry(list, name, folder));
        if (message.isEmpty()) {
            delete shown->watch;
            QVERIFY(!shown->shown);
            QCOMPARE(c.state(),
                     (QStringList{second, second, second, at(u"B.bmp"_s), u"on-drive2.gif"_s}));
            QCOMPARE(c.form.preview(), preview);
            QTest::keyClick(c.drive1, Qt::Key_Up);
        } else {
            QVERIFY2(badMessage(shown, message).isEmpty() &&
                         (!drive || shown->text.contains(second)),
                     qPrintable(badMessage(shown, message)));
        }
        // Nothing lost: the last good choice stands and the chooser goes on working.
        QVERIFY(c.form.isVisible());
        QCOMPARE(c.state().mid(0, drive ? 5 : 4), before.mid(0, drive ? 5 : 4));
        QCOMPARE(c.form.preview(), preview);
        QVERIFY(!texts(c.dir1).contains(u"vanishing"_s));
        QVERIFY(folder || drive || c.file1->selectedItems().isEmpty());
        QVERIFY(clickEntry(c.file1, u"a.JPG"_s));
        QCOMPARE(c.form.path(), at(u"a.JPG"_s));
        QVERIFY(clickEntry(c.dir1, u"sub"_s, true));
        QCOMPARE(c.dir1->path(), at(u"sub"_s));
    }

    // The load-picture command during a game: the puzzle window goes with its tiles, the
    // chooser comes as checkAfresh() describes, each time; confirming brings a fresh puzzle window
    // back at its laid-out place with the file clicked (earlier, before opening another folder) or
    // without one the default picture. When the chosen file went bad between the click and the
    // confirm, the player stays in the chooser with the choice standing until another file goes
    // through.
    void confirm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("change"); // of chosen.bmp, clicked and confirmed first
        QTest::addColumn<QString>("message");
        auto row = [](const char *what, const char *name, QSize size, const char *change = "",
                      const QString &message = {}) {
            QTest::newRow(what) << QString::fromLatin1(name) << size << QString::fromLatin1(change)
                                << message;
        };
        row("no file: the default picture", "", {354, 354});
        row("BMP", "B.bmp", {60, 40});
        row("JPEG", "a.JPG", {120, 90});
        row("GIF", "c.Gif", {50, 30});
        row("wider than the window", "wide.bmp", {400, 50});
        row("WMF", "q.WMF", {80, 60});
        row("removed", "B.bmp", {60, 40}, "remove", u"找不到圖片「chosen.bmp」"_s);
        row("damaged", "B.bmp", {60, 40}, "damage", u"無法讀取圖片「chosen.bmp」"_s);
        row("grown too large", "B.bmp", {60, 40}, "enlarge", u"太大"_s);
        row("replaced by a folder", "B.bmp", {60, 40}, "folder", u"不是一般的檔案"_s);
        row("replaced by a FIFO", "B.bmp", {60, 40}, "fifo", u"不是一般的檔案"_s);
    }
    void confirm()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QString, change);
        QFETCH(QString, message);

        const QString path = at(u"chosen.bmp"_s);
        const auto remove = [&] {
            QVERIFY(!QFileInfo::exists(path) || QFile::remove(path) || QDir().rmdir(path));
        };
        auto removeLater = qScopeGuard(remove);
        QVERIFY(change.isEmpty() || writeFile(path, encoded(quadrants({30, 30}), "bmp")));
        WindowWatch watch;
        WindowRegistry windows;
        Form1 *puzzle = windows.form1();
        QVERIFY(showAndWait(puzzle));
        const QImage defaultPicture = puzzle->Picture1()->picture();
        // A chosen picture first, so that "default" is not what was there anyway.
        QImage other(200, 150, QImage::Format_RGB32);
        other.fill(Qt::darkMagenta);
        puzzle->setPicture(other);
        startGame(*puzzle, u"9"_s);
        QCOMPARE(puzzle->tileCount(), 9);
        puzzle->setGeometry(300, 200, 500, 400); // the player moved and resized the window

        QPointer<Form1> old = puzzle;
        QTest::mouseClick(child(puzzle, "Command4"), Qt::LeftButton);
        QVERIFY(!windows.isForm1Loaded() && windows.isForm2Loaded());
        QPointer<Form2> chooser = windows.form2();
        QVERIFY(showAndWait(chooser, true));
        if (change.isEmpty())
            checkAfresh(chooser);
        settle();
        QVERIFY(old.isNull());
        QCOMPARE(QApplication::topLevelWidgets().count(), 1);

        auto *file1 = child<FileList>(chooser, "File1");
        if (!change.isEmpty()) {
            QVERIFY(clickEntry(file1, u"chosen.bmp"_s));
            const QImage preview = chooser->preview();
            if (change == u"damage"_s || change == u"enlarge"_s)
                QVERIFY(writeFile(path, change == u"damage"_s ? QByteArray("BM and then nothing")
                                                              : bmpHeaderOnly(20000, 20000)));
            else
                QVERIFY(QFile::remove(path));
            if (change == u"folder"_s)
                QVERIFY(QDir().mkdir(path));
            if (change == u"fifo"_s)
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
            const auto shown = expectMessage();
            QTest::mouseClick(child(chooser, "Command1"), Qt::LeftButton);
            QVERIFY2(badMessage(shown, message).isEmpty(), qPrintable(badMessage(shown, message)));
            QVERIFY(!windows.isForm1Loaded() && chooser->isVisible());
            QCOMPARE(chooser->path(), path);
            QCOMPARE(chooser->preview(), preview);
        }
        if (!name.isEmpty())
            QVERIFY(clickEntry(file1, name));
        if (!name.isEmpty() && change.isEmpty())
            QVERIFY(clickEntry(child<FolderList>(chooser, "Dir1"), u"sub"_s, true));
        clickOption(child<QRadioButton>(chooser, "Option3"));
        QTest::mouseClick(child(chooser, "Command1"), Qt::LeftButton);
        QVERIFY(windows.isForm1Loaded() && !windows.isForm2Loaded());
        Form1 *back = windows.form1();
        QVERIFY(QTest::qWaitForWindowExposed(back));
        QCOMPARE(back->geometry(), QRect(95, 46, 671, 573));
        QCOMPARE(back->Picture1()->geometry(), QRect(QPoint(32, 64), size));
        if (name.isEmpty())
            QCOMPARE(back->Picture1()->picture(), defaultPicture);
        else
            QVERIFY2(quartersDiffer(back->Picture1()->picture()).isEmpty(), qPrintable(name));
        QCOMPARE(back->tileCount(), 0);
        for (const char *command : {"Command1", "Command2", "Command4"})
            QVERIFY(child(back, command)->isEnabled());
        settle();
        QVERIFY(chooser.isNull());
        QCOMPARE(QApplication::topLevelWidgets().count(), 1);
        QCOMPARE(watch.bareMoments, 0);

        // Whatever was done in the chooser before, it opens afresh at the process's folder.
        remove();
        QTest::mouseClick(child(back, "Command4"), Qt::LeftButton);
        QVERIFY(showAndWait(windows.form2(), true));
        checkAfresh(windows.form2());
    }

    // Both hand-overs inside the program's own event loop, where a moment without a window
    // would end it: the loop must run on until the test ends it. Closing either window with
    // its close control, when it is the only one, ends the program. Kept last: it quits.
    void programLoop_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("both hand-overs") << "hand over";
        QTest::newRow("close the puzzle window") << "close Form1";
        QTest::newRow("close the chooser") << "close Form2";
    }
    void programLoop()
    {
        QFETCH(QString, action);
        WindowRegistry windows;
        windows.form1()->show();
        if (action == u"close Form2"_s)
            QTest::mouseClick(child(windows.form1(), "Command4"), Qt::LeftButton);
        QWidget *window =
            action == u"close Form2"_s ? static_cast<QWidget *>(windows.form2()) : windows.form1();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        settle();

        // The program's own event loop: it returns when the program ends, or here with another
        // code after both hand-overs or five seconds.
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        const bool handOver = action == u"hand over"_s;
        QTimer::singleShot(0, qApp, [&] {
            if (!handOver) {
                window->windowHandle()->close();
                return;
            }
            QTest::mouseClick(child(windows.form1(), "Command4"), Qt::LeftButton);
            QTimer::singleShot(50, qApp, [&] {
                QTest::mouseClick(child(windows.form2(), "Command1"), Qt::LeftButton);
                QTimer::singleShot(50, qApp, [] { QCoreApplication::exit(StillRunning); });
            });
        });
        QObject limit; // ends with the test
        QTimer::singleShot(5000, &limit, [] { QCoreApplication::exit(StillRunning + 1); });
        QCOMPARE(QApplication::exec(), handOver ? StillRunning : 0);
        QCOMPARE(lastClosed.count(), handOver ? 0 : 1);
        QCOMPARE(windows.isForm1Loaded(), handOver);
        QVERIFY(!windows.isForm2Loaded());
        if (handOver)
            QVERIFY(windows.form1()->isVisible() && QApplication::topLevelWidgets().count() == 1);
    }
};

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
