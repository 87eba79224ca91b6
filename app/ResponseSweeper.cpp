// The response panel's worker; see ResponseSweeper.h.
#include "ResponseSweeper.h"

#include <QFutureWatcher>
#include <QtConcurrent>
#include <atomic>

#include "analysis/CCalc.h"
#include "analysis/Measure.h"
#include "analysis/Sweep.h"
#include "components/CCmp.h"

struct TResponseSweeper::SJob {
  std::atomic<bool> cancel{false};
  int mode = 0;
};

namespace {

SSweepResult Sweep(const SCircuitCopy& live, const SCircuitCopy* pinned,
                   const std::vector<double>& hertz, const std::atomic<bool>& cancel) {
  SSweepResult result;
  CCalc solver;
  if (live.Meter == nullptr) {
    for (double f : hertz) result.Response.Points.push_back({f, false, 0, 0});
  } else {
    result.Response = SweepMeter(*live.Cmps, *live.Meter, solver, hertz, &cancel);
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
                             std::vector<double> hertz, int mode) {
  Cancel();
  auto job = std::make_shared<SJob>();
  job->mode = mode;
  pending = job;
  // Each sweep solves its own copy: building writes the unknowns' numbers into the parts.
  auto copy = std::make_shared<SCircuitCopy>(CopyCircuit(*live.Cmps, live.Meter));
  std::shared_ptr<SCircuitCopy> pinnedCopy;
  if (pinned.Cmps)
    pinnedCopy = std::make_shared<SCircuitCopy>(CopyCircuit(*pinned.Cmps, pinned.Meter));
  auto* watcher = new QFutureWatcher<SSweepResult>(this);
  connect(watcher, &QFutureWatcher<SSweepResult>::finished, this, [this, watcher, job] {
    watcher->deleteLater();
    Finished(job, watcher->result());
  });
  watcher->setFuture(QtConcurrent::run([job, copy, pinnedCopy, hertz = std::move(hertz)] {
    return Sweep(*copy, pinnedCopy.get(), hertz, job->cancel);
  }));
}

void TResponseSweeper::Finished(const std::shared_ptr<SJob>& job, SSweepResult result) {
  // Only the newest request is ever reported.
  if (job != pending) return;
  pending.reset();
  result.Mode = job->mode;
  emit Done(result);
}
