#include "application.h"

#include "assetfiles.h"
#include "boardaccessible.h"
#include "chinesefont.h"
#include "form1.h"
#include "windowregistry.h"

#include "loading/spare.h"

#include <QAccessible>
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

void setUpApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("pintu"));
    QAccessible::installFactory(boardAccessibleFactory);
    QApplication::setApplicationDisplayName(QString());
    QApplication::setWindowIcon(assets::programIcon());
    QApplication::setFont(interfaceFont(QApplication::font()));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan));

    // A decoding process waits ready from the first turn of the event loop on, once the first
    // window is up.
    QTimer::singleShot(0, &app, [] { picture::Spares::instance().setKept(true); });

    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_zh_TW"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        qWarning("pintu: Qt's Traditional Chinese translation is not installed "
                 "(Debian package qt6-translations-l10n); standard buttons stay in English");
}

void showPuzzle(WindowRegistry &windows, const PictureSource &picture)
{
    Form1 *puzzle = windows.form1();
    puzzle->show();
    if (!picture.isEmpty())
        QTimer::singleShot(0, puzzle, [puzzle, picture] { puzzle->open(picture); });
}
