#include "patching/formats/configlinerule.h"

#include "patching/formats/textlines.h"

#include <QList>

namespace {
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

// Where the name "mkspecs" starts in `path` at or after `from`, as a whole name between separators,
// quotes or blanks: a directory such as "mkspecs-work" above the installation is not Qt's. The last
// such name when `last`; -1 if there is none.
qsizetype mkspecsName(const QByteArray &path, qsizetype from, bool last = false)
{
    static const QByteArray name("mkspecs");
    const auto bounds = [](char c) { return c == '/' || c == '\\' || c == '"' || c == '\'' || c == ' ' || c == '\t'; };
    qsizetype found = -1;
    for (qsizetype at = path.indexOf(name, from); at >= 0; at = path.indexOf(name, at + 1)) {
        const qsizetype end = at + name.size();
        if ((at == 0 || bounds(path.at(at - 1))) && (end == path.size() || bounds(path.at(end)))) {
            found = at;
            if (!last)
                break;
        }
    }
    return found;
}
} // namespace

QByteArray rewriteConfigLine(const QByteArray &line, const QByteArray &root)
{
    QByteArray keyPart;
    QByteArray value;
    QByteArray rewritten;
    switch (ruleFor(line, &keyPart, &value)) {
    case LineRule::Mkspec: {
        // Keep what lies between the first "mkspecs" and the next one (or the end), within the quotes:
        // the rule writes the path unquoted, and a closing quote kept alone would leave the line unbalanced.
        // Whole names count where there is one; else "mkspecs" anywhere, as in "QMAKESPEC = mymkspecs/x".
        const QByteArray unquoted = unquotedPath(value);
        const QByteArray path = unquoted.contains("mkspecs") ? unquoted : value;
        const qsizetype wholeName = mkspecsName(path, 0);
        const bool named = wholeName >= 0;
        const qsizetype tailStart = (named ? wholeName : path.indexOf("mkspecs")) + qsizetype(sizeof("mkspecs") - 1);
        const qsizetype next = named ? mkspecsName(path, tailStart) : path.indexOf("mkspecs", tailStart);
        const QByteArray tail = next < 0 ? path.mid(tailStart) : path.mid(tailStart, next - tailStart);
        rewritten = root + "/mkspecs" + tail;
        break;
    }
    case LineRule::Tree:
        rewritten = root;
        break;
    case LineRule::None:
        return line;
    }
    // A line that already says it, quoted or spaced its own way, stays as it is written.
    if (unquotedPath(value) == rewritten)
        return line;
    // A CR the path ended with (within quotes, or before the next "mkspecs") would end the line written
    // unquoted: it would read back as another line than the one written, which a second patch could not
    // tell as the tool's own.
    while (rewritten.endsWith('\r'))
        rewritten.chop(1);
    return keyPart + '=' + rewritten;
}

void forEachConfigAssignment(const QByteArray &content, const std::function<void(const ConfigAssignment &)> &onAssignment)
{
    int number = 0;
    forEachLine(content, bomLength(content), [&](const LineBounds &line) {
        ++number;
        QByteArray keyPart;
        QByteArray value;
        if (ruleFor(textOf(content, line), &keyPart, &value) != LineRule::None)
            onAssignment(ConfigAssignment{number, keyPart.trimmed(), value});
        return true;
    });
}

QVector<ConfigAssignment> findConfigAssignments(const QByteArray &content)
{
    QVector<ConfigAssignment> found;
    forEachConfigAssignment(content, [&found](const ConfigAssignment &assignment) { found.append(assignment); });
    return found;
}

bool isConfigAssignment(const QByteArray &line)
{
    QByteArray keyPart, value;
    return ruleFor(line, &keyPart, &value) != LineRule::None;
}

QByteArray assignedRoot(const ConfigAssignment &assignment)
{
    // The rule writes the root, "/mkspecs", and a tail that holds no name "mkspecs".
    const qsizetype mkspecs = mkspecsName(assignment.value, 0, true);
    return assignment.key.startsWith("QMAKESPEC") && mkspecs > 0 ? assignment.value.left(mkspecs - 1) : assignment.value;
}

QByteArray unquotedPath(QByteArray value)
{
    value = value.trimmed();
    for (const char *quote : {"\\$\\$quote(", "$$quote("}) {
        if (value.startsWith(quote) && value.endsWith(')'))
            value = value.mid(int(qstrlen(quote)), value.size() - int(qstrlen(quote)) - 1);
    }
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

QByteArray assignmentValue(const QByteArray &content, const QByteArray &key)
{
    for (const QByteArray &line : content.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return QByteArray();
}
