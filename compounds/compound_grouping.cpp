#include "compounds/compound_grouping.h"

#include <algorithm>
#include <cmath>
#include <queue>

#include "compounds/fragment_hosts.h"
#include "compounds/isotope_chains.h"
#include "util/parallel_for.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// One reading of a root ion: the root as `ions[adduct]`, and the co-eluting roots whose m/z the same neutral
// mass explains under other ions of the list.
struct Explanation {
  std::size_t root = kNone;
  std::vector<std::pair<std::size_t, std::size_t>> members;  // (feature, ion), the root first
  double weight = 0;                                         // summed weights of the members' ions

  std::size_t support() const { return members.empty() ? 0 : members.size() - 1; }
};

struct Candidate {
  std::size_t support = 0;
  double weight = 0;
  double intensity = 0;
  std::size_t root = 0;

  bool operator<(const Candidate& other) const {  // the priority queue pops the largest
    if (support != other.support) return support < other.support;
    if (weight != other.weight) return weight < other.weight;
    if (intensity != other.intensity) return intensity < other.intensity;
    return root > other.root;
  }
};

class AdductSolver {
 public:
  AdductSolver(const std::vector<GroupingFeature>& features, const std::vector<Adduct>& ions,
               const Neighbours& neighbours, const std::vector<IsotopeMark>& marks,
               const GroupingOptions& options)
      : features_(features),
        ions_(ions),
        neighbours_(neighbours),
        marks_(marks),
        options_(options),
        taken_(features.size(), false) {}

  // The accepted explanations, most supported first.
  std::vector<Explanation> solve() {
    // Every root's best reading, spread over the workers: none is taken yet, so each depends on the root
    // alone. The correlations they compute are kept for the rest once all are done.
    std::vector<std::size_t> roots;
    for (std::size_t root = 0; root < features_.size(); ++root) {
      if (marks_[root].parent < 0) roots.push_back(root);
    }
    const std::size_t workers = std::max<std::size_t>(1, workerCount());
    std::vector<Candidate> first(roots.size());  // support 0: the root alone
    // Each worker's readings of supported roots (in room reserved, not touched, for all), working space and
    // correlations computed, on cache lines of its own.
    struct alignas(64) Worker {
      std::vector<Reading> readings;
      Scratch scratch;
      Neighbours::Correlations computed;
    };
    std::vector<Worker> states(workers);
    for (Worker& state : states) state.readings.reserve(roots.size());
    std::vector<std::size_t> readingOf(features_.size(), kNone);  // worker * roots + place
    parallelForRuns(roots.size(), workers, 32, [&](std::size_t k, std::size_t worker) {
      Worker& state = states[worker];
      std::vector<std::size_t>& seen = state.scratch.looked;
      seen.clear();
      Explanation best = bestExplanation(roots[k], state.scratch, &state.computed, &seen);
      if (best.support() == 0) return;
      first[k] = candidateOf(best);
      std::sort(seen.begin(), seen.end());
      seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
      readingOf[roots[k]] = worker * roots.size() + state.readings.size();
      state.readings.push_back(Reading{std::move(best), seen, 0});
    });
    for (const Worker& state : states) neighbours_.keep(state.computed);
    first.erase(std::remove_if(first.begin(), first.end(), [](const Candidate& c) { return c.support == 0; }),
                first.end());
    std::priority_queue<Candidate> queue(std::less<Candidate>(), std::move(first));
    std::vector<Explanation> accepted;
    while (!queue.empty()) {
      const Candidate top = queue.top();
      queue.pop();
      if (taken_[top.root]) continue;
      // A reading depends on which of the features it looked at are taken: read again only when more are.
      Reading& reading =
          states[readingOf[top.root] / roots.size()].readings[readingOf[top.root] % roots.size()];
      std::size_t takenSeen = 0;
      for (std::size_t other : reading.seen) takenSeen += taken_[other] ? 1 : 0;
      if (takenSeen != reading.takenSeen) {
        reading.best = bestExplanation(top.root, scratch_, nullptr, nullptr);
        reading.takenSeen = takenSeen;
      }
      const Explanation& now = reading.best;
      if (now.support() == 0) continue;
      const Candidate current = candidateOf(now);
      if (current.support != top.support || current.weight != top.weight) {
        queue.push(current);  // others were taken meanwhile: ranked again by what is left
        continue;
      }
      for (const auto& member : now.members) taken_[member.first] = true;
      accepted.push_back(now);
    }
    return accepted;
  }

 private:
  // An ion of several charges needs its isotope pattern to say so: its M+1 lies 1/z away.
  bool allowed(std::size_t feature, const Adduct& ion) const {
    return marks_[feature].charge == ion.absCharge() || (marks_[feature].charge == 0 && ion.absCharge() == 1);
  }

  Candidate candidateOf(const Explanation& explanation) const {
    return Candidate{explanation.support(), explanation.weight, features_[explanation.root].intensity,
                     explanation.root};
  }

  // A root's best reading, the features its readings looked at (taken or not, they decide it), and how
  // many of those were taken when it was read.
  struct Reading {
    Explanation best;
    std::vector<std::size_t> seen;
    std::size_t takenSeen = 0;
  };

  // Working space of explain(), kept from call to call.
  struct Scratch {
    std::vector<std::size_t> holder, seen, looked;
    std::vector<double> holderError, predicted, carried;
  };

  // The correlations it needs are kept in the neighbours, or in `computed` when given (a worker's own).
  // The features it looks at (whether taken or not) are added to `looked` when given.
  Explanation explain(std::size_t root, std::size_t rootIon, Scratch& scratch,
                      Neighbours::Correlations* computed, std::vector<std::size_t>* looked) const {
    Explanation explanation;
    const Adduct& a = ions_[rootIon];
    const double mass = a.neutralOf(features_[root].mz);
    if (!(mass > 0)) return explanation;
    const double rootTolerance = mzTolerance(features_[root].mz, options_) * a.absCharge() / a.molecules;
    // Each ion's m/z for this mass, and its share of the root's error.
    std::vector<double>& predicted = scratch.predicted;
    std::vector<double>& carried = scratch.carried;
    predicted.resize(ions_.size());
    carried.resize(ions_.size());
    for (std::size_t b = 0; b < ions_.size(); ++b) {
      predicted[b] = ions_[b].mzOf(mass);
      carried[b] = rootTolerance * ions_[b].molecules / ions_[b].absCharge();
    }
    // The co-eluting features near each ion's m/z.
    std::vector<std::size_t>& seen = scratch.seen;
    seen.clear();
    for (std::size_t target = 0; target < ions_.size(); ++target) {
      if (target == rootIon) continue;
      const double reach = carried[target] + mzTolerance(predicted[target], options_) * 1.01;
      neighbours_.addCoelutingWithin(root, predicted[target] - reach, predicted[target] + reach, seen);
    }
    if (seen.empty()) return explanation;  // no support: the root alone
    explanation.root = root;
    explanation.members.emplace_back(root, rootIon);
    explanation.weight = a.weight;
    // Each other ion of the list is given to the root that matches it best (the holders set up only here:
    // most readings find nothing).
    std::vector<std::size_t>& holder = scratch.holder;
    std::vector<double>& holderError = scratch.holderError;
    holder.assign(ions_.size(), kNone);
    holderError.assign(ions_.size(), 0);
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    if (looked != nullptr) looked->insert(looked->end(), seen.begin(), seen.end());
    for (std::size_t other : seen) {
      if (taken_[other] || marks_[other].parent >= 0) continue;
      const double mz = features_[other].mz;
      const double ownTolerance = mzTolerance(mz, options_);
      std::size_t bestIon = kNone;
      double bestError = 0;
      for (std::size_t b = 0; b < ions_.size(); ++b) {
        if (b == rootIon || !allowed(other, ions_[b])) continue;
        const double error = std::fabs(predicted[b] - mz);
        const double tolerance = ownTolerance + carried[b];
        if (error <= tolerance && (bestIon == kNone || error < bestError)) {
          bestIon = b;
          bestError = error;
        }
      }
      if (bestIon == kNone || !neighbours_.ionPartners(root, other, computed)) continue;
      if (holder[bestIon] == kNone || bestError < holderError[bestIon]) {
        holder[bestIon] = other;
        holderError[bestIon] = bestError;
      }
    }
    for (std::size_t b = 0; b < ions_.size(); ++b) {
      if (holder[b] == kNone) continue;
      explanation.members.emplace_back(holder[b], b);
      explanation.weight += ions_[b].weight;
    }
    return explanation;
  }

  Explanation bestExplanation(std::size_t root, Scratch& scratch, Neighbours::Correlations* computed,
                              std::vector<std::size_t>* looked) const {
    Explanation best;
    for (std::size_t a = 0; a < ions_.size(); ++a) {
      if (!allowed(root, ions_[a])) continue;
      Explanation candidate = explain(root, a, scratch, computed, looked);
      if (candidate.support() == 0) continue;
      if (candidate.support() > best.support() ||
          (candidate.support() == best.support() && candidate.weight > best.weight)) {
        best = std::move(candidate);
      }
    }
    return best;
  }

  const std::vector<GroupingFeature>& features_;
  const std::vector<Adduct>& ions_;
  const Neighbours& neighbours_;
  const std::vector<IsotopeMark>& marks_;
  const GroupingOptions& options_;
  std::vector<bool> taken_;
  Scratch scratch_;  // explain()'s working space once the roots are weighed one by one
};

struct Compound {
  std::vector<std::size_t> roots;
  std::vector<std::size_t> rootIons;  // index into the ion list, kNone when unexplained
  double neutralMass = 0;
  bool absorbed = false;  // joined another compound as its in-source fragment
};

std::string isotopeLabel(const std::string& ion, int step) {
  const std::string isotope = "13C" + std::to_string(step);
  return ion.empty() ? isotope : ion + " " + isotope;
}

}  // namespace

std::vector<CompoundLabel> groupCompounds(const std::vector<GroupingFeature>& features,
                                          const std::vector<Adduct>& adducts, const GroupingOptions& options,
                                          const FeatureSimilarity& similarity,
                                          const SimilarityScreen& screen) {
  const std::size_t count = features.size();
  const std::vector<Adduct> ions = adductsOfPolarity(adducts, options.polarity);
  const Neighbours neighbours(features, options, similarity, &screen);
  const std::vector<IsotopeMark> marks = findIsotopeChains(features, neighbours, options);

  // Explained compounds, then every remaining root alone.
  std::vector<Compound> compounds;
  compounds.reserve(count);
  std::vector<std::size_t> compoundOf(count, kNone);
  for (const Explanation& explanation : AdductSolver(features, ions, neighbours, marks, options).solve()) {
    Compound compound;
    double weighted = 0, total = 0;
    for (const auto& member : explanation.members) {
      compound.roots.push_back(member.first);
      compound.rootIons.push_back(member.second);
      const double intensity = std::max(features[member.first].intensity, 0.0) + 1e-300;
      weighted += intensity * ions[member.second].neutralOf(features[member.first].mz);
      total += intensity;
      compoundOf[member.first] = compounds.size();
    }
    compound.neutralMass = weighted / total;
    compounds.push_back(std::move(compound));
  }
  std::vector<std::size_t> loneRoots;
  for (std::size_t f = 0; f < count; ++f) {
    if (marks[f].parent >= 0 || compoundOf[f] != kNone) continue;
    compoundOf[f] = compounds.size();
    compounds.push_back(Compound{{f}, {kNone}, 0, false});
    loneRoots.push_back(f);
  }

  // In-source fragments: an unexplained ion joins the best-correlated co-eluting compound that is more
  // intense and heavier, most intense fragments first.
  std::stable_sort(loneRoots.begin(), loneRoots.end(), [&](std::size_t a, std::size_t b) {
    return features[a].intensity > features[b].intensity;
  });
  // Each compound's most intense and heaviest ion; a fragment joining one changes neither.
  FragmentCompounds state;
  state.compoundOf = compoundOf;
  state.leadOf.resize(compounds.size());
  state.heaviestOf.assign(compounds.size(), 0);
  state.absorbed.assign(compounds.size(), 0);
  for (std::size_t c = 0; c < compounds.size(); ++c) {
    std::size_t& lead = state.leadOf[c];
    lead = compounds[c].roots.front();
    for (std::size_t root : compounds[c].roots) {
      if (features[root].intensity > features[lead].intensity) lead = root;
      state.heaviestOf[c] = std::max(state.heaviestOf[c], features[root].mz);
    }
  }
  if (similarity) {
    for (const auto& join : joinFragments(features, neighbours, loneRoots, state, options.fragmentCorrelation,
                                          screen, workerCount())) {
      compounds[compoundOf[join.first]].absorbed = true;
      compounds[join.second].roots.push_back(join.first);
      compounds[join.second].rootIons.push_back(kNone);
      compoundOf[join.first] = join.second;
    }
  }

  // Ids in order of each compound's first feature; labels for roots, then their isotopes.
  std::vector<std::size_t> firstFeature(compounds.size(), kNone);
  for (std::size_t f = 0; f < count; ++f) {
    const std::size_t root = marks[f].parent >= 0 ? static_cast<std::size_t>(marks[f].parent) : f;
    const std::size_t c = compoundOf[root];
    if (firstFeature[c] == kNone) firstFeature[c] = f;
  }
  std::vector<std::size_t> order;
  for (std::size_t c = 0; c < compounds.size(); ++c) {
    if (!compounds[c].absorbed) order.push_back(c);
  }
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return firstFeature[a] < firstFeature[b]; });
  std::vector<CompoundLabel> labels(count);
  for (std::size_t rank = 0; rank < order.size(); ++rank) {
    const Compound& compound = compounds[order[rank]];
    std::size_t representative = kNone, representativeAt = 0;
    for (std::size_t k = 0; k < compound.roots.size(); ++k) {
      const std::size_t root = compound.roots[k];
      CompoundLabel& label = labels[root];
      label.compoundId = static_cast<long>(rank) + 1;
      label.neutralMass = compound.neutralMass;
      if (compound.rootIons[k] != kNone) {
        label.ion = ions[compound.rootIons[k]].name;
        label.charge = ions[compound.rootIons[k]].absCharge();
      } else {
        label.charge = marks[root].charge;
      }
      // The most intense explained ion; in a compound of unexplained ions the most intense one.
      const bool explained = compound.rootIons[k] != kNone;
      const bool representativeExplained =
          representative != kNone && compound.rootIons[representativeAt] != kNone;
      if (representative == kNone || (explained && !representativeExplained) ||
          (explained == representativeExplained &&
           features[root].intensity > features[representative].intensity)) {
        representative = root;
        representativeAt = k;
      }
    }
    labels[representative].representative = true;
  }
  for (std::size_t f = 0; f < count; ++f) {
    if (marks[f].parent < 0) continue;
    const CompoundLabel& root = labels[static_cast<std::size_t>(marks[f].parent)];
    CompoundLabel& label = labels[f];
    label.compoundId = root.compoundId;
    label.ion = isotopeLabel(root.ion, marks[f].step);
    label.charge = root.charge > 0 ? root.charge : marks[f].charge;
    label.neutralMass = root.neutralMass;
    label.isotope = marks[f].step;
  }
  return labels;
}
