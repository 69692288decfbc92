// The relay that carries the disk scan's notifications and the erase workers' progress to the main
// window's thread.
#pragma once

#include <memory>

class TFormMain;

// From now on the scan's notifications and the workers' progress go to this window, posted to the
// window thread; the handle says whether the window still exists when a call runs. The relay
// registers itself with the main disk list and as the progress sink.
void attachWindowRelay(TFormMain* form, const std::shared_ptr<TFormMain>& handle);
// The window goes: nothing more is posted for it (what was posted already is dropped when it runs).
void detachWindowRelay(TFormMain* form);
