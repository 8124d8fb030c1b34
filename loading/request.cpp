#include "request.h"

namespace picture::request {

namespace {

const QString Fit = QStringLiteral("--fit");
const QString Longest = QStringLiteral("--longest");
const QString Density = QStringLiteral("--density");

int side(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && isSide(value) ? int(value) : 0;
}

} // namespace

QStringList arguments(const Request &request)
{
    QStringList out;
    if (isSide(request.longestSide))
        out << Longest << QString::number(request.longestSide);
    else if (isSide(request.fitTo.width()) && isSide(request.fitTo.height()))
        out << Fit << QString::number(request.fitTo.width())
            << QString::number(request.fitTo.height());
    if (isDensity(request.density) && request.density != 1)
        out << Density << QString::number(request.density, 'g', 17);
    return out;
}

Request fromArguments(const QStringList &arguments)
{
    Request request;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const qsizetype left = arguments.size() - i - 1;
        if (arguments[i] == Fit && left >= 2) {
            const QSize fit(side(arguments[i + 1]), side(arguments[i + 2]));
            if (!fit.isEmpty())
                request.fitTo = fit;
            i += 2;
        } else if (arguments[i] == Longest && left >= 1) {
            request.longestSide = side(arguments[++i]);
        } else if (arguments[i] == Density && left >= 1) {
            bool ok = false;
            const qreal density = arguments[++i].toDouble(&ok);
            request.density = ok && isDensity(density) ? density : 1;
        }
    }
    return request;
}

} // namespace picture::request
