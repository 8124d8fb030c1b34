// The puzzle window driven as a player would: its layout, the start prompt and the tiles.
#include "application.h"
#include "assetfiles.h"
#include "form1.h"
#include "picturebox.h"
#include "testsupport.h"

#include "puzzle/gamestart.h"

#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Replaces the text of the dialog's line edit as a player would.
void typeInto(QWidget *dialog, const QString &text)
{
    auto *line = dialog->findChild<QLineEdit *>();
    line->selectAll();
    QTest::keyClick(line, Qt::Key_Delete);
    QTest::keyClicks(line, text);
}

struct Answer
{
    QString title;
    QString label;
    QString defaultText;
    QString okText;
};

// Clicks Start on the form, answers the piece-count box with entry (or Cancel when null) and
// returns what the box showed.
Answer startWith(Form1 &form, const QString &entry)
{
    Answer seen;
    onNextModal([&](QWidget *w) {
        auto *box = qobject_cast<QInputDialog *>(w);
        if (!box)
            return;
        seen = {box->windowTitle(), box->labelText(), box->textValue(),
                dialogButton(box, QDialogButtonBox::AcceptRole)->text()};
        if (entry.isNull()) {
            clickButton(box, QDialogButtonBox::RejectRole);
            return;
        }
        typeInto(box, entry);
        clickButton(box, QDialogButtonBox::AcceptRole);
    });
    QTest::mouseClick(form.findChild<QPushButton *>(u"Command1"_s), Qt::LeftButton);
    return seen;
}

struct Message
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next message box with OK and returns what it showed.
std::shared_ptr<Message> expectMessage()
{
    auto seen = std::make_shared<Message>();
    onNextModal([seen](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box)
            return;
        *seen = {box->windowTitle(), box->text(), box->icon()};
        box->button(QMessageBox::Ok)->click();
    });
    return seen;
}

QPushButton *button(Form1 &form, const char *name)
{
    return form.findChild<QPushButton *>(QString::fromLatin1(name));
}

// The form's whole pixels as the player sees them.
QImage screen(QWidget &form) { return form.grab().toImage().convertToFormat(QImage::Format_RGB32); }

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        setUpApplication(*qApp);
        QVERIFY2(QFile::exists(assets::dragIconPath()), "drag1pg.ico must lie beside the test");
    }

    void window()
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), u"拼圖"_s);
        QCOMPARE(form.geometry(), QRect(95, 46, 671, 573));
        QVERIFY(!form.windowIcon().isNull());
        QCOMPARE(form.windowIcon().availableSizes(), (QList<QSize>{{32, 32}, {16, 16}}));
        // The background is the tooltip colour, seen in an empty corner.
        QCOMPARE(screen(form).pixelColor(600, 500),
                 QApplication::palette().color(QPalette::ToolTipBase));
        // The whole picture stands at its place at its own size.
        PictureBox *whole = form.Picture1(0);
        QCOMPARE(whole->geometry(), QRect(32, 64, 354, 354));
        QCOMPARE(whole->picture().size(), QSize(354, 354));
        QCOMPARE(screen(form).copy(32, 64, 354, 354), whole->picture());
        QCOMPARE(form.tileCount(), 0);
        QVERIFY(!whole->isDraggable());
    }

    void commands_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QColor>("face");
        QTest::addColumn<bool>("mingFont");

        QTest::newRow("start") << "Command1" << u"遊戲開始"_s << QRect(312, 8, 81, 33)
                               << QColor(192, 255, 192) << true;
        QTest::newRow("load picture") << "Command4" << u"載入圖片"_s << QRect(424, 8, 81, 33)
                                      << QColor(255, 192, 192) << false;
        QTest::newRow("end") << "Command2" << u"結束"_s << QRect(536, 8, 81, 33)
                             << QColor(0, 255, 255) << true;
    }
    void commands()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QRect, geometry);
        QFETCH(QColor, face);
        QFETCH(bool, mingFont);

        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *b = form.findChild<QPushButton *>(name);
        QVERIFY(b);
        QCOMPARE(b->text(), caption);
        QCOMPARE(b->geometry(), geometry);
        QVERIFY(b->isEnabled());
        QVERIFY(!b->isDefault());
        // The face is filled with the button's colour (a corner inside the border).
        const QImage pixels = b->grab().toImage();
        QCOMPARE(pixels.pixelColor(4, 4), face);
        QCOMPARE(pixels.pixelColor(geometry.width() - 5, geometry.height() - 5), face);
        // The pointing hand with its finger tip as hot spot.
        QCOMPARE(b->cursor().hotSpot(), QPoint(5, 0));
        QCOMPARE(b->cursor().pixmap().size(), QSize(32, 32));
        if (mingFont) {
            QCOMPARE(b->font().pointSize(), 12);
            QCOMPARE(b->font().weight(), QFont::Normal);
            QVERIFY(!b->font().italic() && !b->font().underline() && !b->font().strikeOut());
            QVERIFY(QFontInfo(b->font()).family() != QFontInfo(QApplication::font()).family());
        } else {
            QCOMPARE(b->font(), form.font());
        }
    }

    void focusAndTabOrder()
    {
        Form1 form;
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), button(form, "Command1"));
        const QList<QWidget *> order = {button(form, "Command2"), form.Picture1(0),
                                        button(form, "Command4"), button(form, "Command1")};
        for (QWidget *next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
    }

    void pictureFitsBox()
    {
        Form1 form;
        QImage picture(200, 150, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        form.setPicture(picture);
        QCOMPARE(form.Picture1(0)->geometry(), QRect(32, 64, 200, 150));
    }

    // A start through the real input box lays every tile at its slot with its own pixels.
    void gameStart_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("pieces");
        QTest::newRow("9") << "9" << 9;
        QTest::newRow("16") << "16" << 16;
        QTest::newRow("49: bottom row reaches past the picture") << "49" << 49;
        QTest::newRow("81") << "81" << 81;
        QTest::newRow("1") << "1" << 1;
        QTest::newRow("16.0 with spaces") << " 16.0 " << 16;
    }
    void gameStart()
    {
        QFETCH(QString, entry);
        QFETCH(int, pieces);

        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QImage before = screen(form);
        const Answer asked = startWith(form, entry);
        QCOMPARE(asked.title, u"輸入圖片分割數"_s);
        QCOMPARE(asked.label, u"輸入分割數: 9、16、25、36、49、64、81"_s);
        QCOMPARE(asked.defaultText, u"9"_s);
        QCOMPARE(asked.okText, u"確定"_s); // Qt's own button, translated

        const puzzle::BoardState &board = form.board();
        QCOMPARE(form.tileCount(), pieces);
        QCOMPARE(board.pieces(), pieces);
        QCOMPARE(board.PieceCount, entry);
        QVERIFY(!button(form, "Command1")->isEnabled());
        QVERIFY(button(form, "Command2")->isEnabled());
        QVERIFY(button(form, "Command4")->isEnabled());

        const QImage whole = form.Picture1(0)->picture();
        // What the player must see: each tile in turn laid over the window as it was.
        QImage expected = before;
        QPainter painter(&expected);
        for (int i = 1; i <= pieces; ++i) {
            PictureBox *tile = form.Picture1(i);
            QVERIFY(tile && tile->isVisible() && tile->isDraggable());
            QCOMPARE(tile->index(), i);
            QCOMPARE(tile->objectName(), u"Picture1"_s);
            QCOMPARE(tile->geometry(), puzzle::slotRect(board, board.TileOrder[i]));
            const QRect source = puzzle::sourceRect(board, i) & whole.rect();
            // Only its own pixels, and exactly those.
            QCOMPARE(tile->picture(), whole.copy(source));
            painter.fillRect(tile->geometry(), form.palette().window());
            painter.drawImage(tile->pos(), tile->picture());
        }
        painter.end();
        QRect area = form.Picture1(0)->geometry();
        for (int i = 1; i <= pieces; ++i)
            area |= form.Picture1(i)->geometry();
        QCOMPARE(screen(form).copy(area), expected.copy(area));
        QCOMPARE(form.findChildren<PictureBox *>().size(), pieces + 1);
    }

    void cancelOrEmpty_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("Cancel") << QString();
        QTest::newRow("empty entry") << u""_s;
    }
    void cancelOrEmpty()
    {
        QFETCH(QString, entry);
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        startWith(form, entry);
        QCOMPARE(form.tileCount(), 0);
        QVERIFY(!button(form, "Command1")->isEnabled());
        QVERIFY(button(form, "Command4")->isEnabled());
    }

    // Each refused count shows its message with the stop icon and gives Start back.
    void refusedCount_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QString>("message");

        const QSize d(354, 354);
        const QString notSquare = u"你輸入的圖片數無法得到整數的平方根，請再重新按下'游戲開始'鈕"_s;
        QTest::newRow("10") << "10" << d << notSquare;
        QTest::newRow("6.25") << "6.25" << d << notSquare;
        QTest::newRow("letters") << "abc" << d << u"「abc」不是數字"_s;
        QTest::newRow("NaN") << "nan" << d << u"不是數字"_s;
        QTest::newRow("infinity") << "inf" << d << u"不是數字"_s;
        QTest::newRow("0") << "0" << d << u"必須大於 0"_s;
        QTest::newRow("-16") << "-16" << d << u"必須大於 0"_s;
        QTest::newRow("above 32767") << "40000" << d << u"最多只能是 32767"_s;
        QTest::newRow("tiles under a pixel") << "144" << QSize(10, 40) << u"不到 1 像素"_s;
    }
    void refusedCount()
    {
        QFETCH(QString, entry);
        QFETCH(QSize, picture);
        QFETCH(QString, message);

        Form1 form;
        QImage image(picture, QImage::Format_RGB32);
        image.fill(Qt::red);
        form.setPicture(image);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const puzzle::BoardState before = form.board();

        // The message box follows the input box.
        auto shown = std::make_shared<Message>();
        onNextModal([&](QWidget *w) {
            typeInto(w, entry);
            shown = expectMessage();
            clickButton(w, QDialogButtonBox::AcceptRole);
        });
        QTest::mouseClick(button(form, "Command1"), Qt::LeftButton);

        QVERIFY2(shown->text.contains(message), qPrintable(shown->text));
        QCOMPARE(shown->icon, QMessageBox::Critical);
        QCOMPARE(shown->title, QString());
        QVERIFY(button(form, "Command1")->isEnabled());
        QCOMPARE(form.tileCount(), 0);
        QCOMPARE(form.board().TileOrder, before.TileOrder);
        QCOMPARE(form.Picture1(0)->picture().size(), picture);
    }

    // Start again right after a refusal works.
    void startAfterRefusal()
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        onNextModal([&](QWidget *w) {
            typeInto(w, u"7"_s);
            expectMessage();
            clickButton(w, QDialogButtonBox::AcceptRole);
        });
        QTest::mouseClick(button(form, "Command1"), Qt::LeftButton);
        startWith(form, u"25"_s);
        QCOMPARE(form.tileCount(), 25);
    }

    // Without a usable drag icon the game still starts, with the built-in drag pointer.
    void badDragIcon_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\0\0\1\0\xff\xff garbage", 14);
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("a folder") << QByteArray("folder");
    }
    void badDragIcon()
    {
        QFETCH(QByteArray, content);
        const QString icon = assets::dragIconPath();
        const QString aside = icon + u".aside"_s;
        QVERIFY(QFile::rename(icon, aside));
        auto restore = qScopeGuard([&] {
            QDir().rmdir(icon);
            QFile::remove(icon);
            QFile::rename(aside, icon);
        });
        if (content == "folder") {
            QVERIFY(QDir().mkdir(icon));
        } else if (!content.isNull()) {
            QFile file(icon);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }

        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"drag icon"_s));
        startWith(form, u"9"_s);
        QCOMPARE(form.tileCount(), 9);
        PictureBox *tile = form.Picture1(1);
        QTest::mousePress(tile, Qt::LeftButton, {}, tile->rect().center());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::DragMoveCursor);
        QTest::mouseRelease(tile, Qt::LeftButton, {}, tile->rect().center());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
