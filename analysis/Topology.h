// What the wiring alone decides before any arithmetic: whether the meter's current has a path,
// which windings can carry current at all, and which node of each galvanic group is held at
// zero.
#pragma once

#include <cstdint>
#include <vector>

class CCmps;

class CTopology {
 public:
  // nodes: node indices run 1..nodes (0 is the common reference); unknowns: all indices.
  // meterUnknown picks the meter among the components. False when the meter's current has
  // no closed path; nothing else is decided then.
  bool Analyse(const CCmps& cmps, int nodes, int unknowns, int meterUnknown);

  // Winding w (pins 2w, 2w + 1) of component `cmp` (its list position) carries current.
  bool Live(int cmp, int winding) const;
  // Some winding of the component is live: it has to be stamped.
  bool Stamped(int cmp) const;

  // Per unknown: held at zero, its row and column left out of the system.
  std::vector<uint8_t> Grounded;

  // What the last analysis decided about the meter's current.
  enum EVerdict : uint8_t {
    MeterClosed,   // it has a closed path: the system can be solved
    MeterOpen,     // its pins lie in two galvanic groups: no part joins them
    MeterCutOff,   // they share a group, but every path ends on a winding without current
    NodesInvalid,  // a pin carries a node outside the numbering
  };
  EVerdict Verdict = MeterClosed;

  // Why a winding carries no current.
  enum EIdle : uint8_t {
    Carrying,
    OffClosedPath,  // on no closed path: one of its ends leads nowhere
    PartnerIdle,    // the other winding of its ideal transformer carries none
    Unreached,      // on a closed path, but nowhere joined to the meter
    OtherMeter,     // a meter that is not being read
    ForcedOpen,     // listed in Open
  };
  // The reason of the component's first idle winding; Carrying while any winding is stamped.
  EIdle Idle(int cmp) const;
  // Winding w of component `cmp` lost its current only because its transformer partner did.
  bool PartnerIdleWinding(int cmp, int winding) const;
  // Per component list position, set before Analyse: its windings count as open from the start.
  // Empty: none. The diagnosis of a missing reading uses it for parts open at one frequency.
  std::vector<uint8_t> Open;

 private:
  struct SWinding {
    int cmp = 0;
    int a = 0, b = 0;
    bool live = true;
    bool ideal = false;
    EIdle why = Carrying;  // an ideal transformer: its windings carry current together or not
  };

  void ListWindings(const CCmps& cmps, int meterUnknown);
  bool MeterPinsShareGroup(int nodes) const;
  bool DropWindingsOffClosedPaths(int nodes);
  void Drop(SWinding& w, EIdle why);
  void DropIslands(int nodes);
  void ChooseReferences(int nodes, int unknowns);

  std::vector<SWinding> windings;
  std::vector<int> firstWinding;  // per component into windings, one past the end last
  int meter = -1;                 // index into windings of the meter, -1 when there is none
};
