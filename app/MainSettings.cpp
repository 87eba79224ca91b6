// Loading and saving of the four persisted values of the main window: display mode, digits,
// frequency and frequency unit, in the user's own settings store.
#include <QSettings>
#include <QVariant>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

#include "Main.h"
#include "Settings.h"
#include "analysis/Measure.h"
#include "value/Frequency.h"
#include "value/Value.h"

namespace {

// The stored text of one value; none when it is missing or not held as a single string.
std::optional<std::string> ReadText(const QSettings& store, const char* name) {
  const QVariant v = store.value(QString::fromLatin1(name));
  if (v.metaType().id() != QMetaType::QString) return std::nullopt;
  return v.toString().toStdString();
}

// Decimal integer text, all of it: an optional sign and digits, nothing around them.
std::optional<int> ReadInt(const QSettings& store, const char* name) {
  const std::optional<std::string> s = ReadText(store, name);
  if (!s || s->empty()) return std::nullopt;
  const char* first = s->data();
  const char* last = first + s->size();
  if (*first == '+') ++first;
  int n = 0;
  const auto [end, error] = std::from_chars(first, last, n);
  if (error != std::errc() || end != last || first == last) return std::nullopt;
  return n;
}

// The whole set or nothing: a value the rest of the program cannot use discards all four.
// The defaults of a first run are those of the measurement's settings.
std::optional<SMeasureSettings> Load(const QSettings& store) {
  SMeasureSettings s;
  const std::optional<int> display = ReadInt(store, "Display");
  const std::optional<int> digits = ReadInt(store, "Digits");
  const std::optional<std::string> frequency = ReadText(store, "F");
  const std::optional<int> unit = ReadInt(store, "FP");
  if (!display || !digits || !frequency || !unit) return std::nullopt;
  try {
    s.frequency = ParseValue(*frequency);
  } catch (const Exception&) {
    return std::nullopt;
  }
  s.displayMode = *display;
  s.digits = *digits;
  s.frequencyUnit = *unit;
  if (s.displayMode < 0 || s.displayMode > 1) return std::nullopt;
  if (s.digits < 2 || s.digits > 8) return std::nullopt;
  if (s.frequencyUnit < 0 || s.frequencyUnit > FrequencyHighestUnit) return std::nullopt;
  if (!std::isfinite(s.frequency) || s.frequency < 0) return std::nullopt;
  return s;
}

}  // namespace

QSettings UserStore() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                   QString::fromLatin1(OrganisationName), QString::fromLatin1(ApplicationName));
}

void TMainForm::SaveSettings() {
  QSettings store = UserStore();
  store.setValue(QStringLiteral("Display"), QString::number(DisplayMode));
  store.setValue(QStringLiteral("Digits"), QString::number(SignificantDigits));
  store.setValue(QStringLiteral("F"), QString::fromStdString(FloatText(Frequency)));
  store.setValue(QStringLiteral("FP"), QString::number(FrequencyUnit));
  store.sync();  // a store that cannot be written is passed over in silence
}

void TMainForm::LoadSettings() {
  const QSettings store = UserStore();
  const SMeasureSettings s = Load(store).value_or(SMeasureSettings{});
  DisplayMode = s.displayMode;
  SignificantDigits = s.digits;
  Frequency = s.frequency;
  FrequencyUnit = s.frequencyUnit;
  LoadMatchSettings();
}
