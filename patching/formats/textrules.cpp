#include "patching/formats/textrules.h"

#include "patching/base/limits.h"
#include "patching/formats/lineindex.h"

#include <cstring>

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

// Where one line lies in a file: its text, then its line ending (LF, CR LF, or none for the last), then
// the next line.
struct LineBounds {
    qsizetype start = 0;
    qsizetype textEnd = 0;
    qsizetype next = 0;
};

// The bytes a file's lines start after: its UTF-8 byte order mark, if it starts with one.
qsizetype bomLength(const QByteArray &content)
{
    return content.startsWith(utf8Bom) ? qsizetype(sizeof(utf8Bom) - 1) : 0;
}

// The line of `content` that starts at `start`. CRs count as part of the line ending before an LF,
// and at the very end: a line written back with LF must read back as the same line.
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

QByteArray textOf(const QByteArray &content, const LineBounds &line)
{
    return content.mid(line.start, line.textEnd - line.start);
}

// Appends the line ending `line` had as a file of its kind writes it: LF in a configuration file.
void appendEnding(QByteArray *to, const QByteArray &content, const LineBounds &line, bool configFile)
{
    if (line.next == line.textEnd)
        return;
    if (configFile)
        to->append('\n');
    else
        to->append(content.constData() + line.textEnd, line.next - line.textEnd);
}

// The last line of `content`, or none (start < 0).
LineBounds lastLine(const QByteArray &content)
{
    LineBounds last{-1, -1, -1};
    forEachLine(content, bomLength(content), [&](const LineBounds &line) {
        last = line;
        return true;
    });
    return last;
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

// Every line a patch of `backup` for one of `roots` writes, each kept as the backup's line it comes
// from: the backup's own lines first, then for each root the line as a plain patch writes it, then as
// --deep does, where that differs. The first way a line is written counts.
class ToolLines
{
public:
    ToolLines(const QByteArray &backup, const TextRules &rules, const QVector<QByteArray> &roots)
        : m_backup(backup), m_rules(rules), m_roots(roots), m_ways(1 + 2 * quint64(roots.size())),
          m_index([this](quint64 id) { return lineOf(id); })
    {
        forEachLine(backup, bomLength(backup), [&](const LineBounds &line) {
            m_index.insert(textOf(backup, line), idOf(line.start, 0));
            return true;
        });
        for (int r = 0; r < roots.size(); ++r) {
            forEachLine(backup, bomLength(backup), [&](const LineBounds &line) {
                const QByteArray text = textOf(backup, line);
                const QByteArray plainLine = written(text, r, false);
                const QByteArray deepLine = written(text, r, true);
                m_index.insert(plainLine, idOf(line.start, 1 + 2 * r));
                if (deepLine != plainLine)
                    m_index.insert(deepLine, idOf(line.start, 2 + 2 * r));
                return true;
            });
        }
    }

    // Whether `line` is the backup's line at `at` as the backup holds it or as a patch wrote it, and
    // whether only --deep writes it so. Asked first for the line in the same place, since a line the
    // tool wrote may read as another line of the backup ("/here" written where the backup held
    // "/old", below a line that held "/here" itself).
    bool writes(const QByteArray &line, const LineBounds &at, bool *deepOnly) const
    {
        const QByteArray text = textOf(m_backup, at);
        *deepOnly = false;
        if (line == text)
            return true;
        for (int r = 0; r < m_roots.size(); ++r) {
            const QByteArray plainLine = written(text, r, false);
            if (line == plainLine)
                return true;
            if (line == written(text, r, true)) {
                *deepOnly = true;
                return true;
            }
        }
        return false;
    }

    // Where the backup's line that `line` comes from starts, and whether only --deep writes it so;
    // false for a line the tool did not write.
    bool find(const QByteArray &line, qsizetype *start, bool *deepOnly) const
    {
        quint64 id = 0;
        if (!m_index.find(line, &id))
            return false;
        const quint64 way = id % m_ways;
        *start = qsizetype(id / m_ways);
        *deepOnly = way != 0 && way % 2 == 0;
        return true;
    }

private:
    Q_DISABLE_COPY(ToolLines)

    quint64 idOf(qsizetype start, int way) const { return quint64(start) * m_ways + quint64(way); }

    QByteArray written(const QByteArray &text, int root, bool deep) const
    {
        TextRules rules = m_rules;
        rules.deep = deep;
        rules.relocation.newRoot = m_roots.at(root);
        return ruleLine(text, rules, rules.relocation);
    }

    QByteArray lineOf(quint64 id) const
    {
        const QByteArray text = textOf(m_backup, lineAt(m_backup, qsizetype(id / m_ways)));
        const int way = int(id % m_ways);
        return way == 0 ? text : written(text, (way - 1) / 2, way % 2 == 0);
    }

    const QByteArray &m_backup;
    const TextRules &m_rules;
    const QVector<QByteArray> m_roots;
    // The ways a line is written: as the backup holds it, then plain and --deep for each root.
    const quint64 m_ways;
    LineIndex m_index;
};

// Whether `rules` give `backup` exactly the bytes `current` holds.
bool rulesGiveExactly(const QByteArray &backup, const TextRules &rules, const QByteArray &current)
{
    qsizetype at = bomLength(backup);
    if (current.left(at) != backup.left(at))
        return false;
    const bool whole = forEachLine(backup, at, [&](const LineBounds &line) {
        QByteArray written = ruleLine(textOf(backup, line), rules, rules.relocation);
        appendEnding(&written, backup, line, rules.configFile);
        const bool same = current.size() - at >= written.size()
            && std::memcmp(current.constData() + at, written.constData(), size_t(written.size())) == 0;
        at += written.size();
        return same;
    });
    return whole && at == current.size();
}

// Whether `current` holds the lines (line endings aside) that `rules` give `backup`, as they read back
// once written: a rule's line that ends with a CR, or holds a line break, reads back otherwise.
bool readsAsRulesGive(const QByteArray &backup, const TextRules &rules, const QByteArray &current)
{
    if (bomLength(backup) != bomLength(current))
        return false;
    qsizetype at = bomLength(current);
    const bool whole = forEachLine(backup, bomLength(backup), [&](const LineBounds &line) {
        QByteArray written = ruleLine(textOf(backup, line), rules, rules.relocation);
        appendEnding(&written, backup, line, rules.configFile);
        return forEachLine(written, 0, [&](const LineBounds &back) {
            if (at >= current.size())
                return false;
            const LineBounds now = lineAt(current, at);
            at = now.next;
            return back.textEnd - back.start == now.textEnd - now.start
                && std::memcmp(written.constData() + back.start, current.constData() + now.start,
                               size_t(now.textEnd - now.start)) == 0;
        });
    });
    return whole && at >= current.size();
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
    forEachConfigAssignment(current, [&](const ConfigAssignment &assignment) {
        // The rule writes the root, "/mkspecs", and a tail that holds no name "mkspecs".
        const qsizetype mkspecs = mkspecsName(assignment.value, 0, true);
        add(assignment.key.startsWith("QMAKESPEC") && mkspecs > 0 ? assignment.value.left(mkspecs - 1) : assignment.value);
    });
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

QByteArray applyTextRules(const QByteArray &content, const TextRules &rules)
{
    QByteArray result;
    result.reserve(content.size());
    result.append(content.constData(), bomLength(content));
    forEachLine(content, bomLength(content), [&](const LineBounds &line) {
        result += ruleLine(textOf(content, line), rules, rules.relocation);
        appendEnding(&result, content, line, rules.configFile);
        return true;
    });
    return result;
}

TextPatch patchText(const QByteArray &backup, const QByteArray &current, const TextRules &rules,
                    const QVector<QByteArray> &earlierRoots)
{
    if (current == backup)
        return {applyTextRules(backup, rules), false};
    if (rulesGiveExactly(backup, rules, current))
        return {current, false};
    const ToolLines origins(backup, rules, candidateRoots(rules, earlierRoots, current));
    TextRules deep = rules;
    deep.deep = true;
    // An edited line may name a place the file was patched for before: it is an old root too.
    TextRules asItStands = rules;
    for (const QByteArray &root : earlierRoots) {
        if (!asItStands.relocation.oldRoots.contains(root))
            asItStands.relocation.oldRoots.append(root);
    }
    TextPatch patch;
    patch.content.reserve(current.size());
    patch.content.append(current.constData(), bomLength(current));
    LineBounds last{-1, -1, -1};
    qsizetype backupAt = bomLength(backup);
    forEachLine(current, bomLength(current), [&](const LineBounds &line) {
        const QByteArray text = textOf(current, line);
        qsizetype start = 0;
        bool deepOnly = false;
        const bool inPlace = backupAt < backup.size() && origins.writes(text, lineAt(backup, backupAt), &deepOnly);
        if (inPlace)
            start = backupAt;
        if (backupAt < backup.size())
            backupAt = lineAt(backup, backupAt).next;
        if (!inPlace && !origins.find(text, &start, &deepOnly)) {
            patch.content += ruleLine(text, asItStands, asItStands.relocation);
            patch.editsKept = true;
        } else {
            patch.content += ruleLine(textOf(backup, lineAt(backup, start)), deepOnly ? deep : rules, rules.relocation);
        }
        appendEnding(&patch.content, current, line, rules.configFile);
        last = line;
        return true;
    });
    // A file that lost its last line ending to an earlier version gets it back.
    const LineBounds backupLast = lastLine(backup);
    if (last.start >= 0 && last.next == last.textEnd && backupLast.start >= 0 && backupLast.next != backupLast.textEnd)
        appendEnding(&patch.content, backup, backupLast, rules.configFile);
    return patch;
}

bool writtenByTool(const QByteArray &backup, const QByteArray &current, const TextRules &rules,
                   const QVector<QByteArray> &earlierRoots)
{
    if (current == backup)
        return true;
    for (const QByteArray &root : candidateRoots(rules, earlierRoots, current)) {
        for (const bool deep : {false, true}) {
            TextRules patched = rules;
            patched.deep = deep;
            patched.relocation.newRoot = root;
            if (readsAsRulesGive(backup, patched, current))
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
