#include "Guiform.h"

#include "Guipaint.h"
#include "Guiplatform.h"

namespace {

Form* gMainForm = nullptr;

void paintChildren(Container& container, Painter& painter, Point origin, const Rect& clip) {
  for (Element* e : container.children()) {
    if (!e->visible() || e->isNative()) continue;
    const Rect r = e->bounds().moved(origin.x, origin.y);
    const int m = e->paintMargin();
    const Rect inside = clip.intersected({r.left - m, r.top - m, r.width + 2 * m, r.height + 2 * m});
    if (inside.empty()) continue;
    painter.setView({r.left, r.top}, inside);
    e->paint(painter);
    if (Container* k = e->asContainer()) paintChildren(*k, painter, {r.left, r.top}, clip.intersected(r));
  }
}

}  // namespace

Form* Form::mainForm() { return gMainForm; }
void Form::setMainForm(Form* form) { gMainForm = form; }

Form::Form() : mouse_(*this) {
  setParentFont(false);
  setVisible(false);
  setBounds(0, 0, 320, 240);
  window_ = createFormWindow(*this);
  window_->setBounds(bounds());
}

Form::~Form() {
  if (gMainForm == this) gMainForm = nullptr;
  // The elements (and the windows of native controls) go before the form's own window.
  destroyChildren();
  window_.reset();
}

void* Form::handle() const { return window_ ? window_->handle() : nullptr; }

void Form::centreOnScreen() { centreOver(nullptr); }

void Form::centreOver(const Form* reference) {
  Rect r = reference != nullptr ? reference->bounds() : Rect{0, 0, screenSize().width, screenSize().height};
  setBounds(r.left + (r.width - width()) / 2, r.top + (r.height - height()) / 2, width(), height());
}

void Form::setCaption(std::u16string_view caption) {
  caption_ = caption;
  if (window_) window_->setCaption(caption_);
}

void Form::setRoundedOutline(int ellipse) {
  outlineEllipse_ = ellipse;
  if (window_) window_->setOutline(ellipse);
}

void Form::setAlwaysOnTop(bool on) {
  alwaysOnTop_ = on;
  if (window_) window_->setAlwaysOnTop(on);
}

WindowState Form::windowState() const { return window_ ? window_->windowState() : WindowState::normal; }
void Form::minimise() { window_->setWindowState(WindowState::minimised); }
void Form::maximise() { window_->setWindowState(WindowState::maximised); }
void Form::restore() { window_->setWindowState(WindowState::normal); }
void Form::activate() { window_->activate(); }

int Form::showModal() {
  modalResult_ = kModalNone;
  ++modalDepth_;
  show();
  if (visible()) window_->runModal();
  hide();
  --modalDepth_;
  return modalResult_;
}

void Form::setModalResult(int result) { modalResult_ = result; }

void Form::close() {
  if (onClose) onClose();
  if (modalDepth_ > 0) {
    if (modalResult_ == kModalNone) modalResult_ = kModalCancel;
    return;
  }
  hide();
  window_->closed();
}

void Form::placeForShowing() {
  if (position_ == FormPosition::screenCentre) centreOnScreen();
  if (position_ == FormPosition::mainFormCentre) centreOver(gMainForm != this ? gMainForm : nullptr);
}

void Form::visibilityChanged() {
  if (!window_) return;
  if (visible()) {
    if (onShow) onShow();
    if (!visible()) return;
    placeForShowing();
    window_->setVisible(true);
  } else {
    window_->setVisible(false);
  }
}

void Form::boundsChanged(const Rect& old) {
  Container::boundsChanged(old);
  if (!window_) return;
  if (!fromWindow_) window_->setBounds(bounds());
  if (outlineEllipse_ != 0 && (old.width != width() || old.height != height())) {
    window_->setOutline(outlineEllipse_);
  }
}

void Form::windowMoved(Point topLeft) {
  fromWindow_ = true;
  setBounds(topLeft.x, topLeft.y, width(), height());
  fromWindow_ = false;
}

void Form::windowResized(Size size) {
  fromWindow_ = true;
  setBounds(left(), top(), size.width, size.height);
  fromWindow_ = false;
}

void Form::windowActivated() {
  if (onActivate) onActivate();
}

void Form::paintClient(Painter& painter, const Rect& clip) {
  painter.setView({0, 0}, clip);
  paint(painter);
  paintChildren(*this, painter, {0, 0}, clip);
}

void Form::invalidateRect(const Rect& formRect) {
  if (window_) window_->invalidate(formRect);
}

void Form::treeChanged() {
  if (window_ && visible()) window_->scheduleHoverCheck();
}

void Form::dragWith(Element& handle) {
  handle.onMouseDown = [this](const MouseEvent& e) {
    if (e.button == MouseButton::left) dragOrigin_ = e.pos;
  };
  handle.onMouseMove = [this](const MouseEvent& e) {
    if (!(e.shift & shiftLeft) || windowState() == WindowState::maximised) return;
    setBounds(left() + e.pos.x - dragOrigin_.x, top() + e.pos.y - dragOrigin_.y, width(), height());
  };
}
