// The sentences the player reads when a picture cannot be shown, all made here, one a reason,
// and the two rules every message with a name in it keeps.
#pragma once

#include "refusal.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace picture {

// What the player reads when the picture file called name was refused (empty for no refusal).
QString refusalText(const Refusal &refusal, const QString &name);

// text with %0 .. %9 replaced by values[0] .. values[9] in one pass: what goes in is never read
// again, so a name that itself holds "%1" stays as it is. A number past the values stays too.
QString fillIn(QStringView text, const QStringList &values);

// A name as it may stand inside a sentence: when it holds right-to-left letters or direction
// controls (a file called "\u202Egpj.exe", say) it is set apart as an isolate, U+2068 ... U+2069,
// so that nothing in it turns the text around it. Isolates it opens are closed, and closing
// marks that close nothing of its own are dropped. A name of left-to-right letters and neutrals
// reads the same either way and is given back as it is (the lists still find it by its first
// letter).
QString isolated(const QString &name);

} // namespace picture
