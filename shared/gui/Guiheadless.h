// The headless side of the GUI layer (where there is no Windows): in place of a message loop, tests
// run what a window would have run later, and answer modal forms.
#pragma once

#include <functional>

class Form;

// Runs the hover checks that forms have scheduled (a window runs them after the current message).
void runHeadlessPending();

// Called by every showModal with the form, which is shown; it may set a modal result or close the
// form. A modal form that is left without a result ends with kModalCancel.
void setHeadlessModalHandler(std::function<void(Form&)> handler);
