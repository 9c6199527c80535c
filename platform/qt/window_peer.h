// The window's peer: the top-level widget with its menu bar and content
// area, placed where the model says.
#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

#include "platform/display.h"
#include "platform/text.h"

class QTimer;

namespace platform {
class Window;
class MenuBar;
}  // namespace platform

namespace platform::qt {

class ContentArea;
class TopLevelWidget;

class QtWindowPeer : public WindowPeer {
 public:
  explicit QtWindowPeer(Window& model);
  ~QtWindowPeer() override;
  void SetTitle(const String& title) override;
  void SetBounds(const Rect& content) override;
  void SetSizeLimits(const SizeLimits& limits) override;
  void SetFrame(WindowFrame frame, const WindowButtons& buttons, bool resizeable) override;
  void SetVisible(bool visible) override;
  void SetMenuBar(const Ref<MenuBar>& bar, bool visible) override;
  void SettleBounds() override;
  Margins FrameMargins(int32_t width) const override;

  Window& model() const { return model_; }
  TopLevelWidget* widget() const { return widget_; }
  ContentArea* content() const { return content_; }
  // The content area's bounds on the screen, as the model counts them.
  Rect ContentBounds() const;
  int MenuBarHeight(int width) const;

  // From the widget.
  void GeometryChanged();
  void UserClose();

 private:
  void ApplyBounds();
  void ApplyMinMax();
  void ApplyFrame();
  void ApplyVisible();
  void BuildMenuBar();
  void ReportGeometry();

  Window& model_;
  // What the model last said.
  Rect bounds_;
  SizeLimits limits_;
  WindowFrame frame_ = WindowFrame::kDocument;
  WindowButtons buttons_;
  bool resizeable_ = true;
  bool visible_ = false;
  Ref<MenuBar> menuBar_;
  bool menuBarVisible_ = true;
  TopLevelWidget* widget_;
  ContentArea* content_;
  QTimer* reportTimer_;
  std::vector<QPointer<QWidget>> oldMenus_;
  int applying_ = 0;
};

}  // namespace platform::qt
