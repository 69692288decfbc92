// The demo build works on a simulated machine, paced as VELMORA_DEMO_SPEED asks.
#include "Platformservices.h"
#include "Velmorademo.h"
#include "Velmoramachine.h"

void prepareMachine() {
  DemoOptions options;
  options.bytesPerSecond = demoBytesPerSecondFromEnvironment();
  if (!buildDemoMachine(options)) debugOutput("Velmora demo: the simulated machine could not be built");
}
