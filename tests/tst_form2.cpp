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

#include "picture/pictureloader.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

Q_DECLARE_METATYPE(QList<QColor>)

namespace {

const QColor Red(255, 0, 0), Green(0, 255, 0), Blue(0, 0, 255), Yellow(255, 255, 0);
const QList<QColor> Upright = {Red, Green, Blue, Yellow};

// The files of the tree's top folder that the chooser must list, in their order.
const QStringList PictureNames = {u"a.JPG"_s, u"B.bmp"_s,    u"broken.bmp"_s, u"c.Gif"_s,
                                  u"d.wmf"_s, u"huge.bmp"_s, u"pipe.gif"_s,   u"q.WMF"_s,
                                  u"wide.bmp"_s};

// The exit code with which a test ends the event loop itself.
constexpr int StillRunning = 7;

template <typename T> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}

struct Message
{
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool shown = false;
};

// Answers the next message box with OK and returns what it showed.
std::shared_ptr<Message> expectMessage()
{
    auto seen = std::make_shared<Message>();
    onNextModal([seen](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            return;
        *seen = {box->text(), box->icon(), true};
        box->button(QMessageBox::Ok)->click();
    });
    return seen;
}

QStringList texts(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

// Clicks the entry named text (double-clicks with twice), as the player would with the mouse.
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
    return true;
}

// Fails the test when a window is hidden while no other window of the program is visible: at
// that moment a real program would end.
class WindowWatch : public QObject
{
public:
    WindowWatch() { qApp->installEventFilter(this); }
    ~WindowWatch() override { qApp->removeEventFilter(this); }
    int bareMoments = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Hide && widget && widget->isWindow()) {
            bool another = false;
            for (QWidget *w : QApplication::topLevelWidgets())
                another = another || (w != widget && w->isVisible());
            if (!another)
                ++bareMoments;
        }
        return false;
    }
};

void settle()
{
    // Unloaded windows are destroyed when control returns to the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

// The four quarters of quadrants(), drawn as a placeable metafile at 96 units an inch.
QByteArray quadrantsMetafile(QSize size)
{
    const int w = size.width(), h = size.height();
    wmftest::Writer wmf(true, QRect(0, 0, w, h), 96);
    wmf.createPen(5 /* PS_NULL */, 0, Qt::black).selectObject(0);
    const QList<QPair<QRect, QColor>> quarters = {
        {QRect(0, 0, w / 2, h / 2), Qt::red},
        {QRect(w / 2, 0, w - w / 2, h / 2), Qt::green},
        {QRect(0, h / 2, w / 2, h - h / 2), Qt::blue},
        {QRect(w / 2, h / 2, w - w / 2, h - h / 2), Qt::yellow},
    };
    for (const auto &[r, colour] : quarters) {
        wmf.createBrush(0 /* BS_SOLID */, colour).selectObject(1);
        wmf.rectangle(r.left(), r.top(), r.right() + 2, r.bottom() + 2).deleteObject(1);
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

    Form2 *openChooser(WindowRegistry &windows)
    {
        Form2 *chooser = windows.form2();
        chooser->show();
        QApplication::setActiveWindow(chooser);
        if (!QTest::qWaitForWindowExposed(chooser))
            return nullptr;
        return chooser;
    }

private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY2(QFile::exists(assets::dragIconPath()), "drag1pg.ico must lie beside the test");
        QVERIFY(m_tree.isValid());
        m_root = QDir::cleanPath(QFileInfo(m_tree.path()).canonicalFilePath());
        m_startedIn = QDir::currentPath();

        // The pictures, in mixed-case names, and names that must not be listed.
        QVERIFY(writeFile(at(u"a.JPG"_s), encoded(quadrants({120, 90}), "jpeg", 95)));
        QVERIFY(writeFile(at(u"B.bmp"_s), encoded(quadrants({60, 40}), "bmp")));
        QVERIFY(writeFile(at(u"c.Gif"_s),
                          gif({quadrants({50, 30}).convertToFormat(QImage::Format_Indexed8)})));
        QVERIFY(writeFile(at(u"d.wmf"_s), QByteArray("listed by name only")));
        QVERIFY(writeFile(at(u"q.WMF"_s), quadrantsMetafile({80, 60})));
        QVERIFY(writeFile(at(u"wide.bmp"_s), encoded(quadrants({400, 50}), "bmp")));
        QVERIFY(writeFile(at(u"broken.bmp"_s), QByteArray("BM but nothing of a picture")));
        QVERIFY(writeFile(at(u"huge.bmp"_s), bmpHeaderOnly(20000, 20000)));
        QCOMPARE(::mkfifo(QFile::encodeName(at(u"pipe.gif"_s)).constData(), 0600), 0);
        for (const QString &name : {u"e.jpg.txt"_s, u"f.jpeg"_s, u"g.png"_s, u"notes.txt"_s,
                                    u".hidden.bmp"_s, u"bmp"_s, u"jpg"_s})
            QVERIFY(writeFile(at(name), QByteArray("not listed")));
        QVERIFY(QDir().mkpath(at(u"x.jpg"_s))); // a folder named like a picture
        QVERIFY(QDir().mkpath(at(u"sub/deeper"_s)));
        QVERIFY(QDir().mkpath(at(u"Sub2"_s)));
        QVERIFY(QDir().mkpath(at(u".hiddendir"_s)));
        QImage blue(20, 20, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QVERIFY(writeFile(at(u"sub/inner.bmp"_s), encoded(blue, "bmp")));
        QVERIFY(writeFile(at(u".hiddendir/h.bmp"_s), encoded(blue, "bmp")));
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

    void window()
    {
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), u"Form2"_s);
        QCOMPARE(form.size(), QSize(639, 614));
        // Placed by the window system, not by the program.
        QVERIFY(!form.testAttribute(Qt::WA_Moved));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");

        QTest::newRow("Drive1") << "Drive1"
                                << "Form2" << QString() << QRect(0, 0, 225, 20);
        QTest::newRow("Dir1") << "Dir1"
                              << "Form2" << QString() << QRect(0, 24, 225, 118);
        QTest::newRow("File1") << "File1"
                               << "Form2" << QString() << QRect(0, 144, 225, 174);
        QTest::newRow("Frame1") << "Frame1"
                                << "Form2" << u"圖片顯示方式"_s << QRect(0, 328, 225, 169);
        QTest::newRow("Option1") << "Option1"
                                 << "Frame1" << u"直接顯示"_s << QRect(32, 16, 81, 41);
        QTest::newRow("Option2") << "Option2"
                                 << "Frame1" << u"拉幕"_s << QRect(32, 48, 73, 41);
        QTest::newRow("Option3") << "Option3"
                                 << "Frame1" << u"交叉顯示"_s << QRect(32, 88, 81, 25);
        QTest::newRow("Option4") << "Option4"
                                 << "Frame1" << u"雨滴"_s << QRect(32, 112, 73, 41);
        QTest::newRow("Command1") << "Command1"
                                  << "Frame1" << u"定確載入圖片"_s << QRect(120, 24, 89, 129);
        QTest::newRow("Image1") << "Image1"
                                << "Form2" << QString() << QRect(232, 0, 345, 497);
        QTest::newRow("Label1") << "Label1"
                                << "Form2" << u"圖片位置"_s << QRect(0, 512, 73, 25);
        QTest::newRow("Label2") << "Label2"
                                << "Form2" << QString() << QRect(80, 512, 353, 41);
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);

        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QList<QWidget *> named = form.findChildren<QWidget *>(name);
        QCOMPARE(named.size(), 1);
        QWidget *control = named.first();
        QCOMPARE(control->parentWidget()->objectName(), container);
        QCOMPARE(control->geometry(), geometry);
        QVERIFY(control->isVisible());
        QString shown;
        if (auto *box = qobject_cast<QGroupBox *>(control))
            shown = box->title();
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            shown = button->text();
        else if (auto *label = qobject_cast<QLabel *>(control))
            shown = label->text();
        QCOMPARE(shown, caption);

        // Only the two labels have a font of their own, the Ming face at 12 points.
        if (name.startsWith(u"Label"_s)) {
            QCOMPARE(control->font().pointSize(), 12);
            QCOMPARE(control->font().weight(), QFont::Normal);
            QVERIFY(!control->font().italic() && !control->font().underline() &&
                    !control->font().strikeOut());
            QCOMPARE(QFontInfo(control->font()).family(), QFontInfo(mingFont(12)).family());
        } else {
            QCOMPARE(control->font(), form.font());
        }
        if (auto *button = qobject_cast<QPushButton *>(control))
            QVERIFY(!button->isDefault() && !button->autoDefault());
    }

    // What the player sees when the chooser opens.
    void opening()
    {
        WindowRegistry windows;
        Form2 *form = openChooser(windows);
        QVERIFY(form);
        QVERIFY(QTest::qWaitForWindowActive(form));

        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(form, "Command1"));
        QCOMPARE(child<QLabel>(form, "Label2")->text(), QString());
        QVERIFY(form->preview().isNull());
        QVERIFY(child<QRadioButton>(form, "Option1")->isChecked());
        for (const char *other : {"Option2", "Option3", "Option4"})
            QVERIFY(!child<QRadioButton>(form, other)->isChecked());

        auto *dir1 = child<FolderList>(form, "Dir1");
        auto *file1 = child<FileList>(form, "File1");
        auto *drive1 = child<DriveList>(form, "Drive1");
        QCOMPARE(dir1->path(), m_root);
        QCOMPARE(file1->folder(), m_root);
        QCOMPARE(file1->pattern(), u"*.wmf;*.bmp;*.jpg;*.gif"_s);
        QCOMPARE(texts(file1), PictureNames);
        QVERIFY(drive1->drives().contains(u"/"_s));
        QCOMPARE(drive1->drive(), DriveList::driveOf(drive1->drives(), m_root));
    }

    // The folder list: the chain from the root down to the current folder, then its visible
    // subfolders, each one step deeper.
    void folderList()
    {
        Form2 form;
        auto *dir1 = child<FolderList>(&form, "Dir1");
        QStringList chain{u"/"_s};
        chain += m_root.split(u'/', Qt::SkipEmptyParts);
        const QStringList subfolders = {u"sub"_s, u"Sub2"_s, u"x.jpg"_s};
        QCOMPARE(texts(dir1), chain + subfolders);
        for (int i = 0; i < dir1->count(); ++i) {
            const int depth = dir1->item(i)->data(FolderList::DepthRole).toInt();
            QCOMPARE(depth, qMin(i, int(chain.size())));
        }
        QCOMPARE(dir1->currentItem()->data(FolderList::PathRole).toString(), m_root);
        QCOMPARE(dir1->item(0)->data(FolderList::PathRole).toString(), u"/"_s);
        QCOMPARE(dir1->item(dir1->count() - 1)->data(FolderList::PathRole).toString(),
                 at(u"x.jpg"_s));
    }

    // Tab follows the tab indices and enters the option group at the selected button.
    void tabOrder_data()
    {
        QTest::addColumn<QString>("selected");
        QTest::newRow("as opened") << "Option1";
        QTest::newRow("after choosing another option") << "Option3";
    }
    void tabOrder()
    {
        QFETCH(QString, selected);
        Form2 form;
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *command1 = child<QPushButton>(&form, "Command1");
        QCOMPARE(QApplication::focusWidget(), command1);
        auto *option = form.findChild<QRadioButton *>(selected);
        QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
        QVERIFY(option->isChecked());
        command1->setFocus();

        const QList<QWidget *> forward = {option, child<FileList>(&form, "File1"),
                                          child<FolderList>(&form, "Dir1"),
                                          child<DriveList>(&form, "Drive1"), command1};
        for (QWidget *next : forward) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        for (qsizetype i = forward.size() - 2; i >= -1; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget(), i >= 0 ? forward[i] : command1);
        }
    }

    void joinPath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("at the root") << "/"
                                     << "a.bmp"
                                     << "/a.bmp";
        QTest::newRow("in a folder") << "/home/pics"
                                     << "photo.jpg"
                                     << "/home/pics/photo.jpg";
        QTest::newRow("one level down") << "/pics"
                                        << "a.bmp"
                                        << "/pics/a.bmp";
        QTest::newRow("name with spaces") << "/a b"
                                          << "c d.gif"
                                          << "/a b/c d.gif";
    }
    void joinPath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(joinedPath(folder, name), path);
    }

    // A click writes the full path and shows the picture stretched over the whole preview,
    // upright, whatever its proportions.
    void clickFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("JPEG, upper-case extension") << "a.JPG";
        QTest::newRow("BMP") << "B.bmp";
        QTest::newRow("GIF, mixed case") << "c.Gif";
        QTest::newRow("eight times wider than high") << "wide.bmp";
    }
    void clickFile()
    {
        QFETCH(QString, name);
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *file1 = child<FileList>(&form, "File1");
        auto *image1 = child<QLabel>(&form, "Image1");

        QVERIFY(clickEntry(file1, name));
        QCOMPARE(child<QLabel>(&form, "Label2")->text(), m_root + u'/' + name);
        QCOMPARE(form.path(), m_root + u'/' + name);
        QCOMPARE(file1->fileName(), name);

        // Stretched: every corner of the preview shows the picture's own corner colour.
        const QImage shown = image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), QSize(345, 497));
        const QList<QPoint> corners = {{3, 3}, {341, 3}, {3, 493}, {341, 493}};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(near(shown.pixelColor(corners[i]), Upright[i]),
                     qPrintable(shown.pixelColor(corners[i]).name()));
        const QList<QColor> quarters = quarterColours(shown);
        for (int i = 0; i < 4; ++i)
            QVERIFY(near(quarters[i], Upright[i]));
    }

    // Each click reads the file afresh: a file changed between two clicks shows its new
    // picture.
    void clickReadsAfresh()
    {
        const QString path = at(u"fresh.bmp"_s);
        QImage red(10, 10, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(writeFile(path, encoded(red, "bmp")));
        auto remove = qScopeGuard([&] { QFile::remove(path); });

        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *file1 = child<FileList>(&form, "File1");
        QVERIFY(clickEntry(file1, u"fresh.bmp"_s));
        QCOMPARE(form.preview().pixelColor(100, 100), Red);
        QImage green(10, 10, QImage::Format_RGB32);
        green.fill(Qt::green);
        QVERIFY(writeFile(path, encoded(green, "bmp")));
        QVERIFY(clickEntry(file1, u"fresh.bmp"_s));
        QCOMPARE(form.preview().pixelColor(100, 100), Green);
    }

    // Moving through the file list with the arrow keys selects and previews as a click does.
    void keyboardSelectsFile()
    {
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *file1 = child<FileList>(&form, "File1");
        QVERIFY(clickEntry(file1, u"a.JPG"_s));
        QTest::keyClick(file1, Qt::Key_Down);
        QCOMPARE(form.path(), at(u"B.bmp"_s));
        QCOMPARE(form.preview().size(), QSize(345, 497));
        // Typing the first letters of a name goes to it.
        QTest::keyClicks(file1, u"wi"_s);
        QCOMPARE(form.path(), at(u"wide.bmp"_s));
        QVERIFY(near(quarterColours(form.preview())[3], Yellow));
    }

    // The folder list can be walked with the keyboard alone: type a name, Enter opens it.
    void keyboardOpensFolder()
    {
        Form2 form;
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *dir1 = child<FolderList>(&form, "Dir1");
        dir1->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(dir1, u"sub"_s);
        QTest::keyClick(dir1, Qt::Key_Enter);
        QCOMPARE(dir1->path(), at(u"sub"_s));
        QCOMPARE(texts(child<FileList>(&form, "File1")), QStringList{u"inner.bmp"_s});
        QTest::keyClick(dir1, Qt::Key_Up); // the parent, just above the current folder
        QTest::keyClick(dir1, Qt::Key_Return);
        QCOMPARE(dir1->path(), m_root);
    }

    // The option buttons form one group and change nothing else.
    void options()
    {
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(clickEntry(child<FileList>(&form, "File1"), u"B.bmp"_s));
        const QImage preview = form.preview();
        const QStringList names = {u"Option3"_s, u"Option2"_s, u"Option4"_s, u"Option1"_s};
        for (const QString &name : names) {
            auto *option = form.findChild<QRadioButton *>(name);
            QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(8, option->height() / 2));
            for (const QString &other : names)
                QCOMPARE(form.findChild<QRadioButton *>(other)->isChecked(), other == name);
            QCOMPARE(form.path(), at(u"B.bmp"_s));
            QCOMPARE(form.preview(), preview);
        }
    }

    // Opening a folder refills the file list; path label and preview keep the file clicked last.
    void openFolder_data()
    {
        QTest::addColumn<bool>("withEnter");
        QTest::newRow("double click") << false;
        QTest::newRow("Enter") << true;
    }
    void openFolder()
    {
        QFETCH(bool, withEnter);
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *dir1 = child<FolderList>(&form, "Dir1");
        auto *file1 = child<FileList>(&form, "File1");
        QVERIFY(clickEntry(file1, u"a.JPG"_s));
        const QImage preview = form.preview();

        auto open = [&](const QString &entry) {
            if (!withEnter)
                return clickEntry(dir1, entry, true);
            if (!clickEntry(dir1, entry))
                return false;
            QTest::keyClick(dir1, Qt::Key_Return);
            return true;
        };
        QVERIFY(open(u"sub"_s));
        QCOMPARE(dir1->path(), at(u"sub"_s));
        QCOMPARE(file1->folder(), at(u"sub"_s));
        QCOMPARE(texts(file1), QStringList{u"inner.bmp"_s});
        QCOMPARE(texts(dir1).mid(texts(dir1).size() - 2), (QStringList{u"sub"_s, u"deeper"_s}));
        QCOMPARE(form.path(), at(u"a.JPG"_s));
        QCOMPARE(form.preview(), preview);

        // Up again through the chain.
        QVERIFY(open(QFileInfo(m_root).fileName()));
        QCOMPARE(dir1->path(), m_root);
        QCOMPARE(texts(file1), PictureNames);

        // A single click only marks a folder.
        QVERIFY(clickEntry(dir1, u"Sub2"_s));
        QCOMPARE(dir1->path(), m_root);

        // The chooser never moves the process.
        QCOMPARE(QDir::currentPath(), m_root);
    }

    // At the root the separator is not doubled.
    void fileAtRoot()
    {
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *dir1 = child<FolderList>(&form, "Dir1");
        QVERIFY(clickEntry(dir1, u"/"_s, true));
        QCOMPARE(dir1->path(), u"/"_s);
        QCOMPARE(child<FileList>(&form, "File1")->folder(), u"/"_s);
        // No picture can be made at the root here: the joining itself is tested in joinPath.
        QCOMPARE(joinedPath(dir1->path(), u"a.bmp"_s), u"/a.bmp"_s);
    }

    // Picking a drive moves both lists and leaves the path and preview alone; picking the drive
    // of the process's current folder goes back to that folder.
    void drives()
    {
        const QString second = at(u"drive2"_s);
        QVERIFY(QDir().mkpath(second));
        QVERIFY(writeFile(second + u"/on-drive2.gif"_s, QByteArray("x")));
        auto remove = qScopeGuard([&] { QDir(second).removeRecursively(); });

        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *drive1 = child<DriveList>(&form, "Drive1");
        auto *dir1 = child<FolderList>(&form, "Dir1");
        auto *file1 = child<FileList>(&form, "File1");
        drive1->setDrives({u"/"_s, second});
        QVERIFY(drive1->setDrive(u"/"_s));
        QVERIFY(clickEntry(file1, u"B.bmp"_s));
        const QImage preview = form.preview();

        QTest::keyClick(drive1, Qt::Key_Down);
        QCOMPARE(drive1->drive(), second);
        QCOMPARE(dir1->path(), second);
        QCOMPARE(file1->folder(), second);
        QCOMPARE(texts(file1), QStringList{u"on-drive2.gif"_s});
        QCOMPARE(form.path(), at(u"B.bmp"_s));
        QCOMPARE(form.preview(), preview);

        QTest::keyClick(drive1, Qt::Key_Up);
        QCOMPARE(drive1->drive(), u"/"_s);
        QCOMPARE(dir1->path(), m_root);
        QCOMPARE(texts(file1), PictureNames);
        QCOMPARE(form.path(), at(u"B.bmp"_s));

        // The drives of the machine come back with each opening.
        Form2 again;
        QCOMPARE(child<DriveList>(&again, "Drive1")->drives(), DriveList::systemDrives());
    }

    // A drive that cannot be read: a message, and the three lists stay where they were.
    void driveFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("removed since listed") << "removed" << u"找不到資料夾"_s;
        QTest::newRow("a file, not a folder") << "file" << u"不是資料夾"_s;
        QTest::newRow("locked") << "locked" << u"沒有權限讀取資料夾"_s;
    }
    void driveFailure()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        if (kind == u"locked"_s && ::geteuid() == 0)
            QSKIP("root reads every folder: permissions cannot be tested as root");

        const QString bad = at(u"bad-drive"_s);
        auto remove = qScopeGuard([&] {
            QFile::setPermissions(bad, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                           QFileDevice::ExeOwner);
            QDir(bad).removeRecursively();
            QFile::remove(bad);
        });
        QVERIFY(QDir().mkpath(bad));

        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *drive1 = child<DriveList>(&form, "Drive1");
        auto *dir1 = child<FolderList>(&form, "Dir1");
        auto *file1 = child<FileList>(&form, "File1");
        drive1->setDrives({u"/"_s, bad});
        QVERIFY(drive1->setDrive(u"/"_s));
        QVERIFY(clickEntry(file1, u"B.bmp"_s));

        if (kind == u"removed"_s) {
            QVERIFY(QDir().rmdir(bad));
        } else if (kind == u"file"_s) {
            QVERIFY(QDir().rmdir(bad));
            QVERIFY(writeFile(bad, QByteArray("a file")));
        } else {
            QVERIFY(QFile::setPermissions(bad, QFileDevice::WriteOwner));
        }
        const auto shown = expectMessage();
        QTest::keyClick(drive1, Qt::Key_Down);
        QVERIFY(shown->shown);
        QCOMPARE(shown->icon, QMessageBox::Critical);
        QVERIFY2(shown->text.contains(message) && shown->text.contains(bad),
                 qPrintable(shown->text));
        QVERIFY(form.isVisible());
        QCOMPARE(drive1->drive(), u"/"_s);
        QCOMPARE(dir1->path(), m_root);
        QCOMPARE(file1->folder(), m_root);
        QCOMPARE(texts(file1), PictureNames);
        QCOMPARE(form.path(), at(u"B.bmp"_s));
        // And the next pick works.
        QVERIFY(clickEntry(dir1, u"sub"_s, true));
        QCOMPARE(dir1->path(), at(u"sub"_s));
    }

    void driveOf_data()
    {
        QTest::addColumn<QStringList>("roots");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("drive");
        const QStringList roots = {u"/"_s, u"/root"_s, u"/media/usb"_s};
        QTest::newRow("system") << roots << "/tmp/x"
                                << "/";
        QTest::newRow("the root") << roots << "/"
                                  << "/";
        QTest::newRow("home") << roots << "/root/pics"
                              << "/root";
        QTest::newRow("home itself") << roots << "/root"
                                     << "/root";
        QTest::newRow("name that only begins alike") << roots << "/rootless/a"
                                                     << "/";
        QTest::newRow("medium") << roots << "/media/usb/DCIM"
                                << "/media/usb";
        QTest::newRow("no root listed") << QStringList{u"/media/usb"_s} << "/tmp"
                                        << "";
    }
    void driveOf()
    {
        QFETCH(QStringList, roots);
        QFETCH(QString, path);
        QFETCH(QString, drive);
        QCOMPARE(DriveList::driveOf(roots, path), drive);
    }

    // The machine's own drives: the root, the home folder, nothing of the kernel's.
    void systemDrives()
    {
        const QStringList drives = DriveList::systemDrives();
        QCOMPARE(drives.first(), u"/"_s);
        if (QDir::homePath() != u"/"_s)
            QVERIFY(drives.contains(QDir::cleanPath(QDir::homePath())));
        for (const QString &drive : drives) {
            QVERIFY2(!drive.startsWith(u"/proc"_s) && !drive.startsWith(u"/sys"_s) &&
                         !drive.startsWith(u"/dev"_s),
                     qPrintable(drive));
            QCOMPARE(drives.count(drive), 1);
        }
    }

    // Files that cannot be previewed: a message, and the chooser goes on as before.
    void previewFailure_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("message");
        QTest::newRow("damaged") << "broken.bmp" << u"無法讀取圖片「broken.bmp」"_s;
        QTest::newRow("too large") << "huge.bmp" << u"太大（20000 × 20000 像素）"_s;
        QTest::newRow("FIFO") << "pipe.gif" << u"「pipe.gif」不是一般的檔案"_s;
        QTest::newRow("removed since listed") << "gone.bmp" << u"找不到圖片「gone.bmp」"_s;
        QTest::newRow("replaced by a folder") << "now-folder.jpg" << u"不是一般的檔案"_s;
        QTest::newRow("not a picture") << "d.wmf" << u"無法讀取圖片「d.wmf」"_s;
    }
    void previewFailure()
    {
        QFETCH(QString, name);
        QFETCH(QString, message);

        const bool transient = name == u"gone.bmp"_s || name == u"now-folder.jpg"_s;
        if (transient)
            QVERIFY(writeFile(at(name), encoded(quadrants({8, 8}), "bmp")));
        auto remove = qScopeGuard([&] {
            if (transient) {
                QFile::remove(at(name));
                QDir().rmdir(at(name));
            }
        });

        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *file1 = child<FileList>(&form, "File1");
        QVERIFY(clickEntry(file1, u"B.bmp"_s));
        const QImage preview = form.preview();

        if (transient) {
            QVERIFY(QFile::remove(at(name)));
            if (name == u"now-folder.jpg"_s)
                QVERIFY(QDir().mkdir(at(name)));
        }
        const auto shown = expectMessage();
        QVERIFY(clickEntry(file1, name));
        QVERIFY(shown->shown);
        QCOMPARE(shown->icon, QMessageBox::Critical);
        QVERIFY2(shown->text.contains(message), qPrintable(shown->text));

        // Nothing lost: the last good choice stands and the chooser goes on working.
        QVERIFY(form.isVisible());
        QCOMPARE(form.path(), at(u"B.bmp"_s));
        QCOMPARE(form.preview(), preview);
        QVERIFY(file1->selectedItems().isEmpty());
        QVERIFY(clickEntry(file1, u"a.JPG"_s));
        QCOMPARE(form.path(), at(u"a.JPG"_s));
    }

    // A folder that went away after it was listed.
    void folderGone()
    {
        QVERIFY(QDir().mkpath(at(u"vanishing"_s)));
        Form2 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *dir1 = child<FolderList>(&form, "Dir1");
        QVERIFY(texts(dir1).contains(u"vanishing"_s));
        QVERIFY(QDir().rmdir(at(u"vanishing"_s)));

        const auto shown = expectMessage();
        QVERIFY(clickEntry(dir1, u"vanishing"_s, true));
        QVERIFY(shown->shown);
        QCOMPARE(shown->icon, QMessageBox::Critical);
        QVERIFY2(shown->text.contains(u"找不到資料夾"_s), qPrintable(shown->text));
        QCOMPARE(dir1->path(), m_root);
        QVERIFY(!texts(dir1).contains(u"vanishing"_s));
        QVERIFY(clickEntry(dir1, u"sub"_s, true));
        QCOMPARE(dir1->path(), at(u"sub"_s));
    }

    // The load-picture command during a game: the puzzle window goes with its tiles, the
    // chooser comes, and confirming without a file brings back the default picture.
    void loadPictureDuringGame()
    {
        WindowWatch watch;
        WindowRegistry windows;
        Form1 *puzzle = windows.form1();
        puzzle->show();
        QVERIFY(QTest::qWaitForWindowExposed(puzzle));
        const QImage defaultPicture = puzzle->Picture1(0)->picture();

        // A chosen picture first, so that "default" is not what was there anyway.
        QImage other(200, 150, QImage::Format_RGB32);
        other.fill(Qt::darkMagenta);
        puzzle->setPicture(other);

        onNextModal([](QWidget *w) {
            auto *line = w->findChild<QLineEdit *>();
            line->selectAll();
            QTest::keyClicks(line, u"9"_s);
            clickButton(w, QDialogButtonBox::AcceptRole);
        });
        QTest::mouseClick(child<QPushButton>(puzzle, "Command1"), Qt::LeftButton);
        QCOMPARE(puzzle->tileCount(), 9);
        QVERIFY(!child<QPushButton>(puzzle, "Command1")->isEnabled());
        // The player moved and resized the window.
        puzzle->setGeometry(300, 200, 500, 400);

        QPointer<Form1> old = puzzle;
        QTest::mouseClick(child<QPushButton>(puzzle, "Command4"), Qt::LeftButton);
        QVERIFY(!windows.isForm1Loaded());
        QVERIFY(windows.isForm2Loaded());
        Form2 *chooser = windows.form2();
        QVERIFY(chooser->isVisible());
        settle();
        QVERIFY(old.isNull());
        for (QWidget *w : QApplication::allWidgets())
            QVERIFY2(!qobject_cast<PictureBox *>(w), "a tile outlived its window");
        QCOMPARE(QApplication::topLevelWidgets().count(), 1);

        QPointer<Form2> chooserAlive = chooser;
        QTest::mouseClick(child<QPushButton>(chooser, "Command1"), Qt::LeftButton);
        QVERIFY(windows.isForm1Loaded());
        QVERIFY(!windows.isForm2Loaded());
        Form1 *back = windows.form1();
        QVERIFY(QTest::qWaitForWindowExposed(back));
        QCOMPARE(back->geometry(), QRect(95, 46, 671, 573));
        QCOMPARE(back->Picture1(0)->picture(), defaultPicture);
        QCOMPARE(back->Picture1(0)->geometry(), QRect(32, 64, 354, 354));
        QCOMPARE(back->tileCount(), 0);
        for (const char *name : {"Command1", "Command2", "Command4"})
            QVERIFY(child<QPushButton>(back, name)->isEnabled());
        settle();
        QVERIFY(chooserAlive.isNull());

        QCOMPARE(watch.bareMoments, 0);
    }

    // Confirming a clicked file: a fresh puzzle window at its place with that picture.
    void confirmFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::newRow("BMP") << "B.bmp" << QSize(60, 40);
        QTest::newRow("JPEG") << "a.JPG" << QSize(120, 90);
        QTest::newRow("GIF") << "c.Gif" << QSize(50, 30);
        QTest::newRow("wider than the window") << "wide.bmp" << QSize(400, 50);
        QTest::newRow("WMF") << "q.WMF" << QSize(80, 60);
    }
    void confirmFile()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);

        WindowWatch watch;
        WindowRegistry windows;
        windows.form1()->show();
        QTest::mouseClick(child<QPushButton>(windows.form1(), "Command4"), Qt::LeftButton);
        Form2 *chooser = windows.form2();
        QVERIFY(QTest::qWaitForWindowExposed(chooser));
        QVERIFY(clickEntry(child<FileList>(chooser, "File1"), name));
        QTest::mouseClick(child<QPushButton>(chooser, "Command1"), Qt::LeftButton);

        QVERIFY(!windows.isForm2Loaded());
        Form1 *puzzle = windows.form1();
        QVERIFY(puzzle->isVisible());
        QCOMPARE(puzzle->geometry(), QRect(95, 46, 671, 573));
        QCOMPARE(puzzle->Picture1(0)->geometry(), QRect(QPoint(32, 64), size));
        const QList<QColor> quarters = quarterColours(puzzle->Picture1(0)->picture());
        for (int i = 0; i < 4; ++i)
            QVERIFY(near(quarters[i], Upright[i]));
        QVERIFY(child<QPushButton>(puzzle, "Command1")->isEnabled());
        settle();
        QCOMPARE(QApplication::topLevelWidgets().count(), 1);
        QCOMPARE(watch.bareMoments, 0);
    }

    // A clicked file, then another folder: confirming loads the file clicked earlier.
    void confirmAfterChangingFolder()
    {
        WindowRegistry windows;
        Form2 *chooser = openChooser(windows);
        QVERIFY(chooser);
        QVERIFY(clickEntry(child<FileList>(chooser, "File1"), u"B.bmp"_s));
        QVERIFY(clickEntry(child<FolderList>(chooser, "Dir1"), u"sub"_s, true));
        QTest::mouseClick(child<QPushButton>(chooser, "Command1"), Qt::LeftButton);
        QVERIFY(windows.isForm1Loaded());
        QCOMPARE(windows.form1()->Picture1(0)->size(), QSize(60, 40));
    }

    // The chosen file went bad between the click and the confirm: the player stays in the
    // chooser with the choice standing, and no puzzle window is made.
    void confirmFailure_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");
        QTest::newRow("removed") << "remove" << u"找不到圖片「chosen.bmp」"_s;
        QTest::newRow("damaged") << "damage" << u"無法讀取圖片「chosen.bmp」"_s;
        QTest::newRow("grown too large") << "enlarge" << u"太大"_s;
        QTest::newRow("replaced by a folder") << "folder" << u"不是一般的檔案"_s;
        QTest::newRow("replaced by a FIFO") << "fifo" << u"不是一般的檔案"_s;
    }
    void confirmFailure()
    {
        QFETCH(QString, change);
        QFETCH(QString, message);

        const QString path = at(u"chosen.bmp"_s);
        QVERIFY(writeFile(path, encoded(quadrants({30, 30}), "bmp")));
        auto remove = qScopeGuard([&] {
            QFile::remove(path);
            QDir().rmdir(path);
        });

        WindowRegistry windows;
        Form2 *chooser = openChooser(windows);
        QVERIFY(chooser);
        QVERIFY(clickEntry(child<FileList>(chooser, "File1"), u"chosen.bmp"_s));
        QCOMPARE(chooser->path(), path);
        const QImage preview = chooser->preview();

        if (change == u"remove"_s) {
            QVERIFY(QFile::remove(path));
        } else if (change == u"damage"_s) {
            QVERIFY(writeFile(path, QByteArray("BM and then nothing")));
        } else if (change == u"enlarge"_s) {
            QVERIFY(writeFile(path, bmpHeaderOnly(20000, 20000)));
        } else if (change == u"folder"_s) {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        } else {
            QVERIFY(QFile::remove(path));
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }

        const auto shown = expectMessage();
        QTest::mouseClick(child<QPushButton>(chooser, "Command1"), Qt::LeftButton);
        QVERIFY(shown->shown);
        QCOMPARE(shown->icon, QMessageBox::Critical);
        QVERIFY2(shown->text.contains(message), qPrintable(shown->text));

        QVERIFY(!windows.isForm1Loaded());
        QVERIFY(windows.isForm2Loaded());
        QVERIFY(chooser->isVisible());
        QCOMPARE(chooser->path(), path);
        QCOMPARE(chooser->preview(), preview);

        // Still usable: another file goes through.
        QVERIFY(clickEntry(child<FileList>(chooser, "File1"), u"B.bmp"_s));
        QTest::mouseClick(child<QPushButton>(chooser, "Command1"), Qt::LeftButton);
        QVERIFY(windows.isForm1Loaded());
        QCOMPARE(windows.form1()->Picture1(0)->size(), QSize(60, 40));
    }

    // Whatever was done in the chooser before, it opens afresh at the process's folder.
    void secondOpening()
    {
        WindowRegistry windows;
        windows.form1()->show();
        QTest::mouseClick(child<QPushButton>(windows.form1(), "Command4"), Qt::LeftButton);
        Form2 *first = windows.form2();
        QVERIFY(QTest::qWaitForWindowExposed(first));
        QVERIFY(clickEntry(child<FolderList>(first, "Dir1"), u"sub"_s, true));
        QVERIFY(clickEntry(child<FileList>(first, "File1"), u"inner.bmp"_s));
        QTest::mouseClick(child<QRadioButton>(first, "Option3"), Qt::LeftButton, {}, QPoint(8, 10));
        QVERIFY(child<QRadioButton>(first, "Option3")->isChecked());
        QPointer<Form2> firstAlive = first;
        QTest::mouseClick(child<QPushButton>(first, "Command1"), Qt::LeftButton);
        QCOMPARE(windows.form1()->Picture1(0)->size(), QSize(20, 20));
        settle();
        QVERIFY(firstAlive.isNull());

        QTest::mouseClick(child<QPushButton>(windows.form1(), "Command4"), Qt::LeftButton);
        Form2 *second = windows.form2();
        QApplication::setActiveWindow(second);
        QVERIFY(QTest::qWaitForWindowActive(second));
        QCOMPARE(second->path(), QString());
        QCOMPARE(child<QLabel>(second, "Label2")->text(), QString());
        QVERIFY(second->preview().isNull());
        QVERIFY(child<QRadioButton>(second, "Option1")->isChecked());
        QVERIFY(!child<QRadioButton>(second, "Option3")->isChecked());
        QCOMPARE(child<FolderList>(second, "Dir1")->path(), m_root);
        QCOMPARE(child<FileList>(second, "File1")->folder(), m_root);
        QCOMPARE(texts(child<FileList>(second, "File1")), PictureNames);
        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(second, "Command1"));
        QCOMPARE(QDir::currentPath(), m_root);
    }

    // Both hand-overs inside the program's own event loop, where a moment without a window would
    // end it: the loop must run on until the test ends it.
    void handOverKeepsProgramRunning()
    {
        WindowRegistry windows;
        windows.form1()->show();
        QVERIFY(QTest::qWaitForWindowExposed(windows.form1()));
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        int handOvers = 0;
        QTimer::singleShot(0, qApp, [&] {
            QTest::mouseClick(child<QPushButton>(windows.form1(), "Command4"), Qt::LeftButton);
            ++handOvers;
            QTimer::singleShot(50, qApp, [&] {
                QTest::mouseClick(child<QPushButton>(windows.form2(), "Command1"), Qt::LeftButton);
                ++handOvers;
                QTimer::singleShot(50, qApp, [] { QCoreApplication::exit(StillRunning); });
            });
        });
        QCOMPARE(QApplication::exec(), int(StillRunning));
        QCOMPARE(handOvers, 2);
        QCOMPARE(lastClosed.count(), 0);
        QVERIFY(windows.isForm1Loaded() && windows.form1()->isVisible());
        QVERIFY(!windows.isForm2Loaded());
        QCOMPARE(QApplication::topLevelWidgets().count(), 1);
    }

    // Closing either window with its close control, when it is the only one, ends the program.
    // Kept last: it asks the application to quit.
    void closeControlEndsProgram_data()
    {
        QTest::addColumn<bool>("chooser");
        QTest::newRow("puzzle window") << false;
        QTest::newRow("chooser") << true;
    }
    void closeControlEndsProgram()
    {
        QFETCH(bool, chooser);
        WindowRegistry windows;
        QWidget *window = windows.form1();
        window->show();
        if (chooser) {
            QTest::mouseClick(child<QPushButton>(window, "Command4"), Qt::LeftButton);
            window = windows.form2();
        }
        QVERIFY(QTest::qWaitForWindowExposed(window));
        settle();

        // The program's own event loop: it returns when the program ends, or here after five
        // seconds with another code.
        QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
        QTimer::singleShot(0, window, [window] { window->windowHandle()->close(); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(StillRunning); });
        QCOMPARE(QApplication::exec(), 0);
        QCOMPARE(lastClosed.count(), 1);
        QVERIFY(!windows.isForm1Loaded());
        QVERIFY(!windows.isForm2Loaded());
    }
};

QTEST_MAIN(TestForm2)
#include "tst_form2.moc"
