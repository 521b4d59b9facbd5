#include "compounds/fragment_hosts.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "util/parallel_for.h"

namespace {

// The compounds' leads sorted by one apex estimate, with what the search tests of each kept by place.
struct LeadTimes {
  struct Lead {
    std::size_t compound, feature;
    double heaviest, intensity;  // the compound's heaviest m/z, the lead's intensity
  };
  std::vector<double> times;
  std::vector<Lead> leads;
  std::vector<std::size_t> placeOf;  // each compound's place, kNoCompound without a time

  void build(const std::vector<double>& leadTime, const std::vector<GroupingFeature>& features,
             const FragmentCompounds& state) {
    std::vector<std::size_t> compounds;
    for (std::size_t c = 0; c < leadTime.size(); ++c) {
      if (leadTime[c] >= 0) compounds.push_back(c);
    }
    std::stable_sort(compounds.begin(), compounds.end(),
                     [&](std::size_t a, std::size_t b) { return leadTime[a] < leadTime[b]; });
    placeOf.assign(leadTime.size(), kNoCompound);
    times.reserve(compounds.size());
    leads.reserve(compounds.size());
    for (std::size_t p = 0; p < compounds.size(); ++p) {
      const std::size_t c = compounds[p];
      placeOf[c] = p;
      times.push_back(leadTime[c]);
      leads.push_back(Lead{c, state.leadOf[c], state.heaviestOf[c], features[state.leadOf[c]].intensity});
    }
  }
};

// Which leads of one LeadTimes a worker has let in (more intense than a fragment it weighed), a bit per
// place.
struct ActiveLeads {
  std::vector<std::uint64_t> bits;

  explicit ActiveLeads(const LeadTimes& leads) : bits(leads.leads.size() / 64 + 1, 0) {}

  void activate(const LeadTimes& leads, std::size_t c) {
    const std::size_t p = leads.placeOf[c];
    if (p != kNoCompound) bits[p / 64] |= std::uint64_t{1} << (p % 64);
  }

  void deactivate(const LeadTimes& leads, std::size_t c) {
    const std::size_t p = leads.placeOf[c];
    if (p != kNoCompound) bits[p / 64] &= ~(std::uint64_t{1} << (p % 64));
  }

  // Calls visit(lead) for each active lead whose time lies within [low, high] (visit may deactivate leads).
  template <typename Visit>
  void visitWithin(const LeadTimes& leads, double low, double high, Visit visit) const {
    const std::vector<double>& times = leads.times;
    const std::size_t begin =
        static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), low) - times.begin());
    const std::size_t end =
        static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), high) - times.begin());
    for (std::size_t word = begin / 64; word * 64 < end; ++word) {
      std::uint64_t active = bits[word];
      if (word == begin / 64) active &= ~std::uint64_t{0} << (begin % 64);
      if ((word + 1) * 64 > end) active &= (std::uint64_t{1} << (end % 64)) - 1;
      while (active != 0) {
        const std::size_t p = word * 64 + static_cast<std::size_t>(__builtin_ctzll(active));
        active &= active - 1;
        visit(leads.leads[p]);
      }
    }
  }
};

double apexTime(const GroupingFeature& feature) { return feature.rt; }
double traceTime(const GroupingFeature& feature) { return feature.traceApex > 0 ? feature.traceApex : -1.0; }

// A compound a fragment may join, with their correlation.
struct Host {
  std::size_t compound;
  double correlation;
};

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> joinFragments(
    const std::vector<GroupingFeature>& features, const Neighbours& neighbours,
    const std::vector<std::size_t>& fragments, FragmentCompounds& compounds, double minCorrelation,
    const SimilarityScreen& screen, std::size_t workers) {
  const std::size_t count = compounds.leadOf.size();
  if (workers == 0) workers = 1;
  // A host's lead co-elutes with the fragment: only leads are visited, by either apex estimate, within the
  // fragment's search radius (a superset: neighbours.coelute decides), and only those more intense than
  // the fragment. Fragments come most intense first, so each worker lets leads in as the intensity of the
  // fragments it weighs falls; a lead let in too early is turned away by the intensity test.
  std::vector<double> apexOfLead(count), traceOfLead(count);
  for (std::size_t c = 0; c < count; ++c) {
    const bool host = !compounds.absorbed[c];  // a compound absorbed before the search is never a host
    apexOfLead[c] = host ? apexTime(features[compounds.leadOf[c]]) : -1;
    traceOfLead[c] = host ? traceTime(features[compounds.leadOf[c]]) : -1;
  }
  // The leads in order of either apex estimate and of intensity, side by side.
  LeadTimes byApex, byTrace;
  std::vector<std::size_t> byIntensity;
  parallelFor(3, workers, [&](std::size_t order, std::size_t) {
    if (order == 0) {
      byApex.build(apexOfLead, features, compounds);
    } else if (order == 1) {
      byTrace.build(traceOfLead, features, compounds);
    } else {
      byIntensity.reserve(count);
      for (std::size_t c = 0; c < count; ++c) {
        const double intensity = features[compounds.leadOf[c]].intensity;
        if (intensity == intensity) byIntensity.push_back(c);  // a lead of no number is never more intense
      }
      std::stable_sort(byIntensity.begin(), byIntensity.end(), [&](std::size_t a, std::size_t b) {
        return features[compounds.leadOf[a]].intensity > features[compounds.leadOf[b]].intensity;
      });
    }
  });

  // Each fragment's possible hosts are weighed by the workers, pieces of consecutive fragments at a time:
  // all that correlate well enough, but those already taken out. Which of them a fragment joins depends on
  // the joins of the fragments before it, so the pieces are decided in order, each as soon as it and all
  // before it are weighed, by whichever worker finished the last of them. A compound taken out by then is
  // skipped when weighing; one taken out later is passed over when deciding.
  std::vector<std::vector<Host>> hostsOf(fragments.size());
  std::vector<std::atomic<char>> absorbed(count);
  for (std::size_t c = 0; c < count; ++c) absorbed[c].store(compounds.absorbed[c], std::memory_order_relaxed);
  std::vector<std::pair<std::size_t, std::size_t>> joins;
  const auto decide = [&](std::size_t i) {
    const std::size_t fragment = fragments[i];
    std::size_t host = kNoCompound;
    double hostCorrelation = minCorrelation;
    for (const Host& candidate : hostsOf[i]) {
      if (absorbed[candidate.compound].load(std::memory_order_relaxed)) continue;
      if (candidate.correlation < hostCorrelation) continue;
      if (host == kNoCompound || candidate.correlation > hostCorrelation || candidate.compound < host) {
        host = candidate.compound;
        hostCorrelation = candidate.correlation;
      }
    }
    if (host == kNoCompound) return;
    absorbed[compounds.compoundOf[fragment]].store(1, std::memory_order_relaxed);
    compounds.compoundOf[fragment] = host;
    joins.emplace_back(fragment, host);
  };
  struct alignas(64) Worker {  // on cache lines of its own
    ActiveLeads byApex, byTrace;
    std::size_t letIn = 0;
    std::vector<std::size_t> weighedFor;
    std::vector<std::size_t> pending, pendingLeads;  // the compounds and leads of one fragment to screen
    std::vector<Screened> verdicts;
  };
  std::vector<Worker> states;
  for (std::size_t w = 0; w < workers; ++w)
    states.push_back(Worker{ActiveLeads(byApex),
                            ActiveLeads(byTrace),
                            0,
                            std::vector<std::size_t>(count, kNoCompound),
                            {},
                            {},
                            {}});
  // A worker is handed its pieces in increasing order, so it only ever lets more leads in. One worker
  // decides each fragment before weighing the next.
  const std::size_t piece = workers == 1 ? 1 : 16;
  const std::size_t pieces = (fragments.size() + piece - 1) / piece;
  std::vector<std::atomic<char>> weighed(pieces);
  std::mutex deciding;
  std::size_t decided = 0;  // pieces decided, under `deciding`
  const auto decideWeighed = [&] {
    const std::lock_guard<std::mutex> lock(deciding);
    for (; decided < pieces && weighed[decided].load(std::memory_order_acquire); ++decided) {
      for (std::size_t i = decided * piece; i < fragments.size() && i < (decided + 1) * piece; ++i) decide(i);
    }
  };
  parallelFor(pieces, workers, [&](std::size_t p, std::size_t w) {
    Worker& state = states[w];
    for (std::size_t i = p * piece; i < fragments.size() && i < (p + 1) * piece; ++i) {
      const std::size_t fragment = fragments[i];
      const GroupingFeature& feature = features[fragment];
      while (state.letIn < byIntensity.size() &&
             features[compounds.leadOf[byIntensity[state.letIn]]].intensity > feature.intensity) {
        state.byApex.activate(byApex, byIntensity[state.letIn]);
        state.byTrace.activate(byTrace, byIntensity[state.letIn]);
        ++state.letIn;
      }
      // Not decided yet, so not written meanwhile.
      const std::size_t own = compounds.compoundOf[fragment];
      const double mz = feature.mz, intensity = feature.intensity;
      std::vector<Host>& hosts = hostsOf[i];
      const auto weigh = [&](const LeadTimes::Lead& candidate) {
        // What the lead's record holds first: most visits end there, without a look elsewhere in memory.
        if (!(mz < candidate.heaviest) || !(intensity < candidate.intensity)) return;
        const std::size_t c = candidate.compound;
        if (absorbed[c].load(std::memory_order_relaxed)) {  // for good: not visited again
          state.byApex.deactivate(byApex, c);
          state.byTrace.deactivate(byTrace, c);
          return;
        }
        if (state.weighedFor[c] == fragment || c == own) return;
        state.weighedFor[c] = fragment;
        const std::size_t lead = candidate.feature;
        if (!neighbours.coelute(fragment, lead)) return;
        state.pending.push_back(c);
        state.pendingLeads.push_back(lead);
      };
      const double radius = neighbours.searchRadius(fragment);
      const double times[2] = {apexTime(feature), traceTime(feature)};
      for (int estimate = 0; estimate < 2; ++estimate) {
        const double time = times[estimate];
        if (!(time >= 0)) continue;
        // Widened by far more than the rounding of the pair's time difference.
        const double slack = 1e-9 * (time + radius);
        if (estimate == 0) {
          state.byApex.visitWithin(byApex, time - radius - slack, time + radius + slack, weigh);
        } else {
          state.byTrace.visitWithin(byTrace, time - radius - slack, time + radius + slack, weigh);
        }
      }
      // The possible hosts screened together, then the correlations of those not turned away (below, NaN
      // or flat).
      const std::size_t pending = state.pending.size();
      state.verdicts.assign(pending, Screened::kUnsure);
      if (screen && pending > 0)
        screen(fragment, state.pendingLeads.data(), pending, minCorrelation, state.verdicts.data());
      for (std::size_t k = 0; k < pending; ++k) {
        if (state.verdicts[k] != Screened::kUnsure) continue;
        const double correlation = neighbours.correlationOnce(fragment, state.pendingLeads[k]);
        if (std::isnan(correlation) || correlation < minCorrelation) continue;
        hosts.push_back(Host{state.pending[k], correlation});
      }
      state.pending.clear();
      state.pendingLeads.clear();
    }
    weighed[p].store(1, std::memory_order_release);
    decideWeighed();
  });
  decideWeighed();  // none is left: the worker that weighed the last piece decided it
  for (std::size_t c = 0; c < count; ++c) compounds.absorbed[c] = absorbed[c].load(std::memory_order_relaxed);
  return joins;
}
