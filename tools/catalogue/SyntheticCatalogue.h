#pragma once

#include "RecordValues.h"

#include <QtGlobal>

// Endless believable catalogue rows for measuring the program on large
// catalogues. The same seed always gives the same rows, on every machine:
// the generator and every choice it makes are our own, not the standard
// library's distributions.
class SyntheticCatalogue {
public:
    explicit SyntheticCatalogue(quint64 seed);

    RecordValues next();

private:
    quint64 nextRandom();
    // 0 <= result < bound
    int below(int bound);
    // true with the given chance in percent
    bool chance(int percent);

    QString codeLetter(const char *letters, const int *weights, int count, const char *odd);
    QString author();
    QString publisher();
    QString title();
    QString isbn();

    quint64 m_state;
};
