// The system's errors in the player's words. The system's own text (strerror, Qt's
// errorString) is English whatever the player reads, and would stand inside a Chinese sentence.
#pragma once

#include <QString>

namespace picture {

// What the error number error (errno) means, as a phrase that stands in a sentence's
// brackets: "與網路磁碟機的連線已中斷". An error without words of its own is named by its number.
QString systemWords(int error);

// The same for an error number as a refusal carries it, in decimal; text that is no number
// is given back as it is.
QString systemWords(const QString &number);

} // namespace picture
