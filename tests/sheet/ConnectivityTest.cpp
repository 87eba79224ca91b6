// Wiring clean-up, elements dropped on wires and node numbering, case by case. Each case is
// sketched in grid units: x to the right, y downward; R is a resistor body, + a junction dot.
#include <gtest/gtest.h>

#include <utility>

#include "WiringFixture.h"

namespace {

// ---- normalisation

// (0,0)-----(5,0)-----(9,0)   two touching wires, nothing else at (5,0)
TEST(Normalize, MergesTouchingAndOverlappingCollinearWires) {
  Wiring s;
  s.Wire(5, 0, 9, 0);
  s.Wire(0, 0, 5, 0);
  s.pcts.Normalize();
  EXPECT_EQ(s.Text(), "W (0,0)-(9,0)");

  // Overlapping and contained pieces, horizontal and vertical, fold into one each.
  Wiring t;
  t.Wire(0, 0, 6, 0);
  t.Wire(2, 0, 4, 0);
  t.Wire(5, 0, 8, 0);
  t.Wire(3, -2, 3, 1);
  t.Wire(3, 1, 3, 5);
  t.Wire(3, 0, 3, 2);
  t.pcts.Normalize();
  EXPECT_EQ(t.Text(), "W (3,-2)-(3,5) | W (0,0)-(8,0)");
}

//          (5,-4)
//            |          neither wire ends at the crossing:
// (0,0)------+------(9,0)  no cut, no dot
//            |
//          (5,4)
TEST(Normalize, LeavesWiresThatCrossInTheirInteriorsAlone) {
  Wiring s;
  s.Wire(0, 0, 9, 0);
  s.Wire(5, -4, 5, 4);
  s.pcts.Normalize();
  EXPECT_EQ(s.Text(), "W (5,-4)-(5,4) | W (0,0)-(9,0)");
}

// (0,0)-----(5,0)-----(9,0)
//             |          a third end at (5,0) cuts the merged wire there again
//           (5,4)
TEST(Normalize, CutsWiresAtEveryConnectionPointInside) {
  Wiring s;
  s.Wire(0, 0, 5, 0);
  s.Wire(5, 0, 9, 0);
  s.Wire(5, 0, 5, 4);
  s.pcts.Normalize();
  EXPECT_EQ(s.Text(), "W (0,0)-(5,0) | W (5,0)-(9,0) | W (5,0)-(5,4)");

  // Dots and element pins cut too; oblique wires are never cut, and a wire is cut at several
  // points into ascending pieces that stay where the wire was.
  Wiring t;
  t.Element(KindR, 6, 2);  // pin 1 at (6,2) on the vertical wire
  t.Wire(6, 0, 6, 5);
  t.Wire(0, 0, 4, 4);
  t.Dot(2, 2);
  t.Dot(6, 3);
  t.pcts.Normalize();
  EXPECT_EQ(t.Text(),
            "E1 (6,2) o0 | D (2,2) | D (6,3) | W (0,0)-(4,4) | W (6,0)-(6,2) | W (6,2)-(6,3) | "
            "W (6,3)-(6,5)");
}

TEST(Normalize, KeepsOneDotPerPointAndLeavesSelectionOnThePieces) {
  Wiring s;
  s.Dot(3, 0);
  s.Dot(1, 0);
  s.Dot(3, 0);
  s.Wire(0, 0, 4, 0, true);
  s.pcts.Normalize();
  EXPECT_EQ(s.Text(), "D (1,0) | D (3,0) | W (0,0)-(1,0)* | W (1,0)-(3,0)* | W (3,0)-(4,0)*");
}

TEST(SplitWiresAt, CutsOnlyAxisParallelWiresStrictlyThroughThePoint) {
  Wiring s;
  s.Wire(0, 0, 8, 0);   // through (4,0)
  s.Wire(4, 0, 4, 6);   // ends there: not cut
  s.Wire(4, -3, 4, 3);  // through
  s.Wire(0, -4, 8, 4);  // oblique through (4,0): never cut
  s.Wire(4, 0, 4, 0);   // zero length at the point
  SplitWiresAt(s.pcts, {4, 0});
  EXPECT_EQ(s.Text(),
            "W (0,0)-(4,0) | W (4,0)-(8,0) | W (4,0)-(4,6) | W (4,-3)-(4,0) | W (4,0)-(4,3) | "
            "W (0,-4)-(8,4) | W (4,0)-(4,0)");
}

TEST(RemoveZeroWiresAndAddDot, KeepTheListClean) {
  Wiring s;
  s.Wire(1, 1, 1, 1);
  s.Wire(1, 1, 1, 1);
  s.Wire(0, 0, 2, 0);
  s.Wire(3, 3, 3, 3);
  s.pcts.RemoveZeroWires();
  EXPECT_EQ(s.Text(), "W (0,0)-(2,0)");

  s.pcts.AddDot({2, 0});
  s.pcts.AddDot({0, 0});
  s.pcts.AddDot({2, 0});
  EXPECT_EQ(s.Text(), "D (0,0) | D (2,0) | W (0,0)-(2,0)");
}

// ---- elements dropped on wires

// (0,0)-----[4 R 6]-----(10,0)   the resistor cuts its body's stretch out of the wire
TEST(CutWiresUnder, ElementAlongAWireIsInsertedIntoIt) {
  Wiring s;
  s.Wire(0, 0, 10, 0);
  s.Element(KindR, 4, 0);
  EXPECT_TRUE(s.pcts.AttachElements());
  EXPECT_EQ(s.Text(), "E1 (4,0) o0 | W (0,0)-(4,0) | W (6,0)-(10,0)");
  // A second pass moves nothing, though re-setting an end to the pin still counts as a change.
  EXPECT_TRUE(s.pcts.AttachElements());
  EXPECT_EQ(s.Text(), "E1 (4,0) o0 | W (0,0)-(4,0) | W (6,0)-(10,0)");

  // Vertically, at orientation 3 (pin 0 above pin 1).
  Wiring v;
  v.Wire(0, -5, 0, 5);
  v.Element(KindC, 0, 1, Orientation::R270);
  EXPECT_TRUE(v.pcts.CutWiresUnder(0));
  EXPECT_EQ(v.Text(), "E2 (0,1) o3 | W (0,-5)-(0,-1) | W (0,1)-(0,5)");
}

// (10,0)-----[4 R 6]-----(0,0)   the same wire caught reversed in the middle of a drag
// is cut once, not forever
TEST(CutWiresUnder, ReversedWireIsCutOnce) {
  Wiring s;
  CLine& w = s.Wire(0, 0, 10, 0);
  std::swap(w.x, w.x2);
  s.Element(KindR, 4, 0);
  EXPECT_TRUE(s.pcts.AttachElements());
  EXPECT_EQ(s.Text(), "E1 (4,0) o0 | W (0,0)-(4,0) | W (6,0)-(10,0)");
}

// [4 R 6] with the wire (4,0)-(6,0) exactly under it: the wire disappears
TEST(CutWiresUnder, ElementOnBothEndsOfAWireReplacesIt) {
  Wiring s;
  s.Wire(6, 0, 4, 0);
  s.Element(KindR, 4, 0);
  EXPECT_TRUE(s.pcts.AttachElements());
  EXPECT_EQ(s.Text(), "E1 (4,0) o0");
}

// One pin on a wire:
//   along:          (0,0)------[4 R 6]   the wire ran on under the body: cut back to the pin
//   perpendicular:  (0,0)------(4,0)------(8,0)
//                                R          body below the pin: wire kept, T dot on renumbering
//                              (4,2)
TEST(CutWiresUnder, OnePinOnAWire) {
  Wiring along;
  along.Wire(0, 0, 5, 0);
  along.Element(KindR, 4, 0);
  EXPECT_TRUE(along.pcts.AttachElements());
  EXPECT_EQ(along.Text(), "E1 (4,0) o0 | W (0,0)-(4,0)");

  Wiring fromEast;
  fromEast.Wire(5, 0, 10, 0);
  fromEast.Element(KindR, 4, 0);
  EXPECT_TRUE(fromEast.pcts.AttachElements());
  EXPECT_EQ(fromEast.Text(), "E1 (4,0) o0 | W (6,0)-(10,0)");

  Wiring across;
  across.Wire(0, 0, 8, 0);
  across.Element(KindR, 4, 0, Orientation::R90);
  EXPECT_FALSE(across.pcts.AttachElements());
  EXPECT_EQ(across.Text(), "E1 (4,0) o1 | W (0,0)-(8,0)");
  across.Renumber();
  EXPECT_EQ(across.Text(), "E1 (4,0) o1 | D (4,0) | W (0,0)-(4,0) | W (4,0)-(8,0)");
}

// Two pins on one wire:
//   (0,0)                        (-2,0)--[0 T 2]--(6,0)
//     |      transformer at o1:   winding leads on the wire, body between them:
//   (0,4)  pin 1                  the wire is cut out under the body
//     T
//   (0,6)  pin 0
//     |                   coupled inductors, pins 0 and 2 on x = 2: body beside the wire,
//   (0,8)                 nothing changes
TEST(CutWiresUnder, TwoPinsOnAWireCutOnlyWhenTheBodyLiesBetweenThem) {
  Wiring s;
  s.Wire(0, 0, 0, 8);
  s.Element(KindW, 0, 4,
            Orientation::R90);  // pins 0 and 1 at (0,6) and (0,4); body from (0,5) to (2,5)
  EXPECT_TRUE(s.pcts.CutWiresUnder(0));
  EXPECT_EQ(s.Text(), "E5 (0,4) o1 | W (0,0)-(0,4) | W (0,6)-(0,8)");

  Wiring t;
  t.Wire(-2, 0, 6, 0);
  t.Element(KindW, 0, 0);  // pins 0 and 1 at (2,0) and (0,0); body from (1,0) up to (1,-2)
  EXPECT_TRUE(t.pcts.CutWiresUnder(0));
  EXPECT_EQ(t.Text(), "E5 (0,0) o0 | W (-2,0)-(0,0) | W (2,0)-(6,0)");

  Wiring u;
  u.Wire(2, -4, 2, 2);
  u.Element(KindLC, 0, 0);  // pins 0 and 2 at (2,0) and (2,-2); body on x = 1
  EXPECT_FALSE(u.pcts.CutWiresUnder(0));
  EXPECT_EQ(u.Text(), "E4 (0,0) o0 | W (2,-4)-(2,2)");
}

// ---- numbering

// The meter of a fresh sheet at (-4,-2), orientation 1:
//   (-4,-2)  pin 1
//      M
//   (-4,0)   pin 0
TEST(Renumber, FreshMeterGetsTwoNodes) {
  Wiring s;
  auto& meter = s.Element(KindMeter, -4, -2, Orientation::R90);
  s.Renumber();
  EXPECT_EQ(meter.PinPos(0), (SPoint{-4, 0}));
  EXPECT_EQ(meter.cmp->Nodes, (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(s.Text(), "E0 (-4,-2) o1");
}

//   meter          R unconnected
// every pin that touches nothing keeps a number of its own
TEST(Renumber, UnconnectedElementsKeepNumbersOfTheirOwn) {
  Wiring s;
  s.Element(KindMeter, -4, -2, Orientation::R90);
  s.Element(KindR, 5, 5);
  s.Element(KindLC, 10, 0);
  s.Renumber();
  EXPECT_EQ(s.Nodes(), (std::vector<std::vector<int>>{{1, 2}, {3, 4, 5, 6}, {7, 8}}));
}

// [-2 R 0]-----(5,0)-----[9 R 11]
//                |
//              (5,4)
//                R       three ends at (5,0): a dot, and the three pins share one node
//              (5,6)
TEST(Renumber, TJunctionGetsADotAndOneNode) {
  Wiring s;
  s.Element(KindR, -2, 0);
  s.Element(KindR, 9, 0);
  s.Element(KindR, 5, 4, Orientation::R90);
  s.Wire(0, 0, 5, 0);
  s.Wire(5, 0, 9, 0);
  s.Wire(5, 0, 5, 4);
  s.Renumber();
  EXPECT_EQ(s.Text(),
            "E1 (-2,0) o0 | E1 (9,0) o0 | E1 (5,4) o1 | D (5,0) | W (0,0)-(5,0) | "
            "W (5,0)-(9,0) | W (5,0)-(5,4)");
  // Pins numbered in list order; the joined pins take the first number.
  EXPECT_EQ(s.Nodes(), (std::vector<std::vector<int>>{{1, 2}, {3, 1}, {4, 1}}));
}

//            [R (4,-6)]
//              (4,-4)
//                |
// [-2 R 0]-------+-------[8 R 10]    two wires crossing in their interiors: two nodes
//                |
//              (4,4)
//            [R (4,4)]
TEST(Renumber, CrossingWithoutEndsStaysTwoNodes) {
  Wiring s;
  s.Element(KindR, -2, 0);
  s.Element(KindR, 8, 0);
  s.Element(KindR, 4, -6, Orientation::R90);
  s.Element(KindR, 4, 4, Orientation::R90);
  s.Wire(0, 0, 8, 0);
  s.Wire(4, -4, 4, 4);
  s.Renumber();
  EXPECT_EQ(s.Text(),
            "E1 (4,-6) o1 | E1 (-2,0) o0 | E1 (8,0) o0 | E1 (4,4) o1 | W (4,-4)-(4,4) | "
            "W (0,0)-(8,0)");
  EXPECT_EQ(s.Partition(), "ab cd ec fa");
}

// Four ends meeting at (4,0) from every side, no dot:
//              (4,-4)
//                |
//   (0,0)------(4,0)------(8,0)   merged into one horizontal and one vertical wire that cross:
//                |                no dot, two nodes
//              (4,4)
TEST(Renumber, FourEndsWithoutDotBecomeACrossing) {
  Wiring s;
  s.Element(KindR, -2, 0);
  s.Element(KindR, 8, 0);
  s.Element(KindR, 4, -6, Orientation::R90);
  s.Element(KindR, 4, 4, Orientation::R90);
  s.Wire(0, 0, 4, 0);
  s.Wire(4, 0, 8, 0);
  s.Wire(4, -4, 4, 0);
  s.Wire(4, 0, 4, 4);
  s.Renumber();
  EXPECT_EQ(s.Text(),
            "E1 (4,-6) o1 | E1 (-2,0) o0 | E1 (8,0) o0 | E1 (4,4) o1 | W (4,-4)-(4,4) | "
            "W (0,0)-(8,0)");
  EXPECT_EQ(s.Partition(), "ab cd ec fa");
}

// Two resistors meet at (4,0) from west and east; a vertical wire runs through that point:
//            [R (4,-6)]
//              (4,-4)
//                |
//    [2 R 4](4,0)[4 R 6]   the wire is cut at (4,0): four axis ends and nothing else there.
//                |         No dot; the resistors join each other, the wire pieces join each
//              (4,4)       other, and the two groups stay apart.
//            [R (4,4)]
TEST(Renumber, PlainCrossingPassesNumbersStraightThrough) {
  Wiring s;
  s.Element(KindR, 4, -6, Orientation::R90);
  s.Element(KindR, 2, 0);
  s.Element(KindR, 4, 0);
  s.Element(KindR, 4, 4, Orientation::R90);
  s.Wire(4, -4, 4, 4);
  s.Renumber();
  EXPECT_EQ(s.Text(),
            "E1 (4,-6) o1 | E1 (2,0) o0 | E1 (4,0) o0 | E1 (4,4) o1 | W (4,-4)-(4,0) | "
            "W (4,0)-(4,4)");
  EXPECT_EQ(s.Nodes(), (std::vector<std::vector<int>>{{1, 2}, {3, 4}, {5, 3}, {6, 1}}));

  // The same layout with a dot already at the point (a T-junction before the fourth end came):
  // the dot stays and all four ends share one node.
  Wiring d;
  d.Element(KindR, 4, -6, Orientation::R90);
  d.Element(KindR, 2, 0);
  d.Element(KindR, 4, 0);
  d.Element(KindR, 4, 4, Orientation::R90);
  d.Wire(4, -4, 4, 4);
  d.Dot(4, 0);
  d.Renumber();
  EXPECT_EQ(d.Text(),
            "E1 (4,-6) o1 | E1 (2,0) o0 | E1 (4,0) o0 | E1 (4,4) o1 | D (4,0) | "
            "W (4,-4)-(4,0) | W (4,0)-(4,4)");
  EXPECT_EQ(d.Nodes(), (std::vector<std::vector<int>>{{1, 2}, {1, 3}, {4, 1}, {5, 1}}));
}

// (0,0)-----+-----(8,0)   a dot where only two ends meet goes, and the wires merge again;
// (0,2)-----+             a dot at a corner goes too
//           |
//         (4,5)
TEST(Renumber, LonelyDotsAreRemoved) {
  Wiring s;
  s.Wire(0, 0, 4, 0);
  s.Wire(4, 0, 8, 0);
  s.Dot(4, 0);
  s.Wire(0, 2, 4, 2);
  s.Wire(4, 2, 4, 5);
  s.Dot(4, 2);
  s.Renumber();
  EXPECT_EQ(s.Text(), "W (0,0)-(8,0) | W (0,2)-(4,2) | W (4,2)-(4,5)");
}

// Component pins on one grid point are joined directly, with no wire and no dot, and a third
// pin there brings a dot.
TEST(Renumber, PinsOnOnePointAreJoined) {
  Wiring s;
  s.Element(KindR, 0, 0);
  s.Element(KindR, 2, 0);
  s.Renumber();
  EXPECT_EQ(s.Partition(), "ab ca");
  EXPECT_EQ(s.Text(), "E1 (0,0) o0 | E1 (2,0) o0");

  s.Element(KindC, 2, -2, Orientation::R90);  // pin 0 at (2,0) from the north
  s.Renumber();
  EXPECT_EQ(s.Text(), "E2 (2,-2) o1 | E1 (0,0) o0 | E1 (2,0) o0 | D (2,0)");
  EXPECT_EQ(s.Partition(), "ab ac da");
}

// Oblique wires join what lies at their ends:
//   (-4,-2) meter pin 1 ........ to the resistor's pin 1 at (0,2)
//      M
//   (-4,0)  meter pin 0 ........ to the resistor's pin 0 at (2,2)
//                          (0,2) R (2,2)
TEST(Renumber, ObliqueWiresJoinTheirEnds) {
  Wiring s;
  s.Element(KindMeter, -4, -2, Orientation::R90);
  s.Element(KindR, 0, 2);
  s.Wire(-4, -2, 0, 2);
  s.Wire(-4, 0, 2, 2);  // meter pin 0 to the resistor's pin 0
  s.Renumber();
  EXPECT_EQ(s.Nodes(), (std::vector<std::vector<int>>{{1, 2}, {1, 2}}));
}

// A number already held by a later pin is replaced everywhere by the lower one that reaches
// it, so a group keeps the lowest number met.
TEST(Renumber, MergingKeepsTheLowerNumber) {
  Wiring s;
  s.Element(KindR, 0, 0);
  s.Element(KindR, 6, 0);
  s.Wire(2, 0, 6, 0);
  s.ResetNodes();
  s.pcts.At(0)->cmp->Nodes = {7, 9};
  s.pcts.At(1)->cmp->Nodes = {4, 3};
  s.pcts.Renumber();
  EXPECT_EQ(s.Nodes(), (std::vector<std::vector<int>>{{3, 9}, {4, 3}}));
}

}  // namespace
