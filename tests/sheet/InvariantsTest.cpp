// Random gesture sequences on a sheet (fixed seeds): whatever the user does, the sheet stays
// consistent, every pin gets a node, numbering and normalising are stable, and measuring
// never fails with an exception.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "FakeHost.h"
#include "SheetBuilder.h"
#include "components/CCmp.h"
#include "sheet/CPct.h"
#include "sheet/CSheet.h"

namespace {

const char* const Entries[] = {"1k", "4k7", "0", "10n", "2u2", "1", "0.5", "100", "1m", "3"};

// Pins labelled by the order in which their nets first appear: equal vectors mean equal
// partitions, whatever the numbers are.
std::vector<int> Partition(const CCmps& cmps) {
  std::map<int32_t, int> label;
  std::vector<int> out;
  for (int i = 0; i < cmps.Count(); ++i)
    for (int32_t node : cmps.At(i)->Nodes)
      out.push_back(label.try_emplace(node, static_cast<int>(label.size())).first->second);
  return out;
}

std::vector<std::pair<int, int>> Dots(const CPcts& list) {
  std::vector<std::pair<int, int>> dots;
  for (int i = 0; i < list.Count(); ++i)
    if (list.At(i)->PictureKind() == PctDot) dots.emplace_back(list.At(i)->x, list.At(i)->y);
  std::sort(dots.begin(), dots.end());
  return dots;
}

class GestureRun {
 public:
  explicit GestureRun(unsigned seed) : rng(seed), host(sheet), mouse(host) {
    host.ResetSheet();
    host.frequency = 50.0;
  }

  // One user action; returns after its release (or after the action when it has none).
  void Step() {
    if (sheet.pictures.Count() > 60) host.ResetSheet();  // New
    const int r = Uniform(0, 99);
    if (r < 18)
      Place();
    else if (r < 38)
      Wire();
    else if (r < 54)
      Move();
    else if (r < 60)
      Press(RandomPixel(), true);
    else if (r < 67)
      Rotate();
    else if (r < 75)
      Delete();
    else if (r < 80)
      Pan();
    else if (r < 85)
      Zoom();
    else if (r < 93)
      Label();
    else
      Unruly();
  }

  // The checks run after every action.
  void Check() {
    ASSERT_GE(IndexOfCmp(host.meter), 0) << "the meter was removed";
    sheet.RenumberNodes();
    for (int i = 0; i < sheet.components.Count(); ++i)
      for (int32_t node : sheet.components.At(i)->Nodes) ASSERT_GE(node, 1);
    const auto dots = Dots(sheet.pictures);
    const auto partition = Partition(sheet.components);
    const auto pictures = PictureSet(sheet.pictures);
    sheet.RenumberNodes();
    EXPECT_EQ(Dots(sheet.pictures), dots);
    EXPECT_EQ(Partition(sheet.components), partition);
    EXPECT_EQ(PictureSet(sheet.pictures), pictures);

    sheet.pictures.Normalize();
    const auto once = PictureSet(sheet.pictures);
    sheet.pictures.Normalize();
    EXPECT_EQ(PictureSet(sheet.pictures), once);

    host.UpdateReadoutState();
    EXPECT_NO_THROW(host.Recompute(true));
    EXPECT_FALSE(host.readout.R.empty());
  }

  std::string State() const { return sheet.pictures.Describe(); }
  int DialogsOpened() const { return host.editCalls; }

  CSheet sheet;
  int releasesIn[static_cast<int>(SheetMode::Panning) + 1] =
      {};  // releases counted by the mode they ended

 private:
  int Uniform(int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); }

  SPoint RandomGrid() { return {Uniform(-9, 10), Uniform(-7, 6)}; }

  SPoint RandomPixel() {
    const SPoint p = mouse.Pixel(RandomGrid());
    return {p.x + Uniform(-12, 12), p.y + Uniform(-12, 12)};
  }

  // A pin, wire end or dot of some picture, or a random point.
  SPoint ConnectionPixel() {
    const int n = sheet.pictures.Count();
    if (n == 0 || Uniform(0, 9) == 0) return RandomPixel();
    const CPct* p = sheet.pictures.At(Uniform(0, n - 1));
    return mouse.Pixel(p->PinPos(Uniform(0, p->PinCount() - 1)));
  }

  SPoint BodyPixel() {
    const int n = sheet.pictures.Count();
    if (n == 0 || Uniform(0, 4) == 0) return RandomPixel();
    return mouse.Pixel(sheet.pictures.At(Uniform(0, n - 1))->RefPoint());
  }

  int IndexOfCmp(const CCmp* c) const {
    for (int i = 0; i < sheet.pictures.Count(); ++i)
      if (sheet.pictures.At(i)->cmp == c) return i;
    return -1;
  }

  void Press(SPoint at, bool release) {
    mouse.PressPixel(at);
    for (int k = Uniform(0, 3); k > 0; --k) mouse.MovePixel(RandomPixel());
    if (release) Release(RandomPixel());
  }

  void Release(SPoint at) {
    ++releasesIn[static_cast<int>(sheet.mode)];
    mouse.ReleasePixel(at);
    EXPECT_FALSE(sheet.buttonDown);
    EXPECT_EQ(sheet.mode, SheetMode::Idle);
  }

  void Place() {
    host.ArmPlacing(Uniform(1, 5), OrientationFromInt(Uniform(0, 3)));
    mouse.PressPixel(RandomPixel());
    for (int k = Uniform(0, 3); k > 0; --k) mouse.MovePixel(RandomPixel());
    Release(Uniform(0, 9) == 0 ? SPoint{host.client.right + 20, 40} : RandomPixel());
  }

  void Wire() {
    mouse.PressPixel(ConnectionPixel());
    for (int k = Uniform(1, 3); k > 0; --k) {
      const SPoint to = Uniform(0, 2) == 0 ? ConnectionPixel() : RandomPixel();
      mouse.MovePixel(to);
    }
    Release(Uniform(0, 1) ? ConnectionPixel() : RandomPixel());
  }

  void Move() {
    mouse.PressPixel(Uniform(0, 2) ? BodyPixel() : ConnectionPixel());
    for (int k = Uniform(1, 3); k > 0; --k) mouse.MovePixel(RandomPixel());
    Release(RandomPixel());
  }

  void SelectSomething() {
    const int n = sheet.pictures.Count();
    if (n > 0 && Uniform(0, 3) != 0) sheet.SelectOnly(Uniform(0, n - 1));
  }

  void Rotate() {
    SelectSomething();
    if (sheet.CanRotate()) sheet.Rotate(Uniform(0, 1) ? 1 : 3);
  }

  // What the toolbar's Delete does while it is enabled.
  void Delete() {
    SelectSomething();
    if (!sheet.CanDelete(host.meter)) return;
    sheet.DeleteSelected();
    host.UpdateReadoutState();
    host.Recompute(true);
  }

  void Pan() {
    const SPoint at = RandomPixel();
    mouse.PressPixel(at);
    SPoint p = at;
    for (int k = Uniform(1, 4); k > 0; --k) {
      p = {p.x + Uniform(-40, 40), p.y + Uniform(-40, 40)};
      mouse.MovePixel(p);
    }
    Release(p);
  }

  void Zoom() {
    if (Uniform(0, 1) ? sheet.view.ZoomIn() : sheet.view.ZoomOut()) host.PaintSheet();
  }

  void Label() {
    std::vector<const CPct*> labelled;
    for (int i = 0; i < sheet.pictures.Count(); ++i)
      if (sheet.pictures.At(i)->labelCount > 0) labelled.push_back(sheet.pictures.At(i));
    if (labelled.empty()) return Press(RandomPixel(), true);
    const CPct* e =
        labelled[static_cast<size_t>(Uniform(0, static_cast<int>(labelled.size()) - 1))];
    const SRect r = e->labelRects[Uniform(0, e->labelCount - 1)];
    host.ScriptEntry(Entries[Uniform(0, 9)]);
    const SPoint at{Uniform(r.left, r.right), Uniform(r.top, r.bottom)};
    const int edits = host.editCalls;
    mouse.PressPixel(at);
    host.onEditParameter = nullptr;
    // A wire end under the label, or a label moved since it was drawn, wins over the dialog.
    if (host.editCalls > edits) {
      EXPECT_FALSE(sheet.buttonDown);
    }
    Release(at);
  }

  // Sequences the window never produces but the sheet must survive: a release without a
  // press, a press never released, Delete or Rotate in the middle of a drag.
  void Unruly() {
    switch (Uniform(0, 3)) {
      case 0:
        Release(RandomPixel());
        break;
      case 1:
        Press(ConnectionPixel(), false);
        break;
      case 2:
        mouse.PressPixel(ConnectionPixel());
        mouse.MovePixel(RandomPixel());
        sheet.DeleteSelected();
        mouse.MovePixel(RandomPixel());
        Release(RandomPixel());
        break;
      default:
        mouse.PressPixel(BodyPixel());
        mouse.MovePixel(RandomPixel());
        sheet.Rotate(1);
        mouse.MovePixel(RandomPixel());
        Release(RandomPixel());
        break;
    }
  }

  std::mt19937 rng;
  FakeHost host;
  SheetMouse mouse;
};

class RandomGestures : public ::testing::TestWithParam<unsigned> {};

TEST_P(RandomGestures, KeepTheSheetConsistent) {
  GestureRun run(GetParam());
  for (int step = 0; step < 500; ++step) {
    const std::string before = run.State();
    run.Step();
    run.Check();
    if (HasFailure()) {
      ADD_FAILURE() << "seed " << GetParam() << ", step " << step << "\nbefore: " << before
                    << "\nafter:  " << run.State();
      return;
    }
  }
  // The run reached every kind of gesture.
  for (SheetMode mode :
       {SheetMode::Placing, SheetMode::Wiring, SheetMode::Moving, SheetMode::Panning})
    EXPECT_GT(run.releasesIn[static_cast<int>(mode)], 0)
        << "no release in mode " << static_cast<int>(mode);
  EXPECT_GT(run.DialogsOpened(), 0);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomGestures, ::testing::Range(1u, 13u));

}  // namespace
