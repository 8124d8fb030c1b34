#include "form1.h"

#include "assetfiles.h"
#include "chinesefont.h"
#include "picturebox.h"
#include "twips.h"

#include "puzzle/piececount.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Where the client area lies on the screen and how large it is.
constexpr QRect FormGeometry = layout::rect(1425, 690, 10065, 8595);
constexpr QRect Command4Rect = layout::rect(6360, 120, 1215, 495);
constexpr QPoint Picture1Pos = layout::rect(480, 960, 0, 0).topLeft();
constexpr QRect Command2Rect = layout::rect(8040, 120, 1215, 495);
constexpr QRect Command1Rect = layout::rect(4680, 120, 1215, 495);

const QString CountPrompt = QStringLiteral("輸入分割數: 9、16、25、36、49、64、81");
const QString CountTitle = QStringLiteral("輸入圖片分割數");
const QString NotSquareMessage =
    QStringLiteral("你輸入的圖片數無法得到整數的平方根，請再重新按下'游戲開始'鈕");

// A flat face filled with the button's own colour, sunk while pressed.
QString buttonStyle(const QColor &face)
{
    return QStringLiteral("QPushButton { background-color: %1; color: black;"
                          " border: 2px outset %1; }"
                          "QPushButton:pressed { border-style: inset; }"
                          "QPushButton:disabled { color: #808080; }"
                          "QPushButton:focus { outline: 1px dotted black; }")
        .arg(face.name());
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption,
                        const QRect &geometry, const QColor &face)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setStyleSheet(buttonStyle(face));
    button->setCursor(assets::handCursor());
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

Form1::Form1(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("拼圖"));
    setWindowIcon(assets::programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    // The tooltip background system colour, a pale yellow.
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QApplication::palette().color(QPalette::ToolTipBase));
    setPalette(pal);
    setGeometry(FormGeometry);

    createControls();

    // Load step: the whole picture box takes the size of every picture put into it.
    m_picture1[0]->setAutoSize(true);
    m_picture1[0]->setPicture(assets::defaultPicture());
}

void Form1::createControls()
{
    m_command4 = makeButton(this, "Command4", QStringLiteral("載入圖片"), Command4Rect,
                            QColor(255, 192, 192));

    auto *whole = new PictureBox(0, this);
    whole->move(Picture1Pos);
    whole->setFocusPolicy(Qt::TabFocus);
    m_picture1 = {whole};

    m_command2 =
        makeButton(this, "Command2", QStringLiteral("結束"), Command2Rect, QColor(0, 255, 255));
    m_command1 = makeButton(this, "Command1", QStringLiteral("遊戲開始"), Command1Rect,
                            QColor(192, 255, 192));
    m_command1->setFont(mingFont(12));
    m_command2->setFont(mingFont(12));

    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, whole);
    setTabOrder(whole, m_command4);
    m_command1->setFocus();

    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command4, &QPushButton::clicked, this, &Form1::Command4_Click);
}

PictureBox *Form1::Picture1(int index) const
{
    return index >= 0 && index < m_picture1.size() ? m_picture1[index] : nullptr;
}

void Form1::setPicture(const QImage &picture) { m_picture1[0]->setPicture(picture); }

void Form1::setStartEnabled(bool enabled) { m_command1->setEnabled(enabled); }

void Form1::Command2_Click() { QCoreApplication::quit(); }

void Form1::Command4_Click() { emit loadPictureRequested(); }

void Form1::refuseCount(const QString &message)
{
    m_command1->setEnabled(true);
    QMessageBox box(QMessageBox::Critical, QString(), message, QMessageBox::Ok, this);
    box.exec();
}

void Form1::Command1_Click()
{
    m_command1->setEnabled(false);

    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("PieceCountInput"));
    ask.setWindowTitle(CountTitle);
    ask.setLabelText(CountPrompt);
    ask.setInputMode(QInputDialog::TextInput);
    ask.setTextValue(QStringLiteral("9"));
    startGame(ask.exec() == QDialog::Accepted ? ask.textValue() : QString());
}

void Form1::startGame(const QString &entry)
{
    // A cancelled or empty entry leaves the start command disabled; the picture chooser's
    // confirm is what enables it again.
    PictureBox *whole = m_picture1[0];
    const puzzle::PieceCount count = puzzle::readPieceCount(entry, whole->size());
    using V = puzzle::PieceCountVerdict;
    switch (count.verdict) {
    case V::Empty:
        return;
    case V::NotSquare:
        return refuseCount(NotSquareMessage);
    case V::NotANumber:
        return refuseCount(QStringLiteral("「%1」不是數字。請輸入 9、16、25、36、49、64、81 "
                                          "這樣的平方數，再重新按下「遊戲開始」鈕。")
                               .arg(entry.trimmed()));
    case V::NotPositive:
        return refuseCount(QStringLiteral("分割數必須大於 0。請輸入 9、16、25、36、49、64、81 "
                                          "這樣的平方數，再重新按下「遊戲開始」鈕。"));
    case V::TooMany:
        return refuseCount(QStringLiteral("分割數最多只能是 %1。請輸入較小的數，再重新按下"
                                          "「遊戲開始」鈕。")
                               .arg(puzzle::MaxPieces));
    case V::TilesTooSmall:
        return refuseCount(QStringLiteral("這張圖片只有 %1 × %2 像素，分成 %3 塊時每塊不到 1 "
                                          "像素。請輸入較小的分割數，再重新按下「遊戲開始」鈕。")
                               .arg(whole->width())
                               .arg(whole->height())
                               .arg(entry.trimmed()));
    case V::Accepted:
        break;
    }

    const puzzle::PicturePlace box{float(whole->x()), qint16(whole->y()), whole->width(),
                                   whole->height()};
    removeTiles(); // a start always begins a fresh game
    const puzzle::UniformRandom random = m_random ? m_random : puzzle::seededRandom(m_clock());
    puzzle::fillBoard(m_board, entry, count.pieces, count.gridSide, box, random);
    createTiles(assets::dragCursor());
}

// Cuts the whole picture into the board's tiles and lays each at the slot its order names,
// on top of the whole picture. Each tile keeps only its own pixels; where a rounded-up tile
// height reaches below the picture, the tile shows its background there.
void Form1::createTiles(const QCursor &dragCursor)
{
    const QImage whole = m_picture1[0]->picture();
    const int pieces = m_board.pieces();
    m_picture1.reserve(pieces + 1);
    for (int i = 1; i <= pieces; ++i) {
        auto *tile = new PictureBox(i, this);
        tile->hide();
        tile->setDraggable(true, dragCursor);
        tile->setPicture(whole.copy(puzzle::sourceRect(m_board, i) & whole.rect()));
        connect(tile, &PictureBox::droppedOnto, this,
                [this, tile](PictureBox *target) { Picture1_DragDrop(target->index(), tile); });
        m_picture1.append(tile);
    }
    for (int i = 1; i <= pieces; ++i) {
        PictureBox *tile = m_picture1[i];
        tile->setGeometry(puzzle::slotRect(m_board, m_board.TileOrder[i]));
        tile->show();
        tile->raise();
    }
}

void Form1::Picture1_DragDrop(int index, PictureBox *source)
{
    // The whole picture shows through only where rounding left a sliver uncovered; a drop
    // there is no move.
    const int k = int(m_picture1.indexOf(source));
    if (index <= 0 || k <= 0 || index == k || index >= m_picture1.size())
        return;

    m_board.DragIndex = k;
    m_board.DropIndex = qint16(index);
    m_board.Swap(qint16(k), qint16(index));
    SwapPic(qint16(k), qint16(index));
    if (!m_board.CheckOrder())
        return;

    QMessageBox done(QMessageBox::Warning, QStringLiteral("完成"), QStringLiteral("恭喜你成功了"),
                     QMessageBox::Ok, this);
    done.exec();
    removeTiles();
    m_command1->setEnabled(true);
    m_picture1[0]->raise();
}

void Form1::SwapPic(qint16 pic1, qint16 pic2)
{
    m_picture1[pic1]->setGeometry(puzzle::slotRect(m_board, m_board.TileOrder[pic1]));
    m_picture1[pic2]->setGeometry(puzzle::slotRect(m_board, m_board.TileOrder[pic2]));
}

void Form1::removeTiles()
{
    // The tile that reported the drop is still inside its own mouse handler: delete later.
    for (int i = 1; i < m_picture1.size(); ++i) {
        m_picture1[i]->hide();
        m_picture1[i]->deleteLater();
    }
    m_picture1.resize(1);
}
