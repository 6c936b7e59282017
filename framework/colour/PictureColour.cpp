#include "PictureColour.h"

#include <algorithm>

namespace zem::colour {

bool NeedsColourWork(const PictureColour& colour) {
    return colour.bits > 8 || colour.primaries != Primaries::Bt709 || colour.transfer != Transfer::Sdr;
}

double SourcePeakNits(const PictureColour& colour) {
    switch (colour.transfer) {
    case Transfer::Sdr:
        return kReferenceWhiteNits;
    case Transfer::Hlg:
        return kHlgPeakNits;
    case Transfer::Pq:
        break;
    }
    // Films that give nonsense levels (below reference white, or above what
    // PQ can code) are held to what the curve can mean.
    auto held = [](double nits) { return std::clamp(nits, kReferenceWhiteNits, kPqPeakNits); };
    if (colour.light.maxContent > 0)
        return held(colour.light.maxContent);
    if (colour.light.masteringPeak > 0)
        return held(colour.light.masteringPeak);
    return kAssumedPqPeakNits;
}

} // namespace zem::colour
