#include "ToleranceDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Settings.h"
#include "components/CCmp.h"

TToleranceDialog::TToleranceDialog(const QString& part, const QString& value,
                                   std::optional<double> own, double kind, QWidget* parent)
    : QDialog(parent), chosen(own) {
  setWindowTitle(tr("Tolerance: %1").arg(part));
  auto* layout = new QVBoxLayout(this);
  // The dialog keeps to its contents' size, growing as a message shows.
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(new QLabel(value, this));

  auto* row = new QHBoxLayout;
  PercentEdit = new QLineEdit(own ? PercentText(*own) : QString(), this);
  PercentEdit->setPlaceholderText(tr("%1 (the kind's)").arg(PercentText(kind)));
  PercentEdit->setToolTip(tr("A percentage, such as 1, 0.5 or 2.5; empty for the kind's"));
  row->addWidget(new QLabel(tr("±"), this));
  row->addWidget(PercentEdit, 1);
  row->addWidget(new QLabel(tr("%"), this));
  KindButton = new QPushButton(tr("Kind's default"), this);
  KindButton->setAutoDefault(false);
  KindButton->setToolTip(
      tr("Use the tolerance set for the kind in the settings: %1 %").arg(PercentText(kind)));
  row->addWidget(KindButton);
  layout->addLayout(row);

  // Wrapped text needs a width to wrap at: that of the entry row.
  const int width = row->sizeHint().width();
  auto* note = new QLabel(tr("Leave it empty for the kind's tolerance from the settings, now %1 %.")
                              .arg(PercentText(kind)),
                          this);
  note->setWordWrap(true);
  note->setFixedWidth(width);
  layout->addWidget(note);
  Message = new QLabel(this);
  Message->setWordWrap(true);
  Message->setFixedWidth(width);
  Message->setStyleSheet(QStringLiteral("color: #b00000"));
  Message->hide();
  layout->addWidget(Message);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &TToleranceDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(KindButton, &QPushButton::clicked, this, [this] {
    PercentEdit->clear();
    Message->hide();
    PercentEdit->setFocus();
  });
  connect(PercentEdit, &QLineEdit::textEdited, Message, &QWidget::hide);
  PercentEdit->selectAll();
  PercentEdit->setFocus();
}

bool TToleranceDialog::Read() {
  const QString text = PercentEdit->text().trimmed();
  if (text.isEmpty()) {
    chosen.reset();
    return true;
  }
  const std::optional<double> fraction = ReadPercent(text);
  if (fraction && IsPartTolerance(*fraction)) {
    chosen = *fraction;
    return true;
  }
  Message->setText(tr("\"%1\" is not a tolerance: type a percentage from 0 to below 100, or "
                      "leave the field empty for the kind's. The tolerance stays as it was.")
                       .arg(text.left(40)));
  Message->show();
  PercentEdit->setFocus();
  PercentEdit->selectAll();
  return false;
}

void TToleranceDialog::accept() {
  if (Read()) QDialog::accept();
}
