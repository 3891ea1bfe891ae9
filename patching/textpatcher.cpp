#include "patching/textpatcher.h"

#include "patching/backuppatch.h"

#include <QDebug>
#include <QList>

namespace {
const char utf8Bom[] = "\xef\xbb\xbf";

enum class LineRule { None, Mkspec, Tree };

// Which rule rewrites `line`; on a match, its untrimmed key part and its value part.
LineRule ruleFor(const QByteArray &line, QByteArray *keyPart, QByteArray *value)
{
    // "=" exactly once: "a = b = c" or "QT_BUILD_TREE += x" is some other statement.
    if (line.count('=') != 1)
        return LineRule::None;
    const qsizetype equals = line.indexOf('=');
    *keyPart = line.left(equals);
    *value = line.mid(equals + 1);
    const QByteArray key = keyPart->trimmed();
    if ((key == "QMAKESPEC_ORIGINAL" || key == "QMAKESPEC") && value->contains("mkspecs"))
        return LineRule::Mkspec;
    if (key == "QT_BUILD_TREE" || key == "QT_SOURCE_TREE")
        return LineRule::Tree;
    return LineRule::None;
}

// The lines of a file without their LF or CR LF endings; a final line ending adds no empty line.
QList<QByteArray> splitLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        qsizetype lineEnd = end;
        // A CR counts as part of the line ending before an LF, and at the very end of the file.
        if (lineEnd > start && text.at(lineEnd - 1) == '\r')
            --lineEnd;
        lines.append(text.mid(start, lineEnd - start));
        start = end + 1;
    }
    return lines;
}

// The lines of a configuration file, after the UTF-8 byte order mark if it starts with one.
QList<QByteArray> configLines(const QByteArray &content, bool *bom)
{
    *bom = content.startsWith(utf8Bom);
    return splitLines(*bom ? content.mid(sizeof(utf8Bom) - 1) : content);
}
} // namespace

QByteArray rewriteConfigLine(const QByteArray &line, const QByteArray &root)
{
    QByteArray keyPart;
    QByteArray value;
    switch (ruleFor(line, &keyPart, &value)) {
    case LineRule::Mkspec: {
        // Keep what lies between the first "mkspecs" and the next one (or the end).
        const qsizetype tailStart = value.indexOf("mkspecs") + qsizetype(sizeof("mkspecs") - 1);
        const qsizetype next = value.indexOf("mkspecs", tailStart);
        const QByteArray tail = next < 0 ? value.mid(tailStart) : value.mid(tailStart, next - tailStart);
        return keyPart + '=' + root + "/mkspecs" + tail;
    }
    case LineRule::Tree:
        return keyPart + '=' + root;
    case LineRule::None:
        break;
    }
    return line;
}

QVector<ConfigAssignment> findConfigAssignments(const QByteArray &content)
{
    QVector<ConfigAssignment> found;
    bool bom = false;
    const QList<QByteArray> lines = configLines(content, &bom);
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray keyPart;
        QByteArray value;
        if (ruleFor(lines.at(i), &keyPart, &value) != LineRule::None)
            found.append(ConfigAssignment{i + 1, keyPart.trimmed(), value});
    }
    return found;
}

QByteArray rewriteConfigText(const QByteArray &content, const QByteArray &root,
                             const std::function<QByteArray(const QByteArray &line)> &otherLines)
{
    // Bytes, not text: lines that are not rewritten keep whatever encoding they have.
    bool bom = false;
    QList<QByteArray> lines = configLines(content, &bom);
    QByteArray keyPart;
    QByteArray value;
    for (QByteArray &line : lines)
        line = !otherLines || ruleFor(line, &keyPart, &value) != LineRule::None ? rewriteConfigLine(line, root)
                                                                               : otherLines(line);
    const QByteArray joined = lines.join('\n');
    return bom ? utf8Bom + joined : joined;
}

FileOutcome patchTextFile(const QString &root, const QString &filePath, WriteMode mode)
{
    qDebug().noquote() << filePath;
    const QByteArray rootBytes = root.toLocal8Bit();
    const auto rewriteAll = [&rootBytes](const QByteArray &backup) {
        return PatchedContent{rewriteConfigText(backup, rootBytes), QString(), QString()};
    };
    return patchFromBackup(filePath, root, mode, BackupSize::Any, rewriteAll);
}
