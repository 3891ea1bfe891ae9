#ifndef ZEL_CONSOLE_H
#define ZEL_CONSOLE_H

#include <QByteArray>
#include <QString>

// Output of the front end: UTF-8, flushed at once so that a long run shows its progress.
void writeOut(const QString &text);
void writeOutBytes(const QByteArray &bytes);
void writeErr(const QString &text);

// Whether some of the report could not be written (a full disk behind a redirection):
// a script must not take a cut report for a complete one.
bool reportWriteFailed();

// Makes a Windows console show UTF-8 output; nothing elsewhere.
void prepareConsole();

#endif
