// The program's application object (Windows): the hidden window of class "TApplication" titled with
// the application title, by which other programs find this one; the message loop; the main form;
// calls posted from other threads; the standard exception display. Also the few calls that act on
// another program's application window.
#pragma once

#include <functional>
#include <string>
#include <string_view>

class Form;

class Application {
 public:
  // The title of the application window; the window is made on first need.
  const std::u16string& title() const { return title_; }
  void setTitle(std::u16string_view title);
  void* windowHandle();

  // The main form: it owns the task-bar button, dialogs centre on it, and closing it ends the loop.
  Form* mainForm() const;
  void setMainForm(Form* form);

  // Runs createForms, then the message loop until terminate (or the main form closes). A failure
  // that escapes createForms or a handler is shown in the standard exception box and ends the run.
  // Returns the exit code (0, or 1 after such a failure).
  int run(const std::function<void()>& createForms = {});
  // Runs the window messages that are waiting, then returns.
  void processMessages();
  // Ends the message loop and every modal loop.
  void terminate();
  bool terminated() const { return terminated_; }

  // Any thread: runs the call on the window thread, in the order of posting, without waiting.
  // Calls posted before the first form (or title, or timer) made the application window run when
  // the message loop starts.
  void post(std::function<void()> call);
  // Window thread: runs what was posted (the window does it by itself when messages run).
  void runPosted();

  // The standard exception box: the text, the application title, an OK button and the stop sign.
  void showException(std::u16string_view text);
  void failed(const char* what);

  // Minimises or restores the main form.
  void minimise();
  void restore();

  void setTerminated(bool terminated) { terminated_ = terminated; }

 private:
  std::u16string title_;
  bool terminated_ = false;
  int exitCode_ = 0;
};

Application& application();

// --- another program's application window -----------------------------------------------------------
// Its top-level window of class "TApplication" with that title; nullptr when none is open.
void* findApplicationWindow(std::u16string_view title);
// Restores it when its main form is minimised and brings it to the foreground.
void bringApplicationToFront(void* window);
// Sends it the close request (its main form closes).
void requestApplicationClose(void* window);
