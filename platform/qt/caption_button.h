// A push button whose caption is fitted to its width.
#pragma once

#include <QPushButton>
#include <QString>

#include <optional>

namespace platform::qt {

// A button's caption keeps this many pixels clear of the bevel on either
// side; what is left is the room it is fitted to.
constexpr int kCaptionClearance = 2;

// The framework's text sizes are the Mac's points, one pixel each; a Qt
// point on a desktop screen is larger, so a caption sized for its button
// there can outgrow it here. It is drawn at the size asked for when it
// fits, else at the largest size, in half-point steps down from it, that
// does, and grows back as the button widens.
class CaptionButton : public QPushButton {
 public:
  using QPushButton::QPushButton;

  void SetCaption(const QString& text);
  // 0: the application's size.
  void SetAskedPointSize(int size);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  static constexpr qreal kStep = 0.5;

  // Each size measured costs a font engine (a font match and a load), and
  // a button being set up passes through sizes it is never shown at: a
  // hidden button is fitted once it shows.
  void FitWhenShown();
  void Fit();

  struct Fitted {
    QString text;
    qreal asked;
    int room;
    bool operator==(const Fitted&) const = default;
  };

  int asked_ = 0;
  bool fitOwed_ = false;
  std::optional<Fitted> fitted_;
};

}  // namespace platform::qt
