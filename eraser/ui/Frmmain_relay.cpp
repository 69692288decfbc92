// The relay from the scan and worker threads to the main window's thread.
#include "Frmmain_relay.h"

#include <atomic>
#include <mutex>

#include "Eraseutil_progress.h"
#include "Formmainutil.h"
#include "Frmmain.h"
#include "Product.h"

namespace {

std::atomic<int> pendingCalls{0};

// Travels inside each posted call: counts it from its posting until it has run or been dropped.
class PendingCall {
 public:
  PendingCall() { ++pendingCalls; }
  PendingCall(const PendingCall&) { ++pendingCalls; }
  PendingCall& operator=(const PendingCall&) = default;
  ~PendingCall() { --pendingCalls; }
};

class WindowRelay final : public DiskListObserver, public ProgressSink {
 public:
  void attach(TFormMain* form, std::weak_ptr<TFormMain> handle) {
    std::lock_guard<std::mutex> hold(lock_);
    form_ = form;
    target_ = std::move(handle);
  }

  void detach(TFormMain* form) {
    std::lock_guard<std::mutex> hold(lock_);
    if (form_ != form) return;
    form_ = nullptr;
    target_.reset();
  }

  void diskAdded(int position) override {
    post([position](TFormMain& form) { form.diskAdded(position); });
  }
  void slotRemoved(int slot) override {
    post([slot](TFormMain& form) { form.slotRemoved(slot); });
  }
  void noDisks() override {
    post([](TFormMain& form) { form.noDisks(); });
  }
  void progress(uint64_t runId, const ProgressValues& values) override {
    post([runId, values](TFormMain& form) { form.showProgress(runId, values); });
  }

 private:
  template <class Call>
  void post(Call call) {
    std::weak_ptr<TFormMain> target;
    {
      std::lock_guard<std::mutex> hold(lock_);
      target = target_;
    }
    if (target.expired()) return;
    // The window may be gone by the time this runs on its thread (which is also the only thread
    // that destroys it): then the call does nothing.
    postToWindow([target, call = std::move(call), counted = PendingCall()] {
      if (std::shared_ptr<TFormMain> form = target.lock()) call(*form);
    });
  }

  std::mutex lock_;
  TFormMain* form_ = nullptr;
  std::weak_ptr<TFormMain> target_;
};

WindowRelay& relay() {
  // Never destroyed: a worker that outlived the close wait may still call it while the process ends.
  static WindowRelay* const instance = new WindowRelay;
  return *instance;
}

}  // namespace

void attachWindowRelay(TFormMain* form, const std::shared_ptr<TFormMain>& handle) {
  relay().attach(form, handle);
  mainDiskList().setObserver(&relay());
  setProgressSink(&relay());
}

void detachWindowRelay(TFormMain* form) { relay().detach(form); }

int pendingWindowCalls() { return pendingCalls.load(); }
