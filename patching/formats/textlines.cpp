#include "patching/formats/textlines.h"

namespace {
const char utf8Bom[] = "\xef\xbb\xbf";
} // namespace

qsizetype bomLength(const QByteArray &content)
{
    return content.startsWith(utf8Bom) ? qsizetype(sizeof(utf8Bom) - 1) : 0;
}

LineBounds lineAt(const QByteArray &content, qsizetype start)
{
    qsizetype end = content.indexOf('\n', start);
    const bool lf = end >= 0;
    if (!lf)
        end = content.size();
    qsizetype textEnd = end;
    while (textEnd > start && content.at(textEnd - 1) == '\r')
        --textEnd;
    return {start, textEnd, lf ? end + 1 : end};
}

QByteArray textOf(const QByteArray &content, const LineBounds &line)
{
    return content.mid(line.start, line.textEnd - line.start);
}

void appendEnding(QByteArray *to, const QByteArray &content, const LineBounds &line, bool configFile)
{
    if (line.next == line.textEnd)
        return;
    if (configFile)
        to->append('\n');
    else
        to->append(content.constData() + line.textEnd, line.next - line.textEnd);
}

LineBounds lastLine(const QByteArray &content)
{
    LineBounds last{-1, -1, -1};
    forEachLine(content, bomLength(content), [&](const LineBounds &line) {
        last = line;
        return true;
    });
    return last;
}
