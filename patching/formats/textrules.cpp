#include "patching/formats/textrules.h"

#include "patching/base/limits.h"
#include "patching/formats/lineindex.h"
#include "patching/formats/textlines.h"

#include <QDir>

#include <cstring>

namespace {
// One line as `rules` (for `root`) rewrite it: the line rule first, the whole-path rule on every other
// line with --deep, never on the line rule's output.
QByteArray ruleLine(const QByteArray &line, const TextRules &rules, const Relocation &relocation)
{
    if (rules.configFile && isConfigAssignment(line))
        return rewriteConfigLine(line, relocation.newRoot);
    const qsizetype equals = line.indexOf('=');
    if (rules.hostConf && equals > 0 && !relocation.hostRoot.isEmpty()) {
        const QByteArray key = line.left(equals).trimmed();
        const QString host = QString::fromLocal8Bit(relocation.hostRoot);
        const QString root = QString::fromLocal8Bit(rootSpelling(relocation.newRoot));
        if (key == "HostPrefix")
            return "HostPrefix=" + QDir(root + QLatin1Char('/') + QString::fromLocal8Bit(rules.hostConfFolder)).relativeFilePath(host).toLocal8Bit();
        if (key == "HostData" && rules.hostData)
            return "HostData=" + QDir(host).relativeFilePath(QDir::cleanPath(root + QLatin1Char('/') + QString::fromLocal8Bit(rules.hostDataRest))).toLocal8Bit();
    }
    return rules.deep ? rewriteWholePaths(line, relocation) : line;
}

// A root the tool may have patched a file for, with the host Qt it named then.
struct Place {
    QByteArray root;
    QByteArray host;
};

// `rules` as they were for `place`.
void placeRules(TextRules *rules, const Place &place)
{
    rules->relocation.newRoot = place.root;
    if (!place.host.isEmpty())
        rules->relocation.hostRoot = place.host;
}

// Every line a patch of `backup` for one of `roots` writes, each kept as the backup's line it comes
// from: the backup's own lines first, then for each root the line as a plain patch writes it, then as
// --deep does, where that differs. The first way a line is written counts.
class ToolLines
{
public:
    ToolLines(const QByteArray &backup, const TextRules &rules, const QVector<Place> &roots)
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
        placeRules(&rules, m_roots.at(root));
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
    const QVector<Place> m_roots;
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
    forEachConfigAssignment(current, [&](const ConfigAssignment &assignment) { add(assignedRoot(assignment)); });
    return roots;
}

// Each candidate root with each host Qt place the tool may have named with it: where it names the host
// now, then where it named it before. A file of no kit has one place per root.
QVector<Place> candidatePlaces(const TextRules &rules, const QVector<QByteArray> &earlierRoots, const QByteArray &current)
{
    QVector<QByteArray> hosts{rules.relocation.hostRoot};
    for (const QByteArray &host : rules.earlierHosts) {
        if (!rules.relocation.hostRoot.isEmpty() && !hosts.contains(host) && hosts.size() <= Limits::maxEarlierPlaces)
            hosts.append(host);
    }
    QVector<Place> places;
    for (const QByteArray &root : candidateRoots(rules, earlierRoots, current)) {
        for (const QByteArray &host : qAsConst(hosts))
            places.append({root, host});
    }
    return places;
}
} // namespace

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
    const ToolLines origins(backup, rules, candidatePlaces(rules, earlierRoots, current));
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
    for (const Place &place : candidatePlaces(rules, earlierRoots, current)) {
        for (const bool deep : {false, true}) {
            TextRules patched = rules;
            patched.deep = deep;
            placeRules(&patched, place);
            if (readsAsRulesGive(backup, patched, current))
                return true;
        }
    }
    return false;
}
