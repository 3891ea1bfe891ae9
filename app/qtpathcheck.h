#ifndef ZEL_QTPATHCHECK_H
#define ZEL_QTPATHCHECK_H

#include <QString>

// The checks a chosen Qt directory must pass before either command may run on it.
enum class QtPathCheck {
    Accepted,
    NoSuchDirectory,   // nothing is there
    NameNotSpelled,    // not there as given: a byte of its name is none the system's encoding can spell
    NotAnInstallation, // no "bin" or no "lib" entry
    TooLong,           // more than 200 characters
    NotAsciiOrSpace,   // a space, a control character, or a character above U+00FF
    UnsafeCharacter,   // a character qmake's files, make or the shell would read otherwise
};

// Runs the checks in order and returns the first that fails.
QtPathCheck checkQtPath(const QString &path);

// The message shown for a failed check of `path`; empty for Accepted.
QString qtPathCheckMessage(QtPathCheck check, const QString &path);

// Title of the box that shows a failed check.
QString qtPathCheckTitle();

// A directory as typed (relative, with "..", "." or doubled separators, backslashes on Windows), as
// the system resolves it: absolute, "/" separators, no trailing separator, and what comes before a
// ".." resolved through its links, as the system does, so that LINK/../qt names the directory beside
// the link's target. Empty when a directory before a ".." does not exist.
QString resolvedQtPath(const QString &typed);

#endif
