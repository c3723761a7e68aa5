#pragma once

#include "AnalysisCache.h"

// A model's view of one of the provider's lap analysis caches, with the row
// count the model has announced. The rows are read where the provider keeps
// them: a copy would make every lap the provider files afterwards copy the
// whole cache (22 800 records in a 24-hour race) for each model holding one.
// The provider announces its changes as it makes them, so between two
// announcements the cache and the announced count agree.
template <typename Record>
struct AnalysisRowsView {
    const typename AnalysisCache<Record>::Rows* rows = nullptr;
    const typename AnalysisCache<Record>::RowPositions* positions = nullptr;
    int announced = 0;

    // Follows the provider's cache as it is now.
    void take(const typename AnalysisCache<Record>::Rows& fromRows, const typename AnalysisCache<Record>::RowPositions& fromPositions)
    {
        rows = &fromRows;
        positions = &fromPositions;
        announced = fromPositions.size();
    }
    void clear() { announced = 0; }
    int count() const { return announced; }
    bool containsKey(quint64 key) const { return rows && rows->contains(key); }
    // The record shown in a row, or null.
    const Record* at(int row) const { return row < announced && rows ? AnalysisCache<Record>::recordAt(*rows, *positions, row) : nullptr; }
};
