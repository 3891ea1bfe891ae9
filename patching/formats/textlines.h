#ifndef ZEL_TEXTLINES_H
#define ZEL_TEXTLINES_H

#include <QByteArray>

// A text file's lines, walked one at a time within its bytes: no list of them is ever made, so a file
// costs about its own size, whatever the number of its lines.

// Where one line lies in a file: its text, then its line ending (LF, CR LF, or none for the last), then
// the next line.
struct LineBounds {
    qsizetype start = 0;
    qsizetype textEnd = 0;
    qsizetype next = 0;
};

// The bytes a file's lines start after: its UTF-8 byte order mark, if it starts with one.
qsizetype bomLength(const QByteArray &content);

// The line of `content` that starts at `start`. CRs count as part of the line ending before an LF,
// and at the very end: a line written back with LF must read back as the same line.
LineBounds lineAt(const QByteArray &content, qsizetype start);

// Calls `onLine(bounds)` for each line of `content` from `start`, while it returns true; a final line
// ending adds no empty line. Whether every line was seen. Only one line is looked at at a time.
template <typename OnLine>
bool forEachLine(const QByteArray &content, qsizetype start, OnLine onLine)
{
    while (start < content.size()) {
        const LineBounds line = lineAt(content, start);
        if (!onLine(line))
            return false;
        start = line.next;
    }
    return true;
}

QByteArray textOf(const QByteArray &content, const LineBounds &line);

// Appends the line ending `line` had as a file of its kind writes it: LF in a configuration file.
void appendEnding(QByteArray *to, const QByteArray &content, const LineBounds &line, bool configFile);

// The last line of `content`, or none (start < 0).
LineBounds lastLine(const QByteArray &content);

#endif
