#include "chinesefont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

namespace {

QString firstInstalled(const QStringList &preferred)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString &family : preferred) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    return {};
}

QString mingFamily()
{
    static const QString chosen = [] {
        const QStringList preferred = {
            QStringLiteral("新細明體"),
            QStringLiteral("PMingLiU"),
            QStringLiteral("MingLiU"),
            QStringLiteral("AR PL UMing TW"),
            QStringLiteral("AR PL UMing TW MBE"),
            QStringLiteral("Noto Serif CJK TC"),
            QStringLiteral("AR PL New Sung"),
        };
        if (QString found = firstInstalled(preferred); !found.isEmpty())
            return found;
        const QStringList chinese = QFontDatabase::families(QFontDatabase::TraditionalChinese);
        return chinese.isEmpty() ? QString() : chinese.first();
    }();
    return chosen;
}

} // namespace

QFont mingFont(int pointSize)
{
    QFont font;
    const QString family = mingFamily();
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setPointSize(pointSize);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

QFont interfaceFont(const QFont &platformFont)
{
    const QString chinese = firstInstalled({
        QStringLiteral("Noto Sans CJK TC"),
        QStringLiteral("Noto Sans TC"),
        QStringLiteral("Source Han Sans TC"),
        QStringLiteral("Microsoft JhengHei"),
        QStringLiteral("AR PL UKai TW"),
    });
    QFont font = platformFont;
    if (!chinese.isEmpty())
        font.setFamilies({QFontInfo(platformFont).family(), chinese});
    return font;
}
