#include "GraphHelpers.h"

namespace zem::test {

IPinPtr GetPin(const IBaseFilterPtr& filter, PIN_DIRECTION dir, int n) {
    std::shared_ptr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(&pins)))
        return nullptr;
    IPinPtr pin;
    while (pins->Next(&pin) == S_OK) {
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == dir && n-- == 0)
            return pin;
    }
    return nullptr;
}

IBaseFilterPtr FindRenderer(IGraphBuilder* graph, const GUID& major) {
    std::shared_ptr<IEnumFilters> filters;
    graph->EnumFilters(&filters);
    IBaseFilterPtr filter;
    while (filters->Next(&filter) == S_OK) {
        if (!GetPin(filter, PINDIR_INPUT, 0) || GetPin(filter, PINDIR_INPUT, 1) || GetPin(filter, PINDIR_OUTPUT, 0))
            continue;
        AM_MEDIA_TYPE type;
        if (GetPin(filter, PINDIR_INPUT, 0)->ConnectionMediaType(&type) == S_OK && type.majortype == major)
            return filter;
    }
    return nullptr;
}

} // namespace zem::test
