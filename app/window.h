// A headless window, as much of AppKit's NSWindow as the shell uses: frame,
// minimum size, title, content view controller, centring and closing.
#pragma once

#include <memory>
#include <string>

namespace tavlune::app {

class Application;

struct Point {
  double x = 0;
  double y = 0;
};
struct Size {
  double width = 0;
  double height = 0;
};
// Origin at the bottom left, in points, as AppKit measures.
struct Rect {
  Point origin;
  Size size;
};

class ViewController {
 public:
  virtual ~ViewController() = default;
  virtual std::string className() const = 0;
};

class Window {
 public:
  // There is no display; windows are placed on a screen of this size.
  static constexpr Rect kMainScreenFrame{{0, 0}, {1920, 1080}};

  Window(Application& application, Rect contentRect);
  virtual ~Window() = default;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Called once the window has been built, as after loading the nib.
  virtual void awakeFromNib() {}

  void setContentViewController(std::unique_ptr<ViewController> controller);
  ViewController* contentViewController() const { return contentViewController_.get(); }

  void setFrame(Rect frame, bool display);
  Rect frame() const { return frame_; }
  // The window grows freely but a user's resize stops at this size.
  void setMinSize(Size size) { minSize_ = size; }
  Size minSize() const { return minSize_; }
  // Centred on the main screen.
  void center();
  void setTitle(std::string title) { title_ = std::move(title); }
  const std::string& title() const { return title_; }

  void makeKeyAndOrderFront();
  bool isVisible() const { return visible_; }
  // Hides the window and tells the application, which may quit.
  void close();

 private:
  Application& application_;
  Rect frame_;
  Size minSize_;
  std::string title_;
  bool visible_ = false;
  std::unique_ptr<ViewController> contentViewController_;
};

}  // namespace tavlune::app
