// The display's modal boxes and folder dialog, in front of the windows.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "platform/display.h"

class QDialog;
class QFileDialog;

namespace platform::qt {

class ModalBoxes {
 public:
  // `title` heads every message box.
  explicit ModalBoxes(QString title) : title_(std::move(title)) {}

  void ShowBox(QMessageBox::Icon icon, const QString& text);
  std::optional<std::string> ChooseFolder(const FolderDialogTexts& texts);
  // Nothing is left waiting on the user: a box or dialog still up goes,
  // and none comes up afterwards.
  void CloseAll();

 private:
  int Exec(QDialog& dialog);
  static void AddPrompt(QFileDialog& dialog, const QString& prompt);

  QString title_;
  std::vector<QPointer<QDialog>> modals_;  // the boxes and dialogs up, innermost last
  bool closed_ = false;
};

}  // namespace platform::qt
