// The "Frequency response" panel: a live plot of the meter's impedance over a logarithmic
// frequency range and its Smith chart, swept off the window's thread after every recompute,
// with the resonances found in the range and exports of the sweep and the pictures.
#pragma once

#include <QDockWidget>
#include <memory>

#include "ResponseSweeper.h"
#include "analysis/Response.h"

class QChart;
class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QHBoxLayout;
class QVBoxLayout;
class TResponseChartView;
class TSmithChart;
class TSensitivityTab;

// A frequency in the unit that keeps the number short: "5.0329 kHz".
QString HertzText(double hertz, int digits);

class TResponseDock : public QDockWidget {
  Q_OBJECT
 public:
  explicit TResponseDock(QWidget* parent = nullptr);
  ~TResponseDock() override;

  // Where the export dialog starts: the folder of the main window's sheet.
  QString ExportFolder;

  // Takes a copy of the circuit as it stands and sweeps it in the background; a newer request
  // cancels an older one. While the panel is hidden only the copy is kept.
  void Request(CCmps& cmps, const CCmp* meter, double workingHertz, int displayMode, int digits);

  // A pinned circuit drawn in grey behind the live traces, swept at the same frequencies with
  // every sweep; null cmps clears it. A copy is taken at once.
  void SetReference(CCmps* cmps, const CCmp* meter);
  // The pinned circuit's points as now drawn, empty without one.
  const std::vector<SResponsePoint>& ShownReference() const { return shownReference; }

  // The range in use; the default follows the working frequency, three decades either side.
  double StartHertz() const { return start; }
  double StopHertz() const { return stop; }
  int PointCount() const { return points; }
  bool FollowsWorkingFrequency() const;
  // Sets the range as typed texts would; false (and nothing changed) for a bad range.
  bool SetRange(const QString& startText, const QString& stopText, int count);
  bool SetRangeHertz(double startHertz, double stopHertz, int count);
  // "Around f": on, the range follows the working frequency; off, it stays where it is.
  void SetFollowsWorkingFrequency(bool on);

  // The reference impedance of the Smith chart and the S-parameter file (50 Ω until set);
  // the chart repaints at once.
  void SetReferenceImpedance(double z0);
  double ReferenceImpedance() const;
  // Whether the plot draws |S11| in dB against the reference impedance in place of its second
  // trace.
  bool ShowsReflection() const;
  void ShowReflection(bool on);

  // The parts' tolerances (fractions by kind); with the band shown, each sweep is followed by
  // the band of the live traces over them.
  void SetTolerances(const SKindTolerances& tolerances);
  bool BandShown() const;
  void ShowBand(bool on);
  // The band now drawn (empty Points without one), and its range at the working frequency.
  const SToleranceBand& ShownBand() const { return band; }
  std::optional<SBandPoint> WorkingBand() const;

  // What the plot shows now, and whether a sweep is still under way.
  const SResponse& Shown() const { return shown; }
  bool Busy() const { return sweeper->Busy(); }
  QString NoteText() const;
  QString HoverText() const;
  QListWidget* ResonanceList() const { return resonanceList; }
  QChartView* ChartView() const;
  // The frequency under a point of the chart view, or none outside the plot area.
  std::optional<double> HertzAt(QPointF viewPoint) const;

  // The plot's tab first, then the Smith chart's.
  QTabWidget* Tabs() const { return tabs; }
  TSmithChart* SmithChart() const { return smith; }
  TSensitivityTab* Sensitivity() const { return sensitivity; }

  bool ExportCsv(const QString& fileName, QString& error) const;
  // S11 against the reference impedance, or with `impedance` the Z parameter.
  bool ExportTouchstone(const QString& fileName, QString& error, bool impedance = false) const;
  // The picture of the tab showing, PNG or SVG by the file name's extension.
  bool ExportImage(const QString& fileName, QString& error);
  void CopyImage();

 signals:
  // The user picked a working frequency on the plot or in the resonance list.
  void FrequencyPicked(double hertz);
  // A sweep's result is now on the plot.
  void SweepShown();
  // The pointer rests on the sensitivity row of the component with this Id; -1: on none.
  void PartHovered(int id);
  // A tolerance band is now on the plot, or the band was dropped.
  void BandChanged();
  // The range, the point count or "Around f" changed.
  void RangeChanged();

 private:
  void Start();
  void Finished(SSweepResult result);
  // The constructor's parts, in the order it runs them.
  void UseOrdinaryPalette();
  QHBoxLayout* MakeRangeRow(QWidget* body);
  void AddChart(QWidget* body, QVBoxLayout& layout);
  QWidget* MakeSmithPage();
  void SmithHover(std::optional<size_t> index);
  QWidget& ShownPicture() const;  // the plot or the Smith chart, as its tab shows
  QWidget& FreshPicture();        // the same, the plot drawn if it waited out of sight
  void AddReadings(QWidget* body, QVBoxLayout& layout);
  void ConnectControls();
  // Redraw's parts: the axes and marks of the plot, the resonance list and the note under it.
  void Redraw();
  // The plot, put off while its tab is out of sight unless `hiddenToo`.
  void DrawPlot(bool hiddenToo = false);
  // What was put off for the tabs that now show.
  void DrawWaitingTabs();
  void ShowResonances();
  void ShowNote();
  // The sensitivity tab for the last circuit asked for, with the selected resonance's F0; put
  // off while the tab is out of sight.
  void UpdateSensitivity();
  void UpdateRangeFields();
  void RangeEdited();
  void Hover(QPointF viewPoint);
  void ExportWithDialog(int kind);

  // The last circuit asked for, from which each sweep takes its own copy.
  SCircuitCopy circuit;
  bool haveCircuit = false;
  SCircuitCopy reference;  // the pinned circuit; empty Cmps without one
  std::vector<SResponsePoint> shownReference;
  double working = 1.0;
  int displayMode = 0;
  int digits = 3;
  double start = 1e-3;
  double stop = 1e3;
  int points = 400;
  TResponseSweeper* sweeper = nullptr;  // owned as a child
  SResponse shown;
  SToleranceBand band;  // at shown's points and, last, at the working frequency
  SKindTolerances tolerances;
  int shownMode = 0;
  bool plotStale = false;         // the plot and the sensitivity table wait to be drawn until
  bool sensitivityStale = false;  // their tabs show
  QString hover;

  TResponseChartView* view = nullptr;
  QChart* chart = nullptr;
  QTabWidget* tabs = nullptr;
  TSmithChart* smith = nullptr;
  TSensitivityTab* sensitivity = nullptr;
  QLineEdit* startEdit = nullptr;
  QLineEdit* stopEdit = nullptr;
  QSpinBox* pointsEdit = nullptr;
  QCheckBox* follow = nullptr;
  QCheckBox* bandBox = nullptr;
  QCheckBox* reflectionBox = nullptr;
  QComboBox* reactanceAxis = nullptr;  // how X is drawn in the R and X mode
  QLabel* noteLabel = nullptr;
  QLabel* hoverLabel = nullptr;
  QListWidget* resonanceList = nullptr;
  QToolButton* exportButton = nullptr;
};
