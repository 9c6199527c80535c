#include "platform/qt/modal_boxes.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTranslator>
#include <QTreeView>

#include <algorithm>

#include "platform/qt/conversions.h"
#include "platform/qt/window_list.h"

namespace platform::qt {
namespace {

// Qt's own texts in one language. Qt 6 asks for the file dialog's kinds
// ("Folder") under the icon provider; translations made for Qt 5 still
// hold them under the file dialog.
class QtTexts : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char* disambiguation,
                    int n) const override {
    QString text = QTranslator::translate(context, source, disambiguation, n);
    if (text.isNull() && qstrcmp(context, "QAbstractFileIconProvider") == 0) {
      text = QTranslator::translate("QFileDialog", source, disambiguation, n);
    }
    return text;
  }
};

// The folders' dates in the application's language: Qt writes them in the
// system's locale, whatever language its texts are in.
class LocalDates : public QIdentityProxyModel {
 public:
  static constexpr int kColumn = 3;  // the file system model's "Date Modified"

  LocalDates(const QLocale& locale, QObject* parent)
      : QIdentityProxyModel(parent), locale_(locale) {}

  QString Date(const QDateTime& time) const { return locale_.toString(time, QLocale::ShortFormat); }

  QVariant data(const QModelIndex& index, int role) const override {
    auto* files = qobject_cast<QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || index.column() != kColumn || !files) {
      return QIdentityProxyModel::data(index, role);
    }
    return Date(files->lastModified(mapToSource(index)));
  }

 private:
  QLocale locale_;
};

// The date column wide enough for any date, every digit at the font's
// widest, so that none is cut short.
void FitDates(QFileDialog& dialog, const LocalDates& dates) {
  auto* view = dialog.findChild<QTreeView*>();
  if (!view) return;
  const QFontMetrics metrics = view->fontMetrics();
  QChar widest = u'0';
  for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
    if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest)) widest = digit;
  }
  QString sample = dates.Date(QDateTime(QDate(2000, 12, 31), QTime(23, 59, 59)));
  for (QChar& c : sample) {
    if (c.isDigit()) c = widest;
  }
  QStyleOptionViewItem option;
  option.initFrom(view);
  option.features = QStyleOptionViewItem::HasDisplay;
  option.font = view->font();
  option.text = sample;
  const int width =
      view->style()->sizeFromContents(QStyle::CT_ItemViewItem, &option, QSize(), view).width();
  QHeaderView* header = view->header();
  if (header->sectionSize(LocalDates::kColumn) < width) {
    header->resizeSection(LocalDates::kColumn, width);
  }
}

}  // namespace

ModalBoxes::ModalBoxes(QString title, QString language)
    : title_(std::move(title)), language_(std::move(language)) {}

ModalBoxes::~ModalBoxes() = default;

void ModalBoxes::Prepare() {
  if (prepared_) return;
  prepared_ = true;
  // Qt's folder dialog writes its history to QtProject.conf in the user's
  // configuration folder as it closes, with no option against it, and the
  // preferences file is to stay the only file there: the user's settings
  // in the native format, which only Qt's own code uses here, go where
  // none can be made.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
  // Qt's own texts ("Cancel", "Look in:") in the application's language,
  // whatever the system's locale.
  if (language_.isEmpty()) return;
  auto texts = std::make_unique<QtTexts>();
  if (texts->load(QStringLiteral("qtbase_") + language_,
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(texts.get());
    qtTexts_ = std::move(texts);
  }
}

void ModalBoxes::ShowBox(QMessageBox::Icon icon, const QString& text) {
  if (closed_) return;
  Prepare();
  QMessageBox box(icon, title_, text, QMessageBox::Ok, DialogParent());
  // In front of the application's windows, which float above everything.
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  Exec(box);
}

std::optional<std::string> ModalBoxes::ChooseFolder(const FolderDialogTexts& texts) {
  if (closed_) return std::nullopt;
  Prepare();
  QFileDialog dialog(DialogParent(), ToQString(texts.title));
  dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
  dialog.setFileMode(QFileDialog::Directory);
  // Qt's own dialog: a desktop's native one would not show the prompt.
  dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (!language_.isEmpty()) {
    auto* dates = new LocalDates(QLocale(language_), &dialog);
    dialog.setProxyModel(dates);
    FitDates(dialog, *dates);
  }
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
