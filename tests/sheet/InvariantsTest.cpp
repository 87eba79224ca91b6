// Random gesture sequences on a sheet (fixed seeds): whatever the user does, the sheet stays
// consistent, every pin gets a node, numbering and normalising are stable, measuring never
// fails with an exception, the sheet's file reads back as the same sheet, every change is
// reported as one edit, Escape puts the sheet back, and a move joins or splits no nets unless
// it drops something onto another picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <numbers>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "FakeHost.h"
#include "SheetBuilder.h"
#include "components/CCmp.h"
#include "components/Tuning.h"
#include "document/SheetFile.h"
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
    host.onEditCompleted = [this] {
      // A report that changes nothing is a second report of the same change.
      const std::string text = Text();
      EXPECT_NE(text, reported) << "an edit reported without a change";
      reported = text;
    };
    Settle();
  }

  // One user action; returns after its release (or after the action when it has none).
  void Step() {
    if (sheet.pictures.Count() > 30) host.ResetSheet(), Settle();  // New
    escapable = sheet.mode == SheetMode::Idle;
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

  // The checks run after every action; on a sheet the last checks saw unchanged they would
  // find what they found then.
  void Check(bool changed) {
    ASSERT_GE(IndexOfCmp(host.meter), 0) << "the meter was removed";
    if (!changed) return;
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
    EXPECT_NO_THROW(host.Recompute(false));  // numbered just above
    EXPECT_FALSE(host.readout.R.empty());
  }

  // The properties of a finished gesture: nothing changed without its one report, and the
  // sheet's file read into a fresh sheet writes the same text and reads the same. False
  // when the sheet is the one these checks saw last.
  bool CheckEdits() {
    if (sheet.mode != SheetMode::Idle) return true;  // a press still held has not finished
    const std::string text = Text();
    EXPECT_EQ(text, reported) << "a change without a report";
    if (text == checked) return false;
    checked = text;
    const std::string file = WriteSheetFile(sheet, host.frequency, host.frequencyUnit);
    copyHost.frequency = host.frequency;
    SSheetContent content;
    EXPECT_NO_THROW(content = ReadSheetFile(file)) << file;
    copyHost.meter = ApplySheetFile(content, copy);
    EXPECT_EQ(WriteSheetFile(copy, host.frequency, host.frequencyUnit), file);
    copyHost.UpdateReadoutState();
    copyHost.Recompute(false);
    host.Recompute(false);
    // The same circuit, though solved in another order: equal up to round-off, which leaves a
    // reading of zero (a perfectly coupled pair's leakage, say) as a trace of the circuit's
    // largest impedance either way.
    const auto z = host.readout.Z, copied = copyHost.readout.Z;
    if (z && copied) {
      EXPECT_LE(std::abs(*copied - *z), 1e-9 * std::abs(*z) + 1e-15 * (1 + ImpedanceScale()))
          << host.readout.R;
    } else {
      EXPECT_EQ(copyHost.readout.R, host.readout.R);
    }
    return true;
  }

  // The largest impedance of any part at the working frequency.
  double ImpedanceScale() const {
    const double w = 2 * std::numbers::pi * host.frequency * std::pow(1e3, host.frequencyUnit);
    double scale = 0;
    for (int i = 0; i < sheet.components.Count(); ++i) {
      const CCmp* c = sheet.components.At(i);
      const int kind = KindOf(c->Type);
      for (int j = 0; j < c->ParamCount(); ++j) {
        if (StepOf(kind, j) != ParamStep::Series) continue;
        const double v = std::fabs(c->ParamValues()[j].Value);
        const double z = kind == KindR ? v : kind == KindC ? 1 / (w * v) : w * v;
        if (std::isfinite(z)) scale = std::max(scale, z);
      }
    }
    return scale;
  }

  // After the checks: the text that the next gesture starts from. A press still held is
  // measured from the text before it.
  void Settle() {
    if (sheet.mode == SheetMode::Idle) baseline = reported = Text();
  }

  const std::string& State() const { return baseline; }
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

  // The sheet's file text with its lines sorted: pictures with equal places may change their
  // order in the list without changing the sheet.
  std::string Text() const {
    const std::string file = WriteSheetFile(sheet, host.frequency, host.frequencyUnit, false);
    std::vector<std::string_view> lines;
    for (size_t from = 0, end = 0; from < file.size(); from = end + 1) {
      end = file.find('\n', from);
      std::string_view line(file.data() + from, end - from);
      if (!line.empty() && line.back() == ',') line.remove_suffix(1);  // the last has none
      lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    text.reserve(file.size());
    for (std::string_view line : lines) (text += line) += '\n';
    return text;
  }

  void Press(SPoint at, bool release) {
    mouse.PressPixel(at);
    for (int k = Uniform(0, 3); k > 0; --k) mouse.MovePixel(RandomPixel());
    if (release) Release(RandomPixel());
  }

  // Now and then Escape instead of the release, sometimes after a recompute in the middle of
  // the gesture; the sheet is then as it was before the press, and the release that still
  // comes changes nothing.
  void ReleaseOrEscape(SPoint at) {
    if (escapable && Uniform(0, 7) == 0) {
      if (Uniform(0, 1)) host.Recompute(true);
      sheet.AbortGesture();
      EXPECT_EQ(Text(), baseline) << "Escape did not restore the sheet";
    }
    Release(at);
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
    ReleaseOrEscape(Uniform(0, 9) == 0 ? SPoint{host.client.right + 20, 40} : RandomPixel());
  }

  void Wire() {
    mouse.PressPixel(ConnectionPixel());
    for (int k = Uniform(1, 3); k > 0; --k) {
      const SPoint to = Uniform(0, 2) == 0 ? ConnectionPixel() : RandomPixel();
      mouse.MovePixel(to);
    }
    ReleaseOrEscape(Uniform(0, 1) ? ConnectionPixel() : RandomPixel());
  }

  void Move() {
    const std::vector<int> nets = Partition(sheet.components);  // numbered by the last check
    const SPoint from = Uniform(0, 2) ? BodyPixel() : ConnectionPixel();
    mouse.PressPixel(from);
    const int moved = sheet.mode == SheetMode::Pressed ? sheet.pictures.SelectedElement() : -1;
    const std::vector<SPoint> resting = RestingPoints();
    for (int k = Uniform(1, 3); k > 0; --k) mouse.MovePixel(RandomPixel());
    const bool moving = sheet.mode == SheetMode::Moving;
    bool landed = false;
    for (int k = 0; moved >= 0 && k < sheet.pictures.At(moved)->PinCount(); ++k)
      landed |= std::count(resting.begin(), resting.end(), sheet.pictures.At(moved)->PinPos(k));
    ReleaseOrEscape(RandomPixel());
    if (escapable && moving && moved >= 0 && !landed) {
      EXPECT_EQ(Partition(sheet.components), nets) << "a move joined or split nets";
    }
  }

  // Every point that a resting picture connects at or runs through, before the move.
  std::vector<SPoint> RestingPoints() const {
    std::vector<SPoint> points;
    for (int i = 0; i < sheet.pictures.Count(); ++i) {
      const CPct* p = sheet.pictures.At(i);
      const SRect b = p->PictureKind() == PctLine ? p->Bounds() : SRect{0, 0, -1, -1};
      for (int32_t x = b.left; x <= b.right && !p->selected; ++x)
        for (int32_t y = b.top; y <= b.bottom; ++y)
          if (p->HitPoint({x, y})) points.push_back({x, y});
      for (int k = 0; k < p->PinCount() && !p->selected; ++k) points.push_back(p->PinPos(k));
    }
    return points;
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
    if (Uniform(0, 3) == 0) return SetTolerance(at);
    const int edits = host.editCalls;
    mouse.PressPixel(at);
    host.onEditParameter = nullptr;
    // A wire end under the label, or a label moved since it was drawn, wins over the dialog.
    if (host.editCalls > edits) {
      EXPECT_FALSE(sheet.buttonDown);
    }
    Release(at);
  }

  // What "Tolerance…" in the label's menu does: the part's own tolerance of the value, or
  // none, as one edit. The menu is not offered during a gesture.
  void SetTolerance(SPoint at) {
    host.onEditParameter = nullptr;
    int j = -1;
    CCmp* c = sheet.LabelledAt(at, j);
    if (c == nullptr || sheet.Busy() || sheet.buttonDown) return;
    const std::optional<double> choices[] = {std::nullopt, 0.0, 0.05, 1.0 / 3, 0.999};
    const std::optional<double> chosen = choices[Uniform(0, 4)];
    std::optional<double>& own = c->Params()[j].Value->Tolerance;
    if (own != chosen) own = chosen, host.EditCompleted();
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
  CSheet copy;  // the file read back
  FakeHost copyHost{copy};
  std::string baseline;    // the sheet's text before the gesture
  std::string reported;    // the sheet's text at the last report (or the baseline)
  std::string checked;     // the sheet's text when its file was last read back
  bool escapable = false;  // the gesture's press starts from the baseline
};

// 100,000 gestures in all; fewer under the sanitizers, which run them ten times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr unsigned SeedCount = 10;
#else
constexpr unsigned SeedCount = 50;
#endif
constexpr int GesturesPerSeed = 2000;

class RandomGestures : public ::testing::TestWithParam<unsigned> {};

TEST_P(RandomGestures, KeepTheSheetConsistent) {
  GestureRun run(GetParam());
  for (int step = 0; step < GesturesPerSeed; ++step) {
    const std::string before = run.State();
    run.Step();
    run.Check(run.CheckEdits());
    run.Settle();
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

INSTANTIATE_TEST_SUITE_P(Seeds, RandomGestures, ::testing::Range(1u, 1u + SeedCount));

}  // namespace
