#pragma once

#include "AnalysisCache.h"

// A model's implicitly shared copy of one of the provider's lap analysis
// caches: taking it copies no record until the provider changes its cache.
template <typename Record>
struct AnalysisRowsCopy {
    typename AnalysisCache<Record>::Rows rows;
    typename AnalysisCache<Record>::RowPositions positions;

    void take(const typename AnalysisCache<Record>::Rows& fromRows, const typename AnalysisCache<Record>::RowPositions& fromPositions)
    {
        rows = fromRows;
        positions = fromPositions;
    }
    void clear()
    {
        rows.clear();
        positions.clear();
    }
    int count() const { return positions.size(); }
    // The record shown in a row, or null.
    const Record* at(int row) const { return AnalysisCache<Record>::recordAt(rows, positions, row); }
};
