#include "patching/qt/generation.h"

const QVector<const QtGeneration *> &qtGenerations()
{
    static const QVector<const QtGeneration *> known = {&qt4Generation()};
    return known;
}

const QtGeneration &generationOf(const QString &qtPath)
{
    Q_UNUSED(qtPath) // one generation is known so far; the next says here what tells it apart
    return *qtGenerations().last();
}
