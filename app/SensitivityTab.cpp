// The sensitivity table: rows ranked by how much each part value moves the reading, numbers
// in the readout's digits over bars that show their size against the column's largest and
// their sign (to the right positive, to the left negative).
#include "SensitivityTab.h"

#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/Sensitivity.h"
#include "components/CCmp.h"

namespace {

// The bar's share of the half cell, signed: the item's data under this role.
constexpr int BarRole = Qt::UserRole + 1;
constexpr int IdRole = Qt::UserRole + 2;
// A number this small beside the largest of its column is the rounding of an exact zero (a
// resonance is found to about 1e-11, and its conditions amplify that).
constexpr double RoundingShare = 1e-9;

class TBarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QVariant share = index.data(BarRole);
    if (share.isValid()) {
      const double s = std::clamp(share.toDouble(), -1.0, 1.0);
      const QRect cell = option.rect.adjusted(2, 3, -2, -3);
      const int middle = cell.center().x();
      const int reach = static_cast<int>(std::lround(s * cell.width() / 2.0));
      const QRect bar = reach >= 0 ? QRect(middle, cell.top(), reach, cell.height())
                                   : QRect(middle + reach, cell.top(), -reach, cell.height());
      painter->save();
      painter->fillRect(bar, s >= 0 ? QColor(90, 140, 230, 150) : QColor(230, 130, 60, 150));
      painter->setPen(QColor(160, 160, 160));
      painter->drawLine(middle, option.rect.top(), middle, option.rect.bottom());
      painter->restore();
    }
    QStyledItemDelegate::paint(painter, option, index);
  }
};

// The name of parameter `param` of a component of `kind`, as the table's first column starts.
QString ParamName(int kind, int param) {
  switch (kind) {
    case KindR:
      return QStringLiteral("R");
    case KindC:
      return QStringLiteral("C");
    case KindL:
      return QStringLiteral("L");
    case KindLC:
      return param == 2 ? QStringLiteral("k") : QStringLiteral("L%1").arg(param + 1);
    case KindW:
      return QStringLiteral("N%1").arg(param + 1);
    default:
      return QString();
  }
}

QString Number(double v, int digits) {
  return std::isfinite(v) ? QString::number(v, 'g', std::clamp(digits, 2, 8)) : QStringLiteral("—");
}

}  // namespace

struct TSensitivityTab::SRow {
  int Id = -1;
  QString Name;
  double First = 0, Second = 0, F0 = 0;
  double Rank = 0;  // |p dZ/dp| / |Z|, or |(p / F0) dF0/dp| with a resonance
};

TSensitivityTab::TSensitivityTab(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 2, 0, 0);
  note = new QLabel(this);
  note->setWordWrap(true);
  table = new QTableWidget(0, 4, this);
  table->setObjectName(QStringLiteral("SensitivityTable"));
  table->setItemDelegate(new TBarDelegate(table));
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionMode(QAbstractItemView::NoSelection);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  table->setMouseTracking(true);
  table->viewport()->installEventFilter(this);
  connect(table, &QTableWidget::cellEntered, this, [this](int row, int) {
    const QTableWidgetItem* item = table->item(row, 0);
    const int id = item != nullptr ? item->data(IdRole).toInt() : -1;
    if (id == hovered) return;
    hovered = id;
    emit PartHovered(id);
  });
  column->addWidget(note);
  column->addWidget(table, 1);
}

bool TSensitivityTab::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table->viewport() && event->type() == QEvent::Leave && hovered != -1) {
    hovered = -1;
    emit PartHovered(-1);
  }
  return QWidget::eventFilter(watched, event);
}

QString TSensitivityTab::NoteText() const {
  return note->text();
}

void TSensitivityTab::ShowNone(const QString& why) {
  table->setRowCount(0);
  note->setText(why);
  if (hovered != -1) {
    hovered = -1;
    emit PartHovered(-1);
  }
}

void TSensitivityTab::Update(CCmps& cmps, const CCmp& meter, const SSensitivityRequest& request) {
  const SSensitivities s = Sensitivities(cmps, meter, solver, request.Hertz);
  if (!s.Valid || std::abs(s.Z) == 0) {
    ShowNone(tr("No sensitivities: the reading at %1 has no number to differentiate.")
                 .arg(request.HertzText));
    return;
  }
  std::vector<double> f0;
  bool withF0 = false;
  if (request.Resonance) {
    // A parallel resonance is a zero of Im Y: it has a number even at a lossless pole.
    const double hertz = request.Resonance->Hertz;
    f0 = ResonanceSensitivities(request.Resonance->Series
                                    ? Sensitivities(cmps, meter, solver, hertz)
                                    : AdmittanceSensitivities(cmps, meter, solver, hertz));
    withF0 = f0.size() == s.Parts.size();
  }
  std::vector<SRow> rows;
  for (size_t i = 0; i < s.Parts.size(); ++i) {
    const SPartSensitivity& part = s.Parts[i];
    const CCmp& cmp = *cmps.At(part.Cmp);
    SRow row{cmp.Id, ParamName(KindOf(cmp.Type), part.Param) + QLatin1Char(' ') +
                         QString::fromStdString(cmp.ParamValues()[part.Param].Text)};
    if (!NormalisedSensitivity(request.DisplayMode, s.Z, part.Scaled, row.First, row.Second))
      row.First = row.Second = std::nan("");
    row.Rank = part.Finite ? std::abs(part.Scaled) / std::abs(s.Z) : HUGE_VAL;
    if (withF0) {
      row.F0 = f0[i];
      row.Rank = std::isnan(row.F0) ? -1 : std::fabs(row.F0);
    }
    rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const SRow& a, const SRow& b) { return a.Rank > b.Rank; });
  Fill(rows, request, withF0);
}

void TSensitivityTab::Fill(const std::vector<SRow>& rows, const SSensitivityRequest& request,
                           bool withF0) {
  const bool polar = request.DisplayMode == 1;
  table->setHorizontalHeaderLabels(
      {tr("Part"), polar ? tr("|Z|") : tr("R"), polar ? tr("Phase, °") : tr("X"), tr("F0")});
  table->horizontalHeaderItem(1)->setToolTip(polar ? tr("(p / |Z|) ∂|Z|/∂p") : tr("p ∂R/∂p / |Z|"));
  table->horizontalHeaderItem(2)->setToolTip(polar ? tr("p ∂φ/∂p in degrees")
                                                   : tr("p ∂X/∂p / |Z|"));
  table->horizontalHeaderItem(3)->setToolTip(tr("(p / F0) ∂F0/∂p"));
  table->setColumnHidden(3, !withF0);
  // Each bar is measured against the largest finite number of its column.
  double largest[3] = {0, 0, 0};
  for (const SRow& r : rows) {
    const double v[3] = {r.First, r.Second, r.F0};
    for (int c = 0; c < 3; ++c)
      if (std::isfinite(v[c])) largest[c] = std::max(largest[c], std::fabs(v[c]));
  }
  table->setRowCount(static_cast<int>(rows.size()));
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const SRow& r = rows[static_cast<size_t>(i)];
    auto* name = new QTableWidgetItem(r.Name);
    name->setData(IdRole, r.Id);
    table->setItem(i, 0, name);
    double v[3] = {r.First, r.Second, r.F0};
    for (int c = 0; c < 3; ++c) {
      // What stays of an exact zero after rounding is shown as the zero it is.
      if (std::fabs(v[c]) <= RoundingShare * largest[c]) v[c] = 0;
      auto* item = new QTableWidgetItem(Number(v[c], request.Digits));
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (std::isfinite(v[c]) && largest[c] > 0) item->setData(BarRole, v[c] / largest[c]);
      table->setItem(i, c + 1, item);
    }
  }
  QString text = tr("Change of the reading at %1 per relative change of each part value, "
                    "relative to |Z|; largest first.")
                     .arg(request.HertzText);
  if (request.Resonance)
    text += withF0 ? tr(" F0: the resonance at %1, ranked by it.").arg(request.ResonanceText)
                   : tr(" The selected resonance has no number at its frequency.");
  note->setText(text);
}
