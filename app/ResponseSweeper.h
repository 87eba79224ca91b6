// The response panel's worker: sweeps copies of a circuit on a pool thread, so the window
// never waits for the plot. A newer request cancels an older one, whose result is dropped.
#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <vector>

#include "analysis/Response.h"
#include "analysis/Tolerance.h"

struct SSweepResult {
  SResponse Response;
  std::vector<SResponsePoint> Reference;  // the pinned circuit at the same frequencies
  int Mode = 0;                           // the display mode asked for with the sweep
  std::optional<SToleranceBand> Band;     // asked for with the sweep; reported with BandDone
};

class TResponseSweeper : public QObject {
  Q_OBJECT
 public:
  explicit TResponseSweeper(QObject* parent = nullptr);
  // A sweep still running ends at its next point; its result goes nowhere.
  ~TResponseSweeper() override;

  // Sweeps a copy of `live` (and of `pinned` when it has parts) at `hertz`; the copies are
  // taken now, on the calling thread, which must be the one that edits the circuits.
  // With `band`, the live circuit's tolerance band follows the sweep on the same task, at the
  // sweep's points and, last, at `working` hertz; it is reported with BandDone right after
  // Done.
  void Start(const SCircuitCopy& live, const SCircuitCopy& pinned, std::vector<double> hertz,
             int mode, const SKindTolerances* band = nullptr, double working = 1.0);
  // Drops the sweep under way, if any.
  void Cancel();
  bool Busy() const { return pending != nullptr; }

 signals:
  // The newest request's sweep is done; only it is ever reported.
  void Done(const SSweepResult& result);
  // The newest request's tolerance band, right after its sweep's Done.
  void BandDone(const SToleranceBand& band);

 private:
  struct SJob;
  void Finished(const std::shared_ptr<SJob>& job, SSweepResult result);
  std::shared_ptr<SJob> pending;  // the sweep whose result will be reported
};
