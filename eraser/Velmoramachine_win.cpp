// The shipped program works on the machine's own disks, reached through the Windows device layer.
#include "Velmoramachine.h"

void prepareMachine() {}
