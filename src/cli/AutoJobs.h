#pragma once
// How many inputs `-j auto` converts at once: as many as the cores, and no
// more than the free memory holds for the largest input's pictures.
#include <string>
#include <vector>

namespace zem::cli {

int AutoJobCount(const std::vector<std::string>& inputs);

// The same from the figures: cores, bytes of memory available, and bytes of
// one decoded picture of the largest input.
int AutoJobCount(unsigned cores, double availableBytes, double pictureBytes, size_t inputs);

} // namespace zem::cli
