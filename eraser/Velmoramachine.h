// Which disks the program works on: the machine's own, or in the demo build a simulated machine
// made before the window starts.
#pragma once

// Runs first in the process, before any form exists: nothing to do for the machine's own disks; the
// demo build builds its simulated machine here.
void prepareMachine();
