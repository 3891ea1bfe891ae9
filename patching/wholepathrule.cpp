#include "patching/wholepathrule.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cstring>

namespace {
// No path of a real installation is longer (PATH_MAX on Linux); nor does a scan go further.
constexpr qsizetype maxPathLength = 4096;

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// ASCII only: the case of a drive or directory letter, never of a byte of another encoding.
char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isWindowsRoot(const QByteArray &root)
{
    return root.size() >= 3 && lower(root.at(0)) >= 'a' && lower(root.at(0)) <= 'z' && root.at(1) == ':'
        && isSeparator(root.at(2));
}

// A zero byte ends a path in a binary (strchr would find the terminator for any character).
bool endsPath(char c)
{
    return c == '\0' || std::strchr("\"' \t\r\n\f\v:;,)", c) != nullptr;
}

bool startsPath(const QByteArray &text, qsizetype at)
{
    if (at == 0)
        return true;
    const char before = text.at(at - 1);
    if (before == '\0' || std::strchr("\"' \t\r\n\f\v=,;(:", before) != nullptr)
        return true;
    return at >= 2 && text.at(at - 2) == '-' && std::strchr("LIRF", before) != nullptr;
}

// A root as the scan looks for it: without its trailing separators ("/" is "", "C:/" is "C:"),
// which the path must then go on with.
struct Root {
    QByteArray spelling;
    bool windows = false;
    int index = -1; // in the old roots; -1 for the new root
};

Root rootFor(const QByteArray &root, int index)
{
    Root found{root, isWindowsRoot(root), index};
    while (!found.spelling.isEmpty() && isSeparator(found.spelling.back()))
        found.spelling.chop(1);
    return found;
}

// How many bytes of `text` from `at` spell `root`, or -1.
qsizetype spelledLength(const QByteArray &text, qsizetype at, const Root &root)
{
    qsizetype t = at;
    for (const char r : root.spelling) {
        if (t >= text.size())
            return -1;
        const char c = text.at(t++);
        if (root.windows && isSeparator(r)) {
            if (!isSeparator(c))
                return -1;
            if (c == '\\' && t < text.size() && text.at(t) == '\\') // the escaped spelling
                ++t;
        } else if (root.windows ? lower(c) != lower(r) : c != r) {
            return -1;
        }
    }
    return t - at;
}

// The rest of a path after its root, as a path below the new root ("" for the root itself);
// false when it climbs out of it.
bool relativePart(QByteArray rest, bool windows, QByteArray *relative)
{
    if (windows)
        rest.replace("\\\\", "/").replace('\\', '/');
    QString clean = QDir::cleanPath(QString::fromLocal8Bit(rest));
    while (clean.startsWith(QLatin1Char('/')))
        clean.remove(0, 1);
    *relative = clean == QLatin1String(".") ? QByteArray() : clean.toLocal8Bit();
    return !(clean == QLatin1String("..") || clean.startsWith(QLatin1String("../")));
}

// Calls `onPath(at, rootLength, oldRootIndex)` for each path of `text` that names an old root, in
// order, while it returns true.
template <typename OnPath>
void forEachOldRootPath(const QByteArray &text, const Relocation &relocation, OnPath onPath)
{
    QVector<Root> roots{rootFor(relocation.newRoot, -1)};
    for (int i = 0; i < relocation.oldRoots.size(); ++i) {
        if (!relocation.oldRoots.at(i).isEmpty())
            roots.append(rootFor(relocation.oldRoots.at(i), i));
    }
    // The longest first: of the roots a path names, the most precise counts.
    std::stable_sort(roots.begin(), roots.end(),
                     [](const Root &a, const Root &b) { return a.spelling.size() > b.spelling.size(); });
    QHash<QByteArray, bool> known;
    const auto exists = [&](const QByteArray &relative) {
        if (relative.isEmpty())
            return true; // the old root itself always counts
        const auto cached = known.constFind(relative);
        if (cached != known.constEnd())
            return *cached;
        const bool found = relocation.existsBelowRoot ? relocation.existsBelowRoot(relative)
                                                      : existsBelow(relocation.newRoot, relative);
        known.insert(relative, found);
        return found;
    };
    for (qsizetype at = 0; at < text.size();) {
        qsizetype next = at + 1;
        for (const Root &root : roots) {
            if (!startsPath(text, at))
                break; // no root can start here
            const qsizetype length = spelledLength(text, at, root);
            if (length < 0)
                continue;
            const qsizetype rootEnd = at + length;
            const bool separatorNext = rootEnd < text.size()
                && (text.at(rootEnd) == '/' || (root.windows && text.at(rootEnd) == '\\'));
            const bool pathEndsHere = rootEnd == text.size() || endsPath(text.at(rootEnd));
            if (!separatorNext && (root.spelling.isEmpty() || !pathEndsHere))
                continue; // another name that begins the same way
            if (root.index < 0) {
                next = qMax(rootEnd, next); // names the new root already
                break;
            }
            qsizetype pathEnd = rootEnd;
            while (pathEnd < text.size() && pathEnd - rootEnd <= maxPathLength && !endsPath(text.at(pathEnd)))
                ++pathEnd;
            QByteArray relative;
            if (pathEnd - rootEnd > maxPathLength
                || !relativePart(text.mid(rootEnd, pathEnd - rootEnd), root.windows, &relative) || !exists(relative))
                continue;
            if (!onPath(at, length, root.index))
                return;
            next = qMax(rootEnd, next);
            break;
        }
        at = next;
    }
}
} // namespace

QByteArray rewriteWholePaths(const QByteArray &text, const Relocation &relocation)
{
    const QByteArray newRoot = rootFor(relocation.newRoot, -1).spelling;
    QByteArray result;
    result.reserve(text.size());
    qsizetype copied = 0;
    forEachOldRootPath(text, relocation, [&](qsizetype at, qsizetype length, int) {
        result.append(text.constData() + copied, at - copied);
        result += newRoot;
        copied = at + length;
        return true;
    });
    result.append(text.constData() + copied, text.size() - copied);
    return result;
}

QByteArray oldRootNamed(const QByteArray &text, const Relocation &relocation)
{
    QByteArray named;
    forEachOldRootPath(text, relocation, [&](qsizetype, qsizetype, int index) {
        named = relocation.oldRoots.at(index);
        return false;
    });
    return named;
}

bool existsBelow(const QByteArray &root, const QByteArray &relative)
{
    return QFileInfo::exists(QString::fromLocal8Bit(root) + QLatin1Char('/') + QString::fromLocal8Bit(relative));
}

bool sameRoot(const QByteArray &a, const QByteArray &b)
{
    const Root root = rootFor(a, 0);
    const Root other = rootFor(b, 0);
    return root.windows == other.windows && spelledLength(other.spelling, 0, root) == other.spelling.size();
}
