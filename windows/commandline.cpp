#include "commandline.h"

#include "loading/kinds.h"
#include "loading/refusaltext.h"

#include <QCommandLineParser>

namespace {

const QString Version = QStringLiteral(PINTU_VERSION);

QString helpText()
{
    return picture::fillIn(
        u"用法：pintu [選項] [圖片檔]\n"
        u"\n"
        u"拼圖：把一張圖片切成方塊並打亂，再把方塊換回原位。\n"
        u"\n"
        u"選項：\n"
        u"  -h, --help     顯示這份說明，然後結束\n"
        u"  -v, --version  顯示版本，然後結束\n"
        u"\n"
        u"參數：\n"
        u"  圖片檔         開始時就載入的圖片（%0 檔），\n"
        u"                 寫成路徑或 file:// 網址。檔名以「-」開頭時，寫在「--」之後。\n"
        u"\n"
        u"也可以使用 Qt 的標準選項，例如 -platform、-style。\n",
        {picture::kindNames()});
}

// Qt's options, as QGuiApplication, QApplication and the X11 platform take them: with a value
// (after a space or "="), or without.
const QStringList QtOptionsWithValue = {
    QStringLiteral("platform"),
    QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"),
    QStringLiteral("plugin"),
    QStringLiteral("qwindowgeometry"),
    QStringLiteral("qwindowicon"),
    QStringLiteral("qwindowtitle"),
    QStringLiteral("session"),
    QStringLiteral("display"),
    QStringLiteral("geometry"),
    QStringLiteral("style"),
    QStringLiteral("stylesheet"),
    QStringLiteral("name"),
    QStringLiteral("title"),
    QStringLiteral("visual"),
    QStringLiteral("qmljsdebugger"),
};
const QStringList QtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                             QStringLiteral("nograb"), QStringLiteral("dograb"),
                             QStringLiteral("sync")};

// How many arguments from arguments[at] on are one of Qt's options: 0 for none, 2 for an option
// and its value.
int qtOptionAt(const QStringList &arguments, qsizetype at)
{
    const QString &argument = arguments[at];
    if (!argument.startsWith(u'-') || argument == u"-" || argument == u"--")
        return 0;
    // Qt takes "--style" for "-style".
    const QStringView option = QStringView(argument).mid(argument.startsWith(u"--") ? 2 : 1);
    const qsizetype equals = option.indexOf(u'=');
    const QString name = option.first(equals < 0 ? option.size() : equals).toString();
    if (QtOptionsWithValue.contains(name))
        return equals >= 0 || at + 1 >= arguments.size() ? 1 : 2;
    return equals < 0 && QtFlags.contains(name) ? 1 : 0;
}

CommandLine mistake(const QString &what)
{
    return {CommandLine::Action::Mistake,
            {},
            QStringLiteral("pintu：%1\n請執行「pintu --help」查看用法。\n").arg(what),
            {}};
}

} // namespace

CommandLine readCommandLine(const QStringList &arguments, const QString &folder)
{
    QStringList ours{QStringLiteral("pintu")};
    QList<int> qts;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--") {
            ours += arguments.mid(i);
            break;
        }
        const int taken = qtOptionAt(arguments, i);
        for (int k = 0; k < taken; ++k)
            qts.append(int(i + k));
        if (taken == 0)
            ours.append(arguments[i]);
        else
            i += taken - 1;
    }

    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    // The parser's own words are English: ours are said instead.
    if (!parser.parse(ours)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (unknown.isEmpty())
            return mistake(parser.errorText());
        const QString &name = unknown.first();
        return mistake(picture::fillIn(
            u"不認得的選項「%0」。",
            {picture::isolated((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                               name)}));
    }
    if (parser.isSet(help))
        return {CommandLine::Action::Help, {}, helpText(), {}};
    if (parser.isSet(version))
        return {CommandLine::Action::Version, {}, QStringLiteral("pintu %1\n").arg(Version), {}};
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return mistake(QStringLiteral("一次只能開啟一個圖片檔，卻給了 %1 個。").arg(files.size()));
    CommandLine play;
    play.qtArguments = qts;
    if (!files.isEmpty())
        play.picture = sourceOfArgument(files.first(), folder);
    return play;
}
