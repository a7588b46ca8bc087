#include "app/window.h"

#include "app/application.h"

namespace tavlune::app {

Window::Window(Application& application, Rect contentRect) : application_(application), frame_(contentRect) {}

void Window::setContentViewController(std::unique_ptr<ViewController> controller) {
  contentViewController_ = std::move(controller);
}

void Window::setFrame(Rect frame, bool) { frame_ = frame; }

void Window::center() {
  const Rect& screen = kMainScreenFrame;
  frame_.origin.x = screen.origin.x + (screen.size.width - frame_.size.width) / 2;
  frame_.origin.y = screen.origin.y + (screen.size.height - frame_.size.height) / 2;
}

void Window::makeKeyAndOrderFront() {
  visible_ = true;
  application_.windowDidOpen(this);
}

void Window::close() {
  if (!visible_) return;
  visible_ = false;
  application_.windowDidClose(this);
}

}  // namespace tavlune::app
