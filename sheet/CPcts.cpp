// The picture list: ownership, ordering, lookups, selection, drawing and the text rendering.
#include "sheet/CPcts.h"

#include <algorithm>
#include <tuple>
#include <utility>

#include "components/CCmp.h"
#include "sheet/CElement.h"

namespace {

// The component kind shown by an element, found through its type record; -1 if unknown.
int ElementKind(const CPct& p) {
  const auto* e = dynamic_cast<const CElement*>(&p);
  return e != nullptr ? KindOf(e->Type) : -1;
}

std::string PointText(int32_t x, int32_t y) {
  std::string text(1, '(');
  text += std::to_string(x);
  text += ',';
  text += std::to_string(y);
  text += ')';
  return text;
}

}  // namespace

CPcts::~CPcts() = default;

void CPcts::InsertAt(int i, std::unique_ptr<CPct> p) {
  items.insert(items.begin() + i, std::move(p));
}

void CPcts::DeleteAt(int i) {
  Forget(At(i));
  items.erase(items.begin() + i);
}

void CPcts::Remove(const CPct* p) {
  for (int i = 0; i < Count(); ++i) {
    if (At(i) == p) {
      DeleteAt(i);
      return;
    }
  }
}

void CPcts::Clear() {
  items.clear();
  ForgetWire();
  newElement = nullptr;
  rubbers.clear();
  moveNets.clear();
}

void CPcts::Forget(const CPct* p) {
  if (p == wireLegs[0] || p == wireLegs[1]) ForgetWire();
  if (p == newElement) newElement = nullptr;
  for (SRubber& r : rubbers) {
    if (r.wire == p) r.wire = nullptr;
    std::erase(r.legs, p);
  }
}

int CPcts::Compare(const CPct& a, const CPct& b) {
  const int ka = a.PictureKind(), kb = b.PictureKind();
  if (ka != kb) return ka < kb ? -1 : 1;
  if (a.y != b.y) return a.y < b.y ? -1 : 1;
  if (a.x != b.x) return a.x < b.x ? -1 : 1;
  return 0;
}

void CPcts::Sort() {
  // Stable: pictures with equal places keep their order, which a saved sheet relies on. The
  // list is usually sorted already; otherwise the keys are sorted apart from the pictures.
  const auto less = [](const auto& a, const auto& b) { return Compare(*a, *b) < 0; };
  if (std::is_sorted(items.begin(), items.end(), less)) return;
  struct SKey {
    int32_t kind, y, x;
    uint32_t at;
  };
  std::vector<SKey> keys;
  keys.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i)
    keys.push_back({items[i]->PictureKind(), items[i]->y, items[i]->x, static_cast<uint32_t>(i)});
  std::sort(keys.begin(), keys.end(), [](const SKey& a, const SKey& b) {
    return std::tie(a.kind, a.y, a.x, a.at) < std::tie(b.kind, b.y, b.x, b.at);
  });
  std::vector<std::unique_ptr<CPct>> sorted;
  sorted.reserve(items.size());
  for (const SKey& k : keys) sorted.push_back(std::move(items[k.at]));
  items = std::move(sorted);
}

bool CPcts::RemovePictures(const std::function<bool(const CPct&)>& gone) {
  size_t kept = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (gone(*items[i])) {
      Forget(items[i].get());
      items[i].reset();
    } else {
      if (kept != i) items[kept] = std::move(items[i]);
      ++kept;
    }
  }
  const bool any = kept != items.size();
  items.resize(kept);
  return any;
}

int CPcts::InsertSorted(std::unique_ptr<CPct> p) {
  int i = 0;
  while (i < Count() && Compare(*p, *At(i)) > 0) ++i;
  InsertAt(i, std::move(p));
  return i;
}

void CPcts::DrawAll(Canvas& canvas, const CVC& view, const SRect* within) {
  // A picture wholly outside `within` is not drawn, so a large sheet paints what is seen;
  // its value labels are then nowhere to be pressed either.
  const auto shown = [within](CPct& p) {
    if (within == nullptr) return true;
    const SRect b = p.Bounds();
    const bool in = b.right >= within->left && b.left <= within->right && b.bottom >= within->top &&
                    b.top <= within->bottom;
    if (!in) p.labelCount = 0;
    return in;
  };
  // Selected pictures last, so that they appear on top.
  for (auto& p : items)
    if (!p->selected && shown(*p)) p->Draw(canvas, view);
  for (auto& p : items)
    if (p->selected && shown(*p)) p->Draw(canvas, view);
}

int CPcts::FindAt(PictureFilter kind, SPoint p) const {
  for (int i = 0; i < Count(); ++i) {
    const CPct* q = At(i);
    const bool wanted = kind == PictureFilter::Any || q->PictureKind() == static_cast<int>(kind);
    if (wanted && q->HitPoint(p)) return i;
  }
  return -1;
}

int CPcts::CountEndsNear(SPoint fine, SPoint grid) const {
  int n = 0;
  for (auto& p : items)
    if (p->EndNear(fine, grid)) ++n;
  return n;
}

int CPcts::FindNear(SPoint fine, SPoint grid) const {
  // A selected picture wins over an unselected one that lies earlier in the list.
  for (int pass = 0; pass < 2; ++pass) {
    const bool wantSelected = pass == 0;
    for (int i = 0; i < Count(); ++i) {
      const CPct* q = At(i);
      if (q->selected == wantSelected && q->HitNear(fine, grid)) return i;
    }
  }
  return -1;
}

int CPcts::FindLabel(int& j, SPoint screen) const {
  for (int i = 0; i < Count(); ++i) {
    const CPct* q = At(i);
    const int n = q->labelCount < 4 ? q->labelCount : 4;
    for (int k = 0; k < n; ++k) {
      if (q->labelRects[k].Contains(screen)) {
        j = k;
        return i;
      }
    }
  }
  return -1;
}

void CPcts::SelectOnly(int i) {
  for (int k = 0; k < Count(); ++k) At(k)->selected = k == i;
}

void CPcts::DeselectNonElements() {
  for (auto& p : items)
    if (p->PictureKind() != PctElement) p->selected = false;
}

int CPcts::CountSelected() const {
  int n = 0;
  for (auto& p : items)
    if (p->selected) ++n;
  return n;
}

int CPcts::SelectedElement() const {
  for (int i = 0; i < Count(); ++i) {
    if (At(i)->selected) return At(i)->PictureKind() == PctElement ? i : -1;
  }
  return -1;
}

bool CPcts::SelectedIsMeter(const CCmp* meter) const {
  const int i = SelectedElement();
  return i >= 0 && At(i)->cmp == meter;
}

// Texts are appended piece by piece: g++ 12 warns falsely (-Wrestrict) on "literal" + string.
std::string CPcts::Describe() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    const CPct& p = *At(i);
    if (i > 0) text += " | ";
    switch (p.PictureKind()) {
      case PctElement: {
        const int kind = ElementKind(p);
        text += 'E';
        text += kind >= 0 ? std::to_string(kind) : std::string(1, '?');
        text += ' ';
        text += PointText(p.x, p.y);
        text += " o";
        text += std::to_string(QuarterTurns(p.orientation));
        break;
      }
      case PctDot:
        text += "D ";
        text += PointText(p.x, p.y);
        break;
      case PctLine: {
        const auto& w = static_cast<const CLine&>(p);
        text += "W ";
        text += PointText(w.x, w.y);
        text += '-';
        text += PointText(w.x2, w.y2);
        break;
      }
      default:
        text += "P ";
        text += PointText(p.x, p.y);
        break;
    }
    if (p.selected) text += "*";
  }
  return text;
}
