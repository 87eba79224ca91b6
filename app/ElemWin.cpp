// The parameter dialog: text entry with a live check, the suffix table and the store on
// Enter or OK.
#include "ElemWin.h"

#include <QFont>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "components/CCmp.h"
#include "ui_ElemWin.h"
#include "value/Value.h"

namespace {

const QColor ValidColour(204, 255, 204);
const QColor InvalidColour(255, 255, 204);

// Entries under way: a sign, a point or a suffix letter on its own stands for zero until
// the digits follow.
bool IsEntryUnderWay(const std::string& s) {
  static const char* const partial[] = {"-", "+", ".", "f", "p", "n", "u",
                                        "m", "k", "K", "M", "G", "T"};
  for (const char* p : partial) {
    if (s == p) return true;
  }
  return false;
}

void SetEditColour(QWidget* edit, const QColor& colour) {
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Base, colour);
  edit->setPalette(palette);
}

struct SuffixRow {
  const char* letters;
  const char* exponent;
};

// Minus signs are true minus signs so that the small exponents stay legible.
const SuffixRow SuffixRows[] = {
    {"T", "12"},      {"G", "9"},       {"M", "6"},       {"K, k", "3"},     {"E, e", "N"},
    {"m", "\u22123"}, {"u", "\u22126"}, {"n", "\u22129"}, {"p", "\u221212"},
};

}  // namespace

TElemWinForm::TElemWinForm(QWidget* parent) : QDialog(parent), ui(new Ui::TElemWinForm) {
  ui->setupUi(this);
  setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint);
  setFixedSize(402, 162);
  ui->ExpImage->setPixmap(SuffixTablePicture(ui->ExpImage->size()));
  ui->ParamEdit->installEventFilter(this);
  connect(ui->ParamEdit, &QLineEdit::textChanged, this, [this] { ParamEditChange(); });
  connect(ui->SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  connect(ui->OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
  connect(ui->CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

TElemWinForm::~TElemWinForm() = default;

int TElemWinForm::Edit(CCmp& cmp, int index, const QRect& mainFrame) {
  component = &cmp;
  parameterIndex = index;
  centreOver = mainFrame;
  // Narrowed before centring so that the dialog is centred at the width it opens with.
  HideSuffixTable();
  CentreOverMainWindow();
  const int result = exec();
  centreOver = QRect();
  // The component may go with the next edit of the sheet.
  component = nullptr;
  return result;
}

void TElemWinForm::CentreOverMainWindow() {
  if (centreOver.isNull()) return;
  const QRect frame = frameGeometry();
  move(centreOver.left() + (centreOver.width() - frame.width()) / 2,
       centreOver.top() + (centreOver.height() - frame.height()) / 2);
}

void TElemWinForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  FormShow();
  // The window frame is known only once the dialog is on screen for the first time.
  CentreOverMainWindow();
}

CParam* TElemWinForm::BoundParameter() const {
  if (component == nullptr || parameterIndex < 0) return nullptr;
  CParam* table = component->Params();
  if (table == nullptr) return nullptr;
  // The table ends at the first entry without a caption.
  for (int k = 0; k <= parameterIndex; ++k) {
    if (table[k].Caption == nullptr) return nullptr;
  }
  CParam* entry = &table[parameterIndex];
  return entry->Value != nullptr ? entry : nullptr;
}

void TElemWinForm::FormShow() {
  HideSuffixTable();
  const CParam* parameter = BoundParameter();
  if (parameter == nullptr) return;
  const SParam& slot = *parameter->Value;
  text = slot.Text;
  value = slot.Value;
  valid = true;
  // setText only signals a change, so the check runs here as well: a stored text identical
  // to the last one typed must still be checked against the new parameter.
  {
    const QSignalBlocker block(ui->ParamEdit);
    ui->ParamEdit->setText(QString::fromStdString(slot.Text));
  }
  ParamEditChange();
  ui->ParamEdit->setSelection(0, 999);
  ui->ParamEdit->setFocus();
  ui->NameLabel->setText(QString::fromUtf8(parameter->Caption ? parameter->Caption : ""));
  ui->ParameterLabel->setText(QString::fromUtf8(parameter->Label ? parameter->Label : ""));
}

void TElemWinForm::ParamEditChange() {
  const std::string typed = TrimText(ui->ParamEdit->text().toStdString());
  double parsed = 0.0;
  bool ok = true;
  if (!typed.empty() && !IsEntryUnderWay(typed)) {
    try {
      parsed = ParseValue(typed);
    } catch (const Exception&) {
      ok = false;
    }
    // A value beyond the double range would reach the solver as infinity or NaN.
    if (ok && !std::isfinite(parsed)) ok = false;
  }
  text = typed;
  if (ok) {
    value = parsed;
    ui->ValueLabel->setText(QString::fromStdString(FormatValue(12, value)));
    SetEditColour(ui->ParamEdit, ValidColour);
    valid = true;
    ui->OkBtn->setEnabled(true);
  } else {
    ui->ValueLabel->setText(QStringLiteral("Invalid format"));
    SetEditColour(ui->ParamEdit, InvalidColour);
    valid = false;
    ui->OkBtn->setEnabled(false);
  }
}

bool TElemWinForm::ApplyValue() {
  if (!valid) return false;
  CParam* parameter = BoundParameter();
  if (parameter == nullptr) return false;
  if (value == 0.0) text.assign(1, '0');
  parameter->Value->Text = text;
  parameter->Value->Value = value;
  emit ValueStored();
  return true;
}

void TElemWinForm::SpeedButton1Click() {
  const QRect image = ui->ExpImage->geometry();
  if (width() < image.left()) {
    setFixedSize(image.left() + image.width() + 10, height());
    ui->SpeedButton1->setArrowType(Qt::LeftArrow);
  } else {
    HideSuffixTable();
  }
}

void TElemWinForm::HideSuffixTable() {
  setFixedSize(ui->ExpImage->geometry().left() - 4, height());
  ui->SpeedButton1->setArrowType(Qt::RightArrow);
}

bool TElemWinForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui->ParamEdit && event->type() == QEvent::KeyPress) {
    if (ParamEditKeyPress(static_cast<QKeyEvent*>(event)->key())) return true;
  }
  return QDialog::eventFilter(watched, event);
}

bool TElemWinForm::ParamEditKeyPress(int key) {
  switch (key) {
    case Qt::Key_Escape:
      reject();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (ApplyValue()) accept();
      return true;
    default:
      return false;
  }
}

void TElemWinForm::OkBtnClick() {
  // OK is disabled while the text is invalid; should it be clicked anyway, stay open.
  if (ApplyValue()) accept();
}

QPixmap TElemWinForm::SuffixTablePicture(const QSize& size) {
  QPixmap picture(size);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  painter.setPen(Qt::black);

  const int rows = static_cast<int>(std::size(SuffixRows)) + 1;  // plus the heading
  const int rowHeight = (size.height() - 1) / rows;
  const int tableHeight = rowHeight * rows;
  const int tableWidth = size.width() - 1;
  const int split = tableWidth * 2 / 5;

  QFont font = painter.font();
  font.setPixelSize(std::max(8, rowHeight - 4));
  QFont small = font;
  small.setPixelSize(std::max(6, rowHeight * 3 / 5));
  QFont bold = font;
  bold.setBold(true);

  painter.drawRect(0, 0, tableWidth, tableHeight);
  painter.drawLine(split, 0, split, tableHeight);
  for (int r = 1; r < rows; ++r) {
    painter.drawLine(0, r * rowHeight, tableWidth, r * rowHeight);
  }

  painter.setFont(bold);
  painter.drawText(QRect(0, 0, split, rowHeight), Qt::AlignCenter, QStringLiteral("Letter"));
  painter.drawText(QRect(split, 0, tableWidth - split, rowHeight), Qt::AlignCenter,
                   QStringLiteral("Multiplier"));

  for (int r = 1; r < rows; ++r) {
    const SuffixRow& row = SuffixRows[r - 1];
    const int top = r * rowHeight;
    painter.setFont(font);
    painter.drawText(QRect(0, top, split, rowHeight), Qt::AlignCenter,
                     QString::fromUtf8(row.letters));

    // "10" in the row's font with the exponent raised in a smaller one, centred as a pair.
    const QString base = QStringLiteral("10");
    const QString exponent = QString::fromUtf8(row.exponent);
    const int baseWidth = QFontMetrics(font).horizontalAdvance(base);
    const int expWidth = QFontMetrics(small).horizontalAdvance(exponent);
    const int left = split + (tableWidth - split - baseWidth - expWidth - 1) / 2;
    const int baseline = top + rowHeight - (rowHeight - QFontMetrics(font).ascent()) / 2 - 1;
    painter.drawText(left, baseline, base);
    painter.setFont(small);
    painter.drawText(left + baseWidth + 1, baseline - QFontMetrics(font).ascent() / 2, exponent);
  }
  return picture;
}
