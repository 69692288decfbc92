// The eraser program: the process entry and the run of its three forms.
#include "Velmora.h"

#include <windows.h>

#include <exception>

#include "Eraseutil_worker.h"
#include "Frmlist.h"
#include "Frmmain.h"
#include "Frmuserdefine.h"
#include "Guiapplication.h"
#include "Product_scan.h"
#include "Velmoramachine.h"

namespace {

void createForms() {
  Application& app = application();
  // The main window is made first: it owns the task-bar button and the dialogs centre on it.
  FormMain = new TFormMain();
  app.setMainForm(FormMain);
  FormList = new TFormList();
  FormUserDefine = new TFormUserDefine();
  FormMain->show();
}

bool anyEraseAlive() { return !liveEraseRuns().empty(); }

}  // namespace

int runVelmora() {
  Application& app = application();
  int code = 1;
  try {
    prepareMachine();
    // The forms are never destroyed: they live until the process ends, and workers abandoned by the
    // close wait may still post to them.
    code = app.run(createForms);
  } catch (const std::exception& e) {
    app.failed(e.what());
  } catch (...) {
    app.failed("Unknown failure");
  }
  stopDiskScan();
  return code;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const int code = runVelmora();
  // A worker that outlived the close wait must not run into the static destructors of a normal
  // return: the process ends with it still running, as it ends every thread.
  if (anyEraseAlive()) ExitProcess(UINT(code));
  return code;
}
