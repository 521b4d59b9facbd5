#include "processing/filterer.h"

#include "records/run_data.h"
#include "util/mass_window.h"

filterer::filterer() = default;
filterer::~filterer() = default;

double filterer::massWindowAt(double mz) const { return massWindow(mz, massTolerance, massPpm); }

void filterer::noteChannel(const std::vector<channel>& channels, const channel& ch, std::size_t part,
                           std::size_t whole) const {
  if (!channelProgress) return;
  const double index = static_cast<double>(&ch - channels.data());
  channelProgress(index + (whole == 0 ? 0.0 : static_cast<double>(part) / static_cast<double>(whole)),
                  channels.size());
}
