#include "fitting.h"

#include <algorithm>
#include <cmath>

namespace picture {

qreal fittingScale(QSizeF natural, const Request &request, const Limits &limits, qreal most)
{
    const qreal w = natural.width(), h = natural.height();
    if (!(w > 0 && h > 0) || !std::isfinite(w) || !std::isfinite(h))
        return 0;
    qreal scale = most;
    if (request.longestSide > 0)
        scale = request.longestSide / std::max(w, h);
    else if (!request.fitTo.isEmpty())
        scale = std::min(scale, std::max(request.fitTo.width() / w, request.fitTo.height() / h));
    return std::min({scale, limits.maxSide / w, limits.maxSide / h,
                     std::sqrt(qreal(limits.maxPixels) / w / h)});
}

QSize scaledSize(QSizeF natural, qreal scale, const Limits &limits)
{
    const auto sides = [&](qreal (*round)(qreal)) {
        const auto side = [&](qreal length) {
            const qreal scaled = length * scale;
            return std::isfinite(scaled) ? int(std::clamp<qreal>(round(scaled), 1, limits.maxSide))
                                         : 1;
        };
        return QSize(side(natural.width()), side(natural.height()));
    };
    const QSize nearest = sides([](qreal x) { return std::round(x); });
    if (qint64(nearest.width()) * nearest.height() <= limits.maxPixels)
        return nearest;
    // Rounded up, both sides may pass the pixel limit the scale keeps to; rounded down they
    // cannot.
    return sides([](qreal x) { return std::floor(x); });
}

} // namespace picture
