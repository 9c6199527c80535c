#include "platform/qt/modal_boxes.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

#include <algorithm>

#include "platform/qt/conversions.h"
#include "platform/qt/window_list.h"

namespace platform::qt {

void ModalBoxes::ShowBox(QMessageBox::Icon icon, const QString& text) {
  if (closed_) return;
  QMessageBox box(icon, title_, text, QMessageBox::Ok, DialogParent());
  // In front of the application's windows, which float above everything.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  Exec(box);
}

std::optional<std::string> ModalBoxes::ChooseFolder(const FolderDialogTexts& texts) {
  if (closed_) return std::nullopt;
  QFileDialog dialog(DialogParent(), ToQString(texts.title));
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  dialog.setFileMode(QFileDialog::Directory);
  // Qt's own dialog: a desktop's native one would not show the prompt.
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (!texts.actionButtonCaption.IsEmpty()) {
    dialog.setLabelText(QFileDialog::Accept, ToQString(texts.actionButtonCaption));
  }
  if (!texts.promptText.IsEmpty()) AddPrompt(dialog, ToQString(texts.promptText));
  if (Exec(dialog) != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return QDir(chosen.first()).absolutePath().toStdString();
}

void ModalBoxes::CloseAll() {
  closed_ = true;
  for (auto it = modals_.rbegin(); it != modals_.rend(); ++it) {
    if (*it) (*it)->done(QDialog::Rejected);
  }
}

int ModalBoxes::Exec(QDialog& dialog) {
  modals_.emplace_back(&dialog);
  const int result = dialog.exec();
  modals_.pop_back();
  return result;
}

// The prompt goes above everything else in the dialog.
void ModalBoxes::AddPrompt(QFileDialog& dialog, const QString& prompt) {
  auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
  auto* label = new QLabel(prompt, &dialog);
  label->setObjectName(QStringLiteral("folderDialogPrompt"));
  label->setWordWrap(true);
  if (!grid) {
    if (dialog.layout()) dialog.layout()->addWidget(label);
    return;
  }
  struct Cell {
    QLayoutItem* item;
    int row, column, rowSpan, columnSpan;
  };
  std::vector<Cell> cells;
  for (int i = 0; i < grid->count(); ++i) {
    Cell c{grid->itemAt(i), 0, 0, 1, 1};
    grid->getItemPosition(i, &c.row, &c.column, &c.rowSpan, &c.columnSpan);
    cells.push_back(c);
  }
  while (grid->count() > 0) grid->takeAt(0);
  const int columns = std::max(1, grid->columnCount());
  grid->addWidget(label, 0, 0, 1, columns);
  for (const Cell& c : cells) grid->addItem(c.item, c.row + 1, c.column, c.rowSpan, c.columnSpan);
}

}  // namespace platform::qt
