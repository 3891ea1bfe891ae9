#ifndef ZEL_QTPATHCHECK_H
#define ZEL_QTPATHCHECK_H

#include <QString>

// The checks a chosen Qt directory must pass before either command may run on it.
enum class QtPathCheck {
    Accepted,
    NotAnInstallation, // no "bin" or no "lib" entry
    TooLong,           // more than 200 characters
    NotAsciiOrSpace    // a space, or a character above U+00FF
};

// Runs the checks in order and returns the first that fails.
QtPathCheck checkQtPath(const QString &path);

// The message shown for a failed check; empty for Accepted.
QString qtPathCheckMessage(QtPathCheck check);

// Title of the box that shows a failed check.
QString qtPathCheckTitle();

#endif
