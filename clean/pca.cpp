#include "clean/pca.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>

PcaScores principalComponents(const std::vector<std::vector<double>>& areas,
                              const std::vector<std::size_t>& columns) {
  const std::size_t n = columns.size();
  PcaScores scores;
  scores.pc1.assign(n, 0.0);
  scores.pc2.assign(n, 0.0);
  if (n < 2) return scores;
  // Scaled log areas, one column per usable feature.
  std::vector<std::vector<double>> scaled;
  for (const std::vector<double>& row : areas) {
    double smallest = INFINITY;
    for (const std::size_t s : columns)
      if (row[s] > 0) smallest = std::min(smallest, row[s]);
    if (!std::isfinite(smallest)) continue;
    std::vector<double> values(n);
    double sum = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const double a = row[columns[k]];
      values[k] = std::log2(a > 0 ? a : 0.5 * smallest);
      sum += values[k];
    }
    const double mean = sum / static_cast<double>(n);
    double squares = 0;
    for (double& v : values) {
      v -= mean;
      squares += v * v;
    }
    const double sd = std::sqrt(squares / static_cast<double>(n - 1));
    if (!(sd > 1e-12)) continue;
    for (double& v : values) v /= sd;
    scaled.push_back(std::move(values));
  }
  if (scaled.empty()) return scores;
  // The injections' Gram matrix: its eigenvectors times the roots of its eigenvalues are the scores.
  Eigen::MatrixXd gram = Eigen::MatrixXd::Zero(static_cast<Eigen::Index>(n), static_cast<Eigen::Index>(n));
  for (const std::vector<double>& values : scaled)
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j <= i; ++j) gram(i, j) += values[i] * values[j];
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < i; ++j) gram(j, i) = gram(i, j);
  const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(gram);
  if (solver.info() != Eigen::Success) return scores;
  const Eigen::VectorXd& values = solver.eigenvalues();  // ascending
  const double total = gram.trace();
  for (int component = 0; component < 2 && component < static_cast<int>(n); ++component) {
    const Eigen::Index index = static_cast<Eigen::Index>(n) - 1 - component;
    const double value = std::max(0.0, values(index));
    std::vector<double>& out = component == 0 ? scores.pc1 : scores.pc2;
    std::size_t largest = 0;
    for (std::size_t k = 0; k < n; ++k) {
      out[k] = solver.eigenvectors()(static_cast<Eigen::Index>(k), index) * std::sqrt(value);
      if (std::abs(out[k]) > std::abs(out[largest])) largest = k;
    }
    if (out[largest] < 0)
      for (double& v : out) v = -v;
    (component == 0 ? scores.explained1 : scores.explained2) = total > 0 ? 100.0 * value / total : 0.0;
  }
  return scores;
}
