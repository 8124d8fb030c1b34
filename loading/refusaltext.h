// The sentences the player reads when a picture cannot be shown, all made here, one a reason,
// and the two rules every message with a name in it keeps.
#pragma once

#include "refusal.h"

#include <QString>
#include <QStringList>
#include <QStringView>

namespace picture {

// What the player reads when the picture file called name was refused (empty for no refusal):
// the name as inSentence() gives it.
QString refusalText(const Refusal &refusal, const QString &name);
// The same with the name standing as shown is, for a caller that has made it safe where it shows
// (a terminal, which breaks lines itself).
QString refusalTextWith(const Refusal &refusal, const QString &shown);

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

// A name as it stands on one line of a list or a label, visibly: a control character shows as its
// picture (U+2400 .. U+2421: "\n" as U+240A), a line or paragraph break (U+0085, U+2028,
// U+2029) as the picture for a new line, U+2424, and a control with no picture (the other C1
// controls) or a direction control (U+202A .. U+202E, U+2066 .. U+2069) as U+FFFD, so that it
// turns nothing; then isolated(). Pictures rather than "\n"-style escapes: one character for
// one, which a name could not hold as two characters of its own (a backslash and an n), and
// the game's Ming font draws them.
QString oneLine(const QString &name);

// oneLine() for a name inside a sentence, which a window breaks into lines where the text lets
// it: a stretch of more than MaxStretch characters (graphemes) with no place to break, and a
// name of more than MaxInSentence characters, lose their middle to an ellipsis (U+2026), so
// that the sentence stays whole and narrow.
inline constexpr int MaxStretch = 40;
inline constexpr int MaxInSentence = 200;
QString inSentence(const QString &name);

} // namespace picture
