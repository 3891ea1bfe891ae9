#include "patching/formats/wholepathrule.h"

#include "patching/base/limits.h"

#include <QHash>
#include <QSet>

#include <cstring>

namespace {
bool isDelimiter(char c)
{
    return c == '\0' || std::strchr(" \t\r\n\f\v\"'=,;():", c) != nullptr;
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Where the path starting at `start` ends: the next delimiter, but the colon of a drive letter.
qsizetype pathEnd(const QByteArray &text, qsizetype start)
{
    qsizetype at = start;
    while (at < text.size() && (!isDelimiter(text.at(at))
                                || (text.at(at) == ':' && at == start + 1 && isLetter(text.at(start))
                                    && at + 1 < text.size() && (text.at(at + 1) == '/' || text.at(at + 1) == '\\'))))
        ++at;
    return at;
}

// Calls `onPath(start, end)` for each absolute path of `text`, in order, while it returns true.
template <typename OnPath>
void forEachAbsolutePath(const QByteArray &text, OnPath onPath)
{
    const auto tryPath = [&](qsizetype start, qsizetype end) {
        return end - start > Limits::maxPathLength || end == start || !isAbsolutePath(text.mid(start, 3)) || onPath(start, end);
    };
    for (qsizetype at = 0; at < text.size();) {
        if (isDelimiter(text.at(at))) {
            ++at;
            continue;
        }
        qsizetype end = pathEnd(text, at);
        if (!tryPath(at, end))
            return;
        if (end - at > 2 && text.at(at) == '-' && std::strchr("LIRF", text.at(at + 1))) {
            end = qMax(end, pathEnd(text, at + 2));
            if (!tryPath(at + 2, pathEnd(text, at + 2)))
                return;
        }
        at = end;
    }
}

// Whether a place exists below a root, each place asked once.
class CachedPlaces
{
public:
    explicit CachedPlaces(const PlaceExists &exists) : m_exists(exists) {}
    bool operator()(const QByteArray &place)
    {
        const auto cached = m_known.constFind(place);
        if (cached != m_known.constEnd())
            return *cached;
        return *m_known.insert(place, !m_exists || m_exists(place));
    }

private:
    const PlaceExists &m_exists;
    QHash<QByteArray, bool> m_known;
};

// Calls `onPath(at, match, host)` for each path of `text` that names an old root (`host`: of the
// host's), in order, while it returns true.
template <typename OnPath>
void forEachOldRootPath(const QByteArray &text, const Relocation &relocation, OnPath onPath)
{
    CachedPlaces belowRoot(relocation.existsBelowRoot), belowHost(relocation.existsBelowHost);
    const PlaceExists existsBelowRoot = [&belowRoot](const QByteArray &place) { return belowRoot(place); };
    const PlaceExists existsBelowHost = [&belowHost](const QByteArray &place) { return belowHost(place); };
    forEachAbsolutePath(text, [&](qsizetype start, qsizetype end) {
        const QByteArray path = text.mid(start, end - start);
        const RootMatch match = longestOldRoot(path, relocation.oldRoots, relocation.newRoot, existsBelowRoot);
        const RootMatch host = relocation.hostOldRoots.isEmpty() || relocation.hostRoot.isEmpty()
            ? RootMatch()
            : longestOldRoot(path, relocation.hostOldRoots, relocation.hostRoot, existsBelowHost);
        // A host that lay inside the installation is named by the longer, more precise root.
        if (host.index >= 0 && host.length > match.length)
            return onPath(start, host, true);
        return match.index < 0 || onPath(start, match, false);
    });
}
} // namespace

QByteArray rewriteWholePaths(const QByteArray &text, const Relocation &relocation)
{
    const QByteArray newRoot = rootSpelling(relocation.newRoot);
    const QByteArray hostRoot = rootSpelling(relocation.hostRoot);
    QByteArray result;
    qsizetype copied = 0;
    bool rewritten = false;
    forEachOldRootPath(text, relocation, [&](qsizetype at, const RootMatch &match, bool host) {
        if (!rewritten)
            result.reserve(text.size() + newRoot.size());
        rewritten = true;
        result.append(text.constData() + copied, at - copied);
        result += host ? hostRoot : newRoot;
        copied = at + match.length;
        return true;
    });
    if (!rewritten)
        return text;
    result.append(text.constData() + copied, text.size() - copied);
    return result;
}

QByteArray oldRootNamed(const QByteArray &text, const Relocation &relocation)
{
    QByteArray named;
    forEachOldRootPath(text, relocation, [&](qsizetype, const RootMatch &match, bool host) {
        if (host)
            return true; // the host's place is judged apart
        named = relocation.oldRoots.at(match.index);
        return false;
    });
    return named;
}

QVector<QByteArray> absolutePathsIn(const QByteArray &text, int limit)
{
    QVector<QByteArray> paths;
    QSet<QByteArray> seen;
    forEachAbsolutePath(text, [&](qsizetype start, qsizetype end) {
        const QByteArray path = text.mid(start, end - start);
        if (!seen.contains(path)) {
            seen.insert(path);
            paths.append(path);
        }
        return paths.size() < limit;
    });
    return paths;
}
