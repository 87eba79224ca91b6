// Node numbering of a picture list: junction dots where three or more ends meet, idle dots
// removed, and node numbers spread from the element pins along the wires. The lookups by
// coordinate live only while one numbering runs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sheet/CPct.h"
#include "view/Geometry.h"

class CCmp;
class CPcts;

// One distinct connection point met during numbering.
struct PointRecord {
  int32_t x = 0;
  int32_t y = 0;
  int32_t mask = 0;   // DirBit(d): some connection point here has PinDir d
  int32_t count = 0;  // connection points other than dots (wire ends and pins)
};

class CNodeNumbering {
 public:
  explicit CNodeNumbering(CPcts& list) : list(list) {}
  // The steps of CPcts::Renumber() after the first normalisation.
  void Run();

 private:
  // One connection point of a picture: the picture's index and the point's index in it.
  using PinRef = std::pair<int32_t, int32_t>;

  void RecordConnectionPoints();
  bool RemoveIdleDots();  // true when a dot went
  void AddJunctionDots();
  void NumberFromElements();

  PointRecord& RecordAt(SPoint p);
  int RecordIndex(SPoint p) const;  // -1 when no record holds p
  void BuildPinIndex();
  // Spreads `node` from p along the wires and returns it, lowered where it met a smaller one;
  // dir: the direction a number arrives from, or none when it may leave any way.
  int Propagate(std::optional<PinDirCode> dir, int node, SPoint p);
  void MergeNodes(CCmp& c, int m, int& node);
  // Numbering keeps joined numbers as sets: a pin's number names a set, which a new number
  // (or one some pin holds now) starts and a join ends; each set stands for its number.
  void BeginNumberSets();
  int32_t FreshSet(int32_t number);
  int32_t FindSet(int32_t set);
  // Every component of the sheet (all of Cmps, or those of the elements without it).
  void ForEachComponent(const std::function<void(CCmp&)>& f);

  CPcts& list;
  std::vector<PointRecord> points;
  // The record index of each point, and the connection points at each point in list order.
  std::unordered_map<uint64_t, int32_t> pointIndex;
  std::vector<PinRef> pinRefs;     // grouped by point record
  std::vector<uint32_t> pinStart;  // record r's connection points: [pinStart[r], pinStart[r+1])
  // The sets (parent, number, the live set of each number), and for each point record and way
  // of arrival (a quarter direction, or 4 for any) a set walked there.
  std::vector<int32_t> setParent;
  std::vector<int32_t> setNumber;
  std::unordered_map<int32_t, int32_t> setOfNumber;
  std::vector<int32_t> expanded;
};
