#include "chinesefont.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

QString mingFamily()
{
    static const QString chosen = [] {
        const QStringList preferred = {
            QStringLiteral("新細明體"),      QStringLiteral("PMingLiU"),
            QStringLiteral("MingLiU"),       QStringLiteral("AR PL UMing TW"),
            QStringLiteral("AR PL UMing TW MBE"), QStringLiteral("Noto Serif CJK TC"),
            QStringLiteral("AR PL New Sung"),
        };
        const QStringList installed = QFontDatabase::families();
        for (const QString &family : preferred) {
            if (installed.contains(family, Qt::CaseInsensitive))
                return family;
        }
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
