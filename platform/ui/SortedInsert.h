#pragma once
// Where a sorted list control puts a new entry: after the entries that sort equal to it or
// before it, comparing without case, as the platform's sorted lists do.
#include <QString>

namespace platform {

template <typename TextAt>
int SortedInsertPosition(int count, TextAt textAt, const QString& text)
{
    int lo = 0, hi = count;
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        if (QString::compare(textAt(mid), text, Qt::CaseInsensitive) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

} // namespace platform
