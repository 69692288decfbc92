// The eraser program: its process entry and the run from the first form to the end of the message loop.
#pragma once

// Prepares the machine, creates the three forms (main window, list dialog, pattern dialog) in this
// order, runs the message loop until the main window closes and stops the disk scan. A failure that
// escapes the forms is shown in the standard exception box and ends the run. Returns the exit code.
int runVelmora();
