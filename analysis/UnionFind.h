// Disjoint sets of node indices, for the galvanic groups of the wiring analysis and of the
// diagnosis of a missing reading.
#pragma once

#include <cstddef>
#include <numeric>
#include <vector>

// Union-find with path halving over the indices 0..size-1.
class CUnion {
 public:
  explicit CUnion(int size) : parent(static_cast<size_t>(size)) {
    std::iota(parent.begin(), parent.end(), 0);
  }
  int Find(int x) {
    while (parent[static_cast<size_t>(x)] != x) {
      int& up = parent[static_cast<size_t>(x)];
      up = parent[static_cast<size_t>(up)];
      x = up;
    }
    return x;
  }
  void Join(int a, int b) { parent[static_cast<size_t>(Find(a))] = Find(b); }

 private:
  std::vector<int> parent;
};
