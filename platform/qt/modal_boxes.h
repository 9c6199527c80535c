// The display's modal boxes and folder dialog, in front of the windows.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display.h"

class QDialog;
class QFileDialog;
class QTranslator;

namespace platform::qt {

class ModalBoxes {
 public:
  // `title` heads every message box; `language` ("ja") is that of Qt's own
  // texts in the boxes and the dialog, empty for Qt's English.
  ModalBoxes(QString title, QString language);
  ~ModalBoxes();

  void ShowBox(QMessageBox::Icon icon, const QString& text);
  std::optional<std::string> ChooseFolder(const FolderDialogTexts& texts);
  // Nothing is left waiting on the user: a box or dialog still up goes,
  // and none comes up afterwards.
  void CloseAll();

 private:
  // Once, before the first box or dialog: nothing shown earlier needs it.
  void Prepare();
  int Exec(QDialog& dialog);
  static void AddPrompt(QFileDialog& dialog, const QString& prompt);

  QString title_;
  QString language_;
  bool prepared_ = false;
  std::unique_ptr<QTranslator> qtTexts_;
  std::vector<QPointer<QDialog>> modals_;  // the boxes and dialogs up, innermost last
  bool closed_ = false;
};

}  // namespace platform::qt
