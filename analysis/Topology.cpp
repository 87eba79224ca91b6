// Grouping of nodes by union-find, bridges by Tarjan's depth-first search, and the choice of
// one reference node per galvanic group.
#include "analysis/Topology.h"

#include <algorithm>
#include <numeric>

#include "analysis/UnionFind.h"
#include "components/CCmp.h"
#include "components/Kinds.h"

namespace {

// Marks every bridge among the edges flagged in `use` (an edge on no cycle of the graph):
// iterative depth-first search keeping the lowest discovery time reachable from each subtree.
// Parallel edges are told apart by edge index, so a doubled part is never a bridge.
std::vector<uint8_t> FindBridges(int vertices, const std::vector<std::pair<int, int>>& edges,
                                 const std::vector<uint8_t>& use) {
  const size_t v = static_cast<size_t>(vertices);
  std::vector<int> start(v + 1, 0), adjacent;
  for (size_t e = 0; e < edges.size(); ++e)
    if (use[e]) {
      ++start[static_cast<size_t>(edges[e].first) + 1];
      ++start[static_cast<size_t>(edges[e].second) + 1];
    }
  std::partial_sum(start.begin(), start.end(), start.begin());
  adjacent.resize(static_cast<size_t>(start[v]));
  std::vector<int> fill(start.begin(), start.end() - 1);
  for (size_t e = 0; e < edges.size(); ++e)
    if (use[e]) {
      adjacent[static_cast<size_t>(fill[static_cast<size_t>(edges[e].first)]++)] =
          static_cast<int>(e);
      adjacent[static_cast<size_t>(fill[static_cast<size_t>(edges[e].second)]++)] =
          static_cast<int>(e);
    }

  std::vector<uint8_t> bridge(edges.size(), 0);
  std::vector<int> discovered(v, -1), low(v, 0), next(v, 0), via(v, -1);
  std::vector<int> stack;
  int time = 0;
  for (int root = 0; root < vertices; ++root) {
    if (discovered[static_cast<size_t>(root)] >= 0) continue;
    stack.push_back(root);
    discovered[static_cast<size_t>(root)] = low[static_cast<size_t>(root)] = time++;
    next[static_cast<size_t>(root)] = start[static_cast<size_t>(root)];
    while (!stack.empty()) {
      const int x = stack.back();
      const size_t xs = static_cast<size_t>(x);
      if (next[xs] < start[xs + 1]) {
        const int e = adjacent[static_cast<size_t>(next[xs]++)];
        if (e == via[xs]) continue;
        const auto [p, q] = edges[static_cast<size_t>(e)];
        const int y = p == x ? q : p;
        const size_t ys = static_cast<size_t>(y);
        if (discovered[ys] >= 0) {
          low[xs] = std::min(low[xs], discovered[ys]);
        } else {
          discovered[ys] = low[ys] = time++;
          next[ys] = start[ys];
          via[ys] = e;
          stack.push_back(y);
        }
        continue;
      }
      stack.pop_back();
      if (via[xs] < 0) continue;
      const auto [p, q] = edges[static_cast<size_t>(via[xs])];
      const size_t parent = static_cast<size_t>(p == x ? q : p);
      low[parent] = std::min(low[parent], low[xs]);
      if (low[xs] > discovered[parent]) bridge[static_cast<size_t>(via[xs])] = 1;
    }
  }
  return bridge;
}

}  // namespace

bool CTopology::Live(int cmp, int winding) const {
  const size_t c = static_cast<size_t>(cmp);
  if (c + 1 >= firstWinding.size()) return true;
  const int w = firstWinding[c] + winding;
  if (winding < 0 || w >= firstWinding[c + 1]) return true;
  return windings[static_cast<size_t>(w)].live;
}

CTopology::EIdle CTopology::Idle(int cmp) const {
  const size_t c = static_cast<size_t>(cmp);
  if (c + 1 >= firstWinding.size() || Stamped(cmp)) return Carrying;
  const int w = firstWinding[c];
  return w < firstWinding[c + 1] ? windings[static_cast<size_t>(w)].why : Carrying;
}

bool CTopology::PartnerIdleWinding(int cmp, int winding) const {
  const size_t c = static_cast<size_t>(cmp);
  if (c + 1 >= firstWinding.size() || winding < 0) return false;
  const int w = firstWinding[c] + winding;
  return w < firstWinding[c + 1] && windings[static_cast<size_t>(w)].why == PartnerIdle;
}

void CTopology::Drop(SWinding& w, EIdle why) {
  if (!w.live) return;
  w.live = false;
  w.why = why;
}

bool CTopology::Stamped(int cmp) const {
  const size_t c = static_cast<size_t>(cmp);
  if (c + 1 >= firstWinding.size()) return true;
  for (int w = firstWinding[c]; w < firstWinding[c + 1]; ++w)
    if (windings[static_cast<size_t>(w)].live) return true;
  return false;
}

void CTopology::ListWindings(const CCmps& cmps, int meterUnknown) {
  windings.clear();
  firstWinding.clear();
  meter = -1;
  for (int i = 0; i < cmps.Count(); ++i) {
    const CCmp* cmp = cmps.At(i);
    firstWinding.push_back(static_cast<int>(windings.size()));
    // The kinds' own records, not the shared table: nothing global is touched on a worker.
    const bool isMeter = cmp->Type == &CElemA::TypeRecord;
    const bool ideal = cmp->Type == &CElemW::TypeRecord;
    const bool open = static_cast<size_t>(i) < Open.size() && Open[static_cast<size_t>(i)];
    for (size_t pin = 0; pin + 1 < cmp->Nodes.size(); pin += 2) {
      SWinding w{i, cmp->Nodes[pin], cmp->Nodes[pin + 1], true, ideal, Carrying};
      // Only the meter being read drives current; any other meter is an open branch.
      if (isMeter) {
        if (meter < 0 && meterUnknown > 0 && cmp->FirstExtra == meterUnknown)
          meter = static_cast<int>(windings.size());
        else
          Drop(w, OtherMeter);
      } else if (open) {
        Drop(w, ForcedOpen);
      }
      windings.push_back(w);
    }
  }
  firstWinding.push_back(static_cast<int>(windings.size()));
}

bool CTopology::MeterPinsShareGroup(int nodes) const {
  if (meter < 0) return true;
  CUnion groups(nodes + 1);
  for (size_t w = 0; w < windings.size(); ++w)
    if (static_cast<int>(w) != meter && windings[w].live) groups.Join(windings[w].a, windings[w].b);
  const SWinding& m = windings[static_cast<size_t>(meter)];
  return groups.Find(m.a) == groups.Find(m.b);
}

// A winding on no closed path carries no current, and neither then does the other winding of
// an ideal transformer; dropping that one can leave new bridges, so this repeats until stable.
// False when the meter itself ends on no closed path; the rest is still pruned then, so that
// the idle parts can be shown.
bool CTopology::DropWindingsOffClosedPaths(int nodes) {
  std::vector<std::pair<int, int>> edges;
  for (const SWinding& w : windings) edges.emplace_back(w.a, w.b);
  bool meterClosed = true;
  for (;;) {
    std::vector<uint8_t> use(windings.size());
    for (size_t w = 0; w < windings.size(); ++w) use[w] = windings[w].live;
    const std::vector<uint8_t> bridge = FindBridges(nodes + 1, edges, use);
    if (meter >= 0 && bridge[static_cast<size_t>(meter)]) meterClosed = false;
    for (size_t w = 0; w < windings.size(); ++w)
      if (bridge[w]) Drop(windings[w], OffClosedPath);
    bool more = false;
    for (size_t c = 0; c + 1 < firstWinding.size(); ++c) {
      const int from = firstWinding[c], to = firstWinding[c + 1];
      if (from == to || !windings[static_cast<size_t>(from)].ideal) continue;
      bool anyDead = false;
      for (int w = from; w < to; ++w) anyDead |= !windings[static_cast<size_t>(w)].live;
      for (int w = from; w < to && anyDead; ++w) {
        more |= windings[static_cast<size_t>(w)].live;
        Drop(windings[static_cast<size_t>(w)], PartnerIdle);
      }
    }
    if (!more) return meterClosed;
  }
}

// Parts that reach the meter neither through wires nor through a coupling of windings cannot
// change the reading; they are not stamped at all, so their values cannot spoil it either.
void CTopology::DropIslands(int nodes) {
  if (meter < 0) return;
  CUnion reach(nodes + 1);
  for (size_t c = 0; c + 1 < firstWinding.size(); ++c) {
    int previous = -1;
    for (int w = firstWinding[c]; w < firstWinding[c + 1]; ++w) {
      const SWinding& s = windings[static_cast<size_t>(w)];
      if (!s.live) continue;
      reach.Join(s.a, s.b);
      if (previous >= 0) reach.Join(previous, s.a);
      previous = s.a;
    }
  }
  // A meter without a path of its own still anchors the parts at either of its pins.
  const SWinding& m = windings[static_cast<size_t>(meter)];
  const int home = reach.Find(m.a), other = reach.Find(m.b);
  for (SWinding& w : windings)
    if (w.live && reach.Find(w.a) != home && reach.Find(w.a) != other) Drop(w, Unreached);
}

// A group's node rows sum to zero, so one node per group is held at zero exactly: the node 0
// where a group has one, else the meter's second pin in its group, else the lowest node.
void CTopology::ChooseReferences(int nodes, int unknowns) {
  CUnion groups(nodes + 1);
  for (size_t w = 0; w < windings.size(); ++w)
    if (windings[w].live && static_cast<int>(w) != meter) groups.Join(windings[w].a, windings[w].b);
  std::vector<int> reference(static_cast<size_t>(nodes) + 1, -1);
  reference[static_cast<size_t>(groups.Find(0))] = 0;
  if (meter >= 0) {
    const int b = windings[static_cast<size_t>(meter)].b;
    int& r = reference[static_cast<size_t>(groups.Find(b))];
    if (r < 0) r = b;
  }
  for (int node = 1; node <= nodes; ++node) {
    int& r = reference[static_cast<size_t>(groups.Find(node))];
    if (r < 0) r = node;
  }
  Grounded.assign(static_cast<size_t>(std::max(unknowns, 1)), 0);
  Grounded[0] = 1;
  for (int r : reference)
    if (r >= 0 && r < unknowns) Grounded[static_cast<size_t>(r)] = 1;
}

bool CTopology::Analyse(const CCmps& cmps, int nodes, int unknowns, int meterUnknown) {
  ListWindings(cmps, meterUnknown);
  Verdict = NodesInvalid;
  for (const SWinding& w : windings)
    if (w.a < 0 || w.a > nodes || w.b < 0 || w.b > nodes) return false;
  Verdict = MeterPinsShareGroup(nodes) ? MeterClosed : MeterOpen;
  if (!DropWindingsOffClosedPaths(nodes) && Verdict == MeterClosed) Verdict = MeterCutOff;
  DropIslands(nodes);
  if (Verdict != MeterClosed) return false;
  ChooseReferences(nodes, unknowns);
  return true;
}
