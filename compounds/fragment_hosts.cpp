#include "compounds/fragment_hosts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The compounds' leads sorted by one apex estimate, what the search tests of each kept by place, and which
// of them are more intense than the fragment weighed now and not absorbed (a bit per place).
struct LeadTimes {
  struct Lead {
    std::size_t compound, feature;
    double heaviest, intensity;  // the compound's heaviest m/z, the lead's intensity
  };
  std::vector<double> times;
  std::vector<Lead> leads;
  std::vector<std::size_t> placeOf;  // each compound's place, kNoCompound without a time
  std::vector<std::uint64_t> active;

  void build(const std::vector<double>& leadTime, const std::vector<GroupingFeature>& features,
             const FragmentCompounds& state) {
    std::vector<std::size_t> compounds;
    for (std::size_t c = 0; c < leadTime.size(); ++c) {
      if (leadTime[c] >= 0) compounds.push_back(c);
    }
    std::stable_sort(compounds.begin(), compounds.end(),
                     [&](std::size_t a, std::size_t b) { return leadTime[a] < leadTime[b]; });
    placeOf.assign(leadTime.size(), kNoCompound);
    for (std::size_t p = 0; p < compounds.size(); ++p) {
      const std::size_t c = compounds[p];
      placeOf[c] = p;
      times.push_back(leadTime[c]);
      leads.push_back(Lead{c, state.leadOf[c], state.heaviestOf[c], features[state.leadOf[c]].intensity});
    }
    active.assign(compounds.size() / 64 + 1, 0);
  }

  void activate(std::size_t c) {
    const std::size_t p = placeOf[c];
    if (p != kNoCompound) active[p / 64] |= std::uint64_t{1} << (p % 64);
  }

  // For good: a compound taken out is not let in again.
  void remove(std::size_t c) {
    const std::size_t p = placeOf[c];
    if (p == kNoCompound) return;
    active[p / 64] &= ~(std::uint64_t{1} << (p % 64));
    placeOf[c] = kNoCompound;
  }

  // Calls visit(lead) for each active compound whose lead's time lies within [low, high].
  template <typename Visit>
  void visitWithin(double low, double high, Visit visit) const {
    const std::size_t begin =
        static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), low) - times.begin());
    const std::size_t end =
        static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), high) - times.begin());
    for (std::size_t word = begin / 64; word * 64 < end; ++word) {
      std::uint64_t bits = active[word];
      if (word == begin / 64) bits &= ~std::uint64_t{0} << (begin % 64);
      if ((word + 1) * 64 > end) bits &= (std::uint64_t{1} << (end % 64)) - 1;
      while (bits != 0) {
        const std::size_t p = word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits));
        bits &= bits - 1;
        visit(leads[p]);
      }
    }
  }
};

double apexTime(const GroupingFeature& feature) { return feature.rt; }
double traceTime(const GroupingFeature& feature) { return feature.traceApex > 0 ? feature.traceApex : -1.0; }

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> joinFragments(const std::vector<GroupingFeature>& features,
                                                               const Neighbours& neighbours,
                                                               const std::vector<std::size_t>& fragments,
                                                               FragmentCompounds& compounds,
                                                               double minCorrelation,
                                                               const SimilarityScreen& screen) {
  std::vector<std::pair<std::size_t, std::size_t>> joins;
  const std::size_t count = compounds.leadOf.size();
  // A host's lead co-elutes with the fragment: only leads are visited, by either apex estimate, within the
  // fragment's search radius (a superset: neighbours.coelute decides), and only those more intense than
  // the fragment. Fragments come most intense first, so leads are let in as the fragments' intensity falls;
  // a lead let in too early is turned away by the intensity test.
  std::vector<double> apexOfLead(count), traceOfLead(count);
  for (std::size_t c = 0; c < count; ++c) {
    apexOfLead[c] = apexTime(features[compounds.leadOf[c]]);
    traceOfLead[c] = traceTime(features[compounds.leadOf[c]]);
  }
  // Absorbed compounds are never hosts: none is absorbed yet, and each one absorbed below leaves both.
  for (std::size_t c = 0; c < count; ++c) {
    if (compounds.absorbed[c]) {
      apexOfLead[c] = -1;
      traceOfLead[c] = -1;
    }
  }
  LeadTimes byApex, byTrace;
  byApex.build(apexOfLead, features, compounds);
  byTrace.build(traceOfLead, features, compounds);
  std::vector<std::size_t> byIntensity;
  for (std::size_t c = 0; c < count; ++c) {
    const double intensity = features[compounds.leadOf[c]].intensity;
    if (intensity == intensity) byIntensity.push_back(c);  // a lead of no number is never more intense
  }
  std::stable_sort(byIntensity.begin(), byIntensity.end(), [&](std::size_t a, std::size_t b) {
    return features[compounds.leadOf[a]].intensity > features[compounds.leadOf[b]].intensity;
  });
  std::size_t letIn = 0;
  std::vector<std::size_t> weighedFor(count, kNoCompound);
  for (std::size_t fragment : fragments) {
    const GroupingFeature& feature = features[fragment];
    while (letIn < byIntensity.size() &&
           features[compounds.leadOf[byIntensity[letIn]]].intensity > feature.intensity) {
      byApex.activate(byIntensity[letIn]);
      byTrace.activate(byIntensity[letIn]);
      ++letIn;
    }
    std::size_t host = kNoCompound;
    double hostCorrelation = minCorrelation;
    // Unchanged while the fragment's hosts are weighed (the writes below to weighedFor do not touch them).
    const std::size_t own = compounds.compoundOf[fragment];
    const double mz = feature.mz, intensity = feature.intensity;
    const auto weigh = [&](const LeadTimes::Lead& candidate) {
      const std::size_t c = candidate.compound;
      if (weighedFor[c] == fragment || c == own) return;
      weighedFor[c] = fragment;
      const std::size_t lead = candidate.feature;
      if (!(mz < candidate.heaviest) || !(intensity < candidate.intensity)) return;
      if (!neighbours.coelute(fragment, lead)) return;
      if (screen && screen(fragment, lead, hostCorrelation)) return;
      const double correlation = neighbours.correlationOnce(fragment, lead);
      if (std::isnan(correlation) || correlation < hostCorrelation) return;
      if (host == kNoCompound || correlation > hostCorrelation || c < host) {
        host = c;
        hostCorrelation = correlation;
      }
    };
    const double radius = neighbours.searchRadius(fragment);
    const double times[2] = {apexTime(feature), traceTime(feature)};
    for (int estimate = 0; estimate < 2; ++estimate) {
      const double time = times[estimate];
      if (!(time >= 0)) continue;
      // Widened by far more than the rounding of the pair's time difference.
      const double slack = 1e-9 * (time + radius);
      (estimate == 0 ? byApex : byTrace).visitWithin(time - radius - slack, time + radius + slack, weigh);
    }
    if (host == kNoCompound) continue;
    compounds.absorbed[compounds.compoundOf[fragment]] = 1;
    byApex.remove(compounds.compoundOf[fragment]);
    byTrace.remove(compounds.compoundOf[fragment]);
    compounds.compoundOf[fragment] = host;
    joins.emplace_back(fragment, host);
  }
  return joins;
}
