#ifndef ZEL_LANGUAGE_H
#define ZEL_LANGUAGE_H

#include <QLocale>
#include <QString>

class QTranslator;

// The language of the texts for a locale named as POSIX or Qt names it ("fr_FR.UTF-8", "fr-CA",
// "C"): "fr", the language the sources are written in, for French and for C or POSIX, so that a
// script that sets no language gets the texts it always got; "en" for every other language.
QString interfaceLanguage(const QString &localeName);

// Installs on the application the translation that `localeName`'s language needs, owned by the
// application; nullptr for French, which needs none, or when the translation cannot be loaded.
QTranslator *installTranslation(const QString &localeName = QLocale::system().name());

#endif
