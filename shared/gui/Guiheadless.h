// The headless side of the GUI layer (where there is no Windows): in place of a message loop, tests
// run what a window would have run later, and answer modal forms.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Bcimageutil_impl.h"

class Form;

// Runs the hover checks that forms have scheduled (a window runs them after the current message).
void runHeadlessPending();

// Called by every showModal with the form, which is shown; it may set a modal result or close the
// form. A modal form that is left without a result ends with kModalCancel.
void setHeadlessModalHandler(std::function<void(Form&)> handler);

// A resource of the program for the picture loaders (the headless program has none of its own);
// it replaces one of the same type and id.
void setHeadlessResource(ResourceType type, int32_t id, std::vector<uint8_t> bytes);
