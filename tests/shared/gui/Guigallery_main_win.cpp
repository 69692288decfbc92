// The gallery as a program: shows every element kind until its window is closed.
#include "Guiapplication.h"
#include "Guigallery.h"

int main() {
  Application& app = application();
  app.setTitle(u"GUI gallery");
  Form form;
  app.setMainForm(&form);
  form.setPosition(FormPosition::screenCentre);
  form.setRoundedOutline(14);
  buildGallery(form);
  // Escape is not wired: a click on the title band closes it.
  Element* band = form.children().front();
  band->setCursor(Cursor::hand);
  band->onClick = [&] { form.close(); };
  return app.run([&] { form.show(); });
}
