#pragma once

#include "RecordValues.h"

#include <QList>

// The demo catalogue: a chemistry department's teaching library of about two
// hundred items, so that every window has something believable to show.
namespace DemoCatalogue {

QList<RecordValues> records();

} // namespace DemoCatalogue
