#pragma once

#include <QString>

namespace krt::cli {

// What the command line says goes to standard output (the previews and the summaries, which a
// scheduler keeps) and to standard error (every numbered message, every refusal, the progress),
// each text as one or more whole lines in the system's encoding, flushed at once so that the two
// stay in order when they go to the same file.
void writeOut(const QString &text);
void writeErr(const QString &text);

// Whether standard error is a terminal, where a person watches the progress.
bool errIsTerminal();

} // namespace krt::cli
