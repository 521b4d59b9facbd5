#include "compounds/early_traces.h"

#include <cmath>
#include <cstring>
#include <system_error>
#include <utility>

#include "compounds/run_compounds.h"

namespace {

std::uint64_t bitsOf(double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

}  // namespace

std::size_t EarlyTraces::KeyHash::operator()(const Key& key) const {
  std::uint64_t hash = static_cast<unsigned char>(key.polarity);
  for (const std::uint64_t part : {key.mz, key.start, key.end})
    hash = (hash ^ part) * 0x100000001b3ULL + (hash >> 29);
  return static_cast<std::size_t>(hash);
}

EarlyTraces::Key EarlyTraces::keyOf(char polarity, const TraceRequest& request) {
  return Key{polarity, bitsOf(request.mz), bitsOf(request.start), bitsOf(request.end)};
}

EarlyTraces::EarlyTraces(const std::vector<scan>& scans, std::vector<char> polarities, double tracePpm,
                         double traceMargin)
    : scans_(scans), polarities_(std::move(polarities)), tracePpm_(tracePpm), traceMargin_(traceMargin) {
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    // Nothing is read ahead.
  }
}

EarlyTraces::~EarlyTraces() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void EarlyTraces::add(std::vector<FeaturePlace> candidates) {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(candidates));
  }
  wake_.notify_one();
}

void EarlyTraces::finish() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void EarlyTraces::run() {
  try {
    for (const char polarity : polarities_) indices_.try_emplace(polarity, scans_, polarity);
    for (;;) {
      std::vector<FeaturePlace> batch;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return closed_ || !queue_.empty(); });
        if (queue_.empty()) return;
        batch = std::move(queue_.front());
        queue_.erase(queue_.begin());
      }
      readBatch(std::move(batch));
    }
  } catch (...) {
    failure_ = std::current_exception();
  }
}

void EarlyTraces::readBatch(std::vector<FeaturePlace> candidates) {
  for (const auto& [polarity, ms1] : indices_) {
    std::vector<TraceRequest> requests;
    std::vector<const FeaturePlace*> places;
    for (const FeaturePlace& place : candidates) {
      if (place.polarity != polarity || !std::isfinite(place.mz)) continue;
      requests.push_back(traceRequestOf(place.mz, place.rtStart, place.rtEnd, traceMargin_));
      places.push_back(&place);
    }
    if (requests.empty()) continue;
    std::vector<FeatureTrace> traces = readTraces(ms1, requests, tracePpm_, 1);
    std::vector<double> apexes(traces.size());
    for (std::size_t j = 0; j < traces.size(); ++j)
      apexes[j] = markPeak(ms1, places[j]->rt, places[j]->rtStart, places[j]->rtEnd, traces[j]);
    std::vector<SmoothedTrace> smoothed = smoothedTraces(std::move(traces), 1);
    read_.reserve(read_.size() + smoothed.size());
    for (std::size_t j = 0; j < smoothed.size(); ++j) {
      if (!byRequest_.emplace(keyOf(polarity, requests[j]), read_.size()).second) continue;  // read already
      read_.push_back(Read{std::move(smoothed[j]), apexes[j], false});
    }
  }
}

const Ms1Index* EarlyTraces::index(char polarity) const {
  const auto it = indices_.find(polarity);
  return it == indices_.end() ? nullptr : &it->second;
}

bool EarlyTraces::take(char polarity, const TraceRequest& request, SmoothedTrace& trace, double& apex) {
  const auto it = byRequest_.find(keyOf(polarity, request));
  if (it == byRequest_.end() || read_[it->second].taken) return false;
  Read& read = read_[it->second];
  read.taken = true;
  trace = std::move(read.trace);
  apex = read.apex;
  return true;
}
