#pragma once
// Looking into a built graph from tests and benchmarks: a filter's n-th pin of
// one direction, and the renderer a stream ended in.

#include "MediaInterfaces.h"

namespace zem::test {

// The n-th pin of `dir` (counted from 0), or none.
IPinPtr GetPin(const IBaseFilterPtr& filter, PIN_DIRECTION dir, int n);

// A filter with exactly one input, no output, connected to the wanted major type.
IBaseFilterPtr FindRenderer(IGraphBuilder* graph, const GUID& major);

} // namespace zem::test
