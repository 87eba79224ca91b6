// The response panel's worker; see ResponseSweeper.h.
#include "ResponseSweeper.h"

#include <QFutureWatcher>
#include <QtConcurrent>
#include <atomic>
#include <optional>
#include <thread>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "components/CCmp.h"

// Everything a sweep reads on its worker; the worker shares only `cancel` with the window.
struct TResponseSweeper::SJob {
  std::atomic<bool> cancel{false};
  int mode = 0;
  // Each sweep solves its own copies: building writes the unknowns' numbers into the parts.
  SCircuitCopy live;
  std::optional<SCircuitCopy> pinned;
  std::vector<double> hertz;
  // The band's two shares, each on a copy of its own; empty without a band.
  std::optional<SKindTolerances> tolerances;
  double working = 1.0;
  SCircuitCopy bandCopies[2];
  // Set once the job is filled in, read first on the worker. The pool's own hand-over happens
  // inside Qt, where ThreadSanitizer cannot see it (Qt is not built with it); this pair
  // states the same order where it can.
  std::atomic<bool> filled{false};
};

namespace {

SSweepResult Sweep(const SCircuitCopy& live, const SCircuitCopy* pinned,
                   const std::vector<double>& hertz, const std::atomic<bool>& cancel) {
  SSweepResult result;
  CCalc solver;
  if (live.Meter == nullptr) {
    for (double f : hertz) result.Response.Points.push_back({f, false, 0, 0});
  } else {
    // Smoothed for the Smith chart's loops; the plot draws the same points.
    result.Response = SweepMeter(*live.Cmps, *live.Meter, solver, hertz, &cancel, true);
  }
  // The pinned circuit at the live trace's frequencies, the points added around its
  // resonances included; the pinned resonances are not searched.
  if (pinned && pinned->Meter != nullptr && !cancel) {
    std::vector<double> at;
    for (const SResponsePoint& p : result.Response.Points) at.push_back(p.Hertz);
    const std::vector<SImpedance> z =
        SweepImpedance(*pinned->Cmps, *pinned->Meter, solver, at, &cancel);
    for (size_t i = 0; i < at.size(); ++i)
      result.Reference.push_back(
          {at[i], z[i].has_value(), z[i] ? z[i]->real() : 0.0, z[i] ? z[i]->imag() : 0.0});
  }
  return result;
}

// The band of `request` in two shares of its samples, one on another thread, merged. The
// share that holds the nominal sample also solves the worst-case corners, about as much work
// as a fifth of the samples, so it takes fewer samples.
SToleranceBand Band(SCircuitCopy (&copies)[2], SBandRequest request,
                    const std::atomic<bool>& cancel) {
  SToleranceBand shares[2];
  const int split = request.Samples * 2 / 5;
  const auto share = [&](int i) {
    SBandRequest part = request;
    part.First = i == 0 ? 0 : split;
    part.Count = i == 0 ? split : request.Samples - split;
    CCalc solver;
    shares[i] = ToleranceBand(*copies[i].Cmps, *copies[i].Meter, solver, part, &cancel);
  };
  std::thread other(share, 1);
  share(0);
  other.join();
  MergeBands(shares[0], shares[1]);
  return shares[0];
}

}  // namespace

TResponseSweeper::TResponseSweeper(QObject* parent) : QObject(parent) {}

TResponseSweeper::~TResponseSweeper() {
  Cancel();
}

void TResponseSweeper::Cancel() {
  if (pending) pending->cancel = true;
  pending.reset();
}

void TResponseSweeper::Start(const SCircuitCopy& live, const SCircuitCopy& pinned,
                             std::vector<double> hertz, int mode, const SKindTolerances* band,
                             double working) {
  Cancel();
  auto job = std::make_shared<SJob>();
  job->mode = mode;
  job->live = CopyCircuit(*live.Cmps, live.Meter);
  if (band && live.Meter) {
    job->tolerances = *band;
    job->working = working;
    for (SCircuitCopy& copy : job->bandCopies) copy = CopyCircuit(*live.Cmps, live.Meter);
  }
  if (pinned.Cmps) job->pinned = CopyCircuit(*pinned.Cmps, pinned.Meter);
  job->hertz = std::move(hertz);
  job->filled.store(true, std::memory_order_release);
  pending = job;
  auto* watcher = new QFutureWatcher<SSweepResult>(this);
  connect(watcher, &QFutureWatcher<SSweepResult>::finished, this, [this, watcher, job] {
    watcher->deleteLater();
    Finished(job, watcher->result());
  });
  watcher->setFuture(QtConcurrent::run([job] {
    (void)job->filled.load(std::memory_order_acquire);
    SSweepResult result =
        Sweep(job->live, job->pinned ? &*job->pinned : nullptr, job->hertz, job->cancel);
    // The band follows on the same task: its request is the sweep's points and resonances.
    if (job->tolerances && !result.Response.Points.empty() && !job->cancel) {
      SBandRequest request;
      for (const SResponsePoint& p : result.Response.Points) request.Hertz.push_back(p.Hertz);
      request.Hertz.push_back(job->working);
      request.Resonances = result.Response.Resonances;
      request.Tolerances = *job->tolerances;
      result.Band = Band(job->bandCopies, request, job->cancel);
    }
    return result;
  }));
}

void TResponseSweeper::Finished(const std::shared_ptr<SJob>& job, SSweepResult result) {
  // Only the newest request is ever reported.
  if (job != pending) return;
  pending.reset();
  result.Mode = job->mode;
  std::optional<SToleranceBand> band = std::move(result.Band);
  result.Band.reset();
  emit Done(result);
  if (band) emit BandDone(*band);
}
