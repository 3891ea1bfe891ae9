#include "patching/textrules.h"

#include "patching/limits.h"

#include <QHash>
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

// One line: its text and the line ending it had (LF, CR LF, or none for the last).
struct Line {
    QByteArray text;
    QByteArray ending;
};

// The lines of a file, after the UTF-8 byte order mark if it starts with one; a final line ending
// adds no empty line. CRs count as part of the line ending before an LF, and at the very end: a line
// written back with LF must read back as the same line.
QList<Line> splitLines(const QByteArray &content, bool *bom)
{
    *bom = content.startsWith(utf8Bom);
    const qsizetype begin = *bom ? qsizetype(sizeof(utf8Bom) - 1) : 0;
    QList<Line> lines;
    for (qsizetype start = begin; start < content.size();) {
        qsizetype end = content.indexOf('\n', start);
        const bool lf = end >= 0;
        if (!lf)
            end = content.size();
        qsizetype textEnd = end;
        while (textEnd > start && content.at(textEnd - 1) == '\r')
            --textEnd;
        lines.append({content.mid(start, textEnd - start), content.mid(textEnd, end + (lf ? 1 : 0) - textEnd)});
        start = end + 1;
    }
    return lines;
}

QByteArray joinLines(const QList<Line> &lines, bool bom, bool configFile)
{
    QByteArray joined = bom ? QByteArray(utf8Bom) : QByteArray();
    for (const Line &line : lines)
        joined += line.text + (configFile ? (line.ending.isEmpty() ? QByteArray() : QByteArray("\n")) : line.ending);
    return joined;
}

// One line as `rules` (for `root`) rewrite it: the line rule first, the whole-path rule on every other
// line with --deep, never on the line rule's output.
QByteArray ruleLine(const QByteArray &line, const TextRules &rules, const Relocation &relocation)
{
    QByteArray keyPart, value;
    if (rules.configFile && ruleFor(line, &keyPart, &value) != LineRule::None)
        return rewriteConfigLine(line, relocation.newRoot);
    return rules.deep ? rewriteWholePaths(line, relocation) : line;
}

// Which line of the backup a line the tool wrote comes from, and whether only --deep writes it so.
struct Origin {
    int line = -1;
    bool deepOnly = false;
};

// Every line a patch of `backup` for one of `roots` writes, with the backup's line it comes from.
QHash<QByteArray, Origin> toolLines(const QList<Line> &backup, const TextRules &rules, const QVector<QByteArray> &roots)
{
    QHash<QByteArray, Origin> origins;
    TextRules plain = rules, deep = rules;
    plain.deep = false;
    deep.deep = true;
    for (int i = 0; i < backup.size(); ++i)
        origins.insert(backup.at(i).text, {i, false});
    for (const QByteArray &root : roots) {
        Relocation relocation = rules.relocation;
        relocation.newRoot = root;
        for (int i = 0; i < backup.size(); ++i) {
            const QByteArray plainLine = ruleLine(backup.at(i).text, plain, relocation);
            const QByteArray deepLine = ruleLine(backup.at(i).text, deep, relocation);
            if (!origins.contains(plainLine))
                origins.insert(plainLine, {i, false});
            if (deepLine != plainLine && !origins.contains(deepLine))
                origins.insert(deepLine, {i, true});
        }
    }
    return origins;
}

// The roots the tool may have patched a file holding `current` for: the root it is patched for now, the
// earlier ones, and in a configuration file those its assignments name, as the line rule wrote them.
QVector<QByteArray> candidateRoots(const TextRules &rules, const QVector<QByteArray> &earlierRoots, const QByteArray &current)
{
    QVector<QByteArray> roots{rules.relocation.newRoot};
    const auto add = [&roots](const QByteArray &root) {
        if (!root.isEmpty() && !roots.contains(root) && roots.size() <= Limits::maxEarlierPlaces)
            roots.append(root);
    };
    for (const QByteArray &root : earlierRoots)
        add(root);
    if (!rules.configFile)
        return roots;
    for (const ConfigAssignment &assignment : findConfigAssignments(current)) {
        // The rule writes the root, "/mkspecs", and a tail that holds no name "mkspecs".
        const qsizetype mkspecs = mkspecsName(assignment.value, 0, true);
        add(assignment.key.startsWith("QMAKESPEC") && mkspecs > 0 ? assignment.value.left(mkspecs - 1) : assignment.value);
    }
    return roots;
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
    return unquotedPath(value) == rewritten ? line : keyPart + '=' + rewritten;
}

QVector<ConfigAssignment> findConfigAssignments(const QByteArray &content)
{
    QVector<ConfigAssignment> found;
    bool bom = false;
    const QList<Line> lines = splitLines(content, &bom);
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray keyPart;
        QByteArray value;
        if (ruleFor(lines.at(i).text, &keyPart, &value) != LineRule::None)
            found.append(ConfigAssignment{i + 1, keyPart.trimmed(), value});
    }
    return found;
}

QByteArray applyTextRules(const QByteArray &content, const TextRules &rules)
{
    bool bom = false;
    QList<Line> lines = splitLines(content, &bom);
    for (Line &line : lines)
        line.text = ruleLine(line.text, rules, rules.relocation);
    return joinLines(lines, bom, rules.configFile);
}

TextPatch patchText(const QByteArray &backup, const QByteArray &current, const TextRules &rules,
                    const QVector<QByteArray> &earlierRoots)
{
    const QByteArray fromBackup = applyTextRules(backup, rules);
    if (current == backup || current == fromBackup)
        return {fromBackup, false};
    bool backupBom = false, bom = false;
    const QList<Line> original = splitLines(backup, &backupBom);
    QList<Line> lines = splitLines(current, &bom);
    const QHash<QByteArray, Origin> origins = toolLines(original, rules, candidateRoots(rules, earlierRoots, current));
    TextRules deep = rules;
    deep.deep = true;
    // An edited line may name a place the file was patched for before: it is an old root too.
    TextRules asItStands = rules;
    for (const QByteArray &root : earlierRoots) {
        if (!asItStands.relocation.oldRoots.contains(root))
            asItStands.relocation.oldRoots.append(root);
    }
    TextPatch patch;
    for (Line &line : lines) {
        const auto origin = origins.constFind(line.text);
        if (origin == origins.constEnd()) {
            line.text = ruleLine(line.text, asItStands, asItStands.relocation);
            patch.editsKept = true;
        } else {
            line.text = ruleLine(original.at(origin->line).text, origin->deepOnly ? deep : rules, rules.relocation);
        }
    }
    // A file that lost its last line ending to an earlier version gets it back.
    if (!lines.isEmpty() && lines.last().ending.isEmpty() && !original.isEmpty() && !original.last().ending.isEmpty())
        lines.last().ending = original.last().ending;
    patch.content = joinLines(lines, bom, rules.configFile);
    return patch;
}

bool writtenByTool(const QByteArray &backup, const QByteArray &current, const TextRules &rules,
                   const QVector<QByteArray> &earlierRoots)
{
    if (current == backup)
        return true;
    const auto texts = [](const QByteArray &content) {
        bool bom = false;
        QList<QByteArray> all{QByteArray()};
        for (const Line &line : splitLines(content, &bom))
            all.append(line.text);
        all.first() = bom ? "bom" : "";
        return all;
    };
    const QList<QByteArray> now = texts(current);
    for (const QByteArray &root : candidateRoots(rules, earlierRoots, current)) {
        for (const bool deep : {false, true}) {
            TextRules patched = rules;
            patched.deep = deep;
            patched.relocation.newRoot = root;
            if (texts(applyTextRules(backup, patched)) == now)
                return true;
        }
    }
    return false;
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
