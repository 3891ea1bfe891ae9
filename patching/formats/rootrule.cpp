#include "patching/formats/rootrule.h"

#include <QByteArrayList>
#include <QString>

#include <algorithm>

namespace {
bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

// ASCII only: the case of a drive or directory letter, never of a byte of another encoding.
char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool isWindowsPath(const QByteArray &path)
{
    return path.size() >= 3 && lower(path.at(0)) >= 'a' && lower(path.at(0)) <= 'z' && path.at(1) == ':'
        && isSeparator(path.at(2));
}

// How many bytes of `path` spell `spelling` (a root without trailing separators), or -1.
qsizetype spelledLength(const QByteArray &path, const QByteArray &spelling, bool windows)
{
    qsizetype at = 0;
    for (const char r : spelling) {
        if (at >= path.size())
            return -1;
        const char c = path.at(at++);
        if (windows && isSeparator(r)) {
            if (!isSeparator(c))
                return -1;
            if (c == '\\' && at < path.size() && path.at(at) == '\\') // the escaped spelling
                ++at;
        } else if (windows ? lower(c) != lower(r) : c != r) {
            return -1;
        }
    }
    return at;
}

// The rest of a path after its root as a clean relative path; false when it climbs out of the root.
bool cleanPlace(const QByteArray &rest, QByteArray *place)
{
    QByteArrayList parts;
    for (const QByteArray &part : QByteArray(rest).replace('\\', '/').split('/')) {
        if (part == "..") {
            if (parts.isEmpty())
                return false;
            parts.removeLast();
        } else if (!part.isEmpty() && part != ".") {
            parts.append(part);
        }
    }
    *place = parts.join('/');
    return true;
}

// How many bytes of `path` spell `root` as a whole path, with its place below it; -1 when it does not.
qsizetype wholePathLength(const QByteArray &path, const QByteArray &root, QByteArray *place)
{
    if (!isAbsolutePath(root))
        return -1;
    const bool windows = isWindowsPath(root);
    const QByteArray spelling = rootSpelling(root);
    const qsizetype length = spelledLength(path, spelling, windows);
    if (length < 0)
        return -1;
    const bool separatorNext = length < path.size() && (path.at(length) == '/' || (windows && path.at(length) == '\\'));
    // "/" is spelled "": the path must go on with its separator.
    if (!separatorNext && (spelling.isEmpty() || length != path.size()))
        return -1;
    return cleanPlace(path.mid(length), place) ? length : -1;
}
} // namespace

bool isAbsolutePath(const QByteArray &path)
{
    return path.startsWith('/') || isWindowsPath(path);
}

bool isWritablePlace(const QByteArray &path)
{
    return isAbsolutePath(path) && std::none_of(path.cbegin(), path.cend(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7F; });
}

QByteArray rootSpelling(const QByteArray &root)
{
    QByteArray spelling = root;
    while (!spelling.isEmpty() && isSeparator(spelling.back()))
        spelling.chop(1);
    return spelling;
}

QByteArray rootKey(const QByteArray &path)
{
    QByteArray key;
    for (const char c : rootSpelling(path)) {
        const char separated = c == '\\' ? '/' : c;
        if (separated != '/' || !key.endsWith('/'))
            key += separated;
    }
    if (isWindowsPath(path)) {
        for (char &c : key)
            c = lower(c);
    }
    return key;
}

bool namesRoot(const QByteArray &path, const QByteArray &root)
{
    QByteArray place;
    return wholePathLength(path, root, &place) >= 0;
}

RootMatch longestOldRoot(const QByteArray &path, const QVector<QByteArray> &oldRoots, const QByteArray &newRoot,
                         const PlaceExists &placeExists)
{
    RootMatch best;
    qsizetype bestSpelling = -1;
    for (int i = 0; i < oldRoots.size(); ++i) {
        QByteArray place;
        const qsizetype length = wholePathLength(path, oldRoots.at(i), &place);
        const qsizetype spelling = rootSpelling(oldRoots.at(i)).size();
        // A place that is not part of the installation (/usr/X11R6/lib below an old root /usr) is kept.
        if (length < 0 || spelling <= bestSpelling || (!place.isEmpty() && placeExists && !placeExists(place)))
            continue;
        best = {i, length, place};
        bestSpelling = spelling;
    }
    QByteArray newPlace;
    if (best.index >= 0 && !newRoot.isEmpty() && wholePathLength(path, newRoot, &newPlace) >= 0
        && rootSpelling(newRoot).size() >= bestSpelling)
        return RootMatch();
    return best;
}
