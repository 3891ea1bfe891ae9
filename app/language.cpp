#include "app/language.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTranslator>

QString interfaceLanguage(const QString &localeName)
{
    // The language is what comes before the territory, the encoding or the variant.
    const QString language = localeName.section(QRegularExpression(QStringLiteral("[_.@-]")), 0, 0);
    const bool french = language.isEmpty() || language == QLatin1String("fr") || language == QLatin1String("C")
        || language == QLatin1String("POSIX");
    return french ? QStringLiteral("fr") : QStringLiteral("en");
}

QTranslator *installTranslation(const QString &localeName)
{
    const QString language = interfaceLanguage(localeName);
    if (language == QLatin1String("fr"))
        return nullptr;
    // The translations are compiled into the engine library, whose resources a program must ask for.
    Q_INIT_RESOURCE(translations);
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/i18n/zel-qt-patcher_") + language)
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}
