// The yardsticks for the palette's start-up: the least a Qt Widgets program
// does to show a window, and the same window holding what the palette's
// holds, built the plain way. Each waits, as the palette does, until it is
// ended.
//
//   tessaline_bare_window                         a bare 150 x 200 window
//   tessaline_bare_window --palette-widgets [ROW]...
//       a floating window titled as the palette, with its menus (File and
//       Edit, their Japanese texts and shortcuts), a tree list at the
//       palette's text size showing ROW..., and a button with the palette's
//       Japanese caption; none of the palette's own code
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QWidget>

#include <cstring>

namespace {

void AddPaletteWidgets(QMainWindow& window, QWidget* content, int rows, char** texts) {
  window.setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                        Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  window.setWindowTitle(QString::fromUtf8("Tessalineパレット"));
  QMenuBar* bar = window.menuBar();
  bar->setNativeMenuBar(false);
  QMenu* file = bar->addMenu(QString::fromUtf8("ファイル"));
  file->addAction(QString::fromUtf8("終了"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
  QMenu* edit = bar->addMenu(QString::fromUtf8("編集"));
  const struct {
    const char* text;
    const char* key;
  } items[] = {{"元に戻す", "Ctrl+Z"}, {"-", ""},       {"カット", "Ctrl+X"},
               {"コピー", "Ctrl+C"},   {"貼り付け", "Ctrl+V"}, {"削除", ""},
               {"-", ""},            {"すべてを選択", "Ctrl+A"}};
  for (const auto& item : items) {
    edit->addAction(QString::fromUtf8(item.text))->setShortcut(QKeySequence(QString::fromUtf8(item.key)));
  }

  auto* model = new QStandardItemModel(content);
  for (int i = 0; i < rows; ++i) model->appendRow(new QStandardItem(QString::fromUtf8(texts[i])));
  auto* list = new QTreeView(content);
  list->setModel(model);
  list->setHeaderHidden(true);
  list->setUniformRowHeights(true);
  QFont font = list->font();
  font.setPointSize(10);
  list->setFont(font);
  list->setGeometry(0, 0, 150, 174);
  auto* button = new QPushButton(QString::fromUtf8("スクリプトフォルダ選択"), content);
  button->setFont(font);
  button->setGeometry(5, 177, 140, 20);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  auto* content = new QWidget(&window);
  window.setCentralWidget(content);
  int menuBar = 0;
  if (argc > 1 && std::strcmp(argv[1], "--palette-widgets") == 0) {
    AddPaletteWidgets(window, content, argc - 2, argv + 2);
    menuBar = window.menuBar()->sizeHint().height();
  }
  window.resize(150, 200 + menuBar);
  window.show();
  return QApplication::exec();
}
