#include "processing/filterer.h"

#include "run/file_handle.h"
#include "util/mass_window.h"

filterer::filterer() = default;
filterer::~filterer() = default;

double filterer::massWindowAt(double mz) const { return massWindow(mz, massTolerance, massPpm); }

void filterer::noteChannel(const std::vector<channel>& channels, const channel& ch) const {
  if (channelProgress) channelProgress(static_cast<std::size_t>(&ch - channels.data()), channels.size());
}
