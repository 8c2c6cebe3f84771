#include "edit/history.h"

qsizetype History::bytes() const {
    qsizetype total = 0;
    for (const QImage& entry : entries_)
        total += entry.sizeInBytes();
    return total;
}
