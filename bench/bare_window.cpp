// The yardstick for the palette's start-up: the least a Qt Widgets program
// does to show a window of the palette's size. It prints "shown" once its
// window is shown and then waits, as the palette does, until it is ended.
//
//   tessaline_bare_window                    the bare window
//   tessaline_bare_window --palette-widgets  the same window holding what the
//       palette's holds (a tree list, a button with the palette's Japanese
//       caption, a File and an Edit menu), none of the palette's own code:
//       it tells Qt's share of the palette's figures from the palette's.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeView>
#include <QWidget>

#include <cstdio>
#include <cstring>

namespace {

class BareWindow : public QMainWindow {
 protected:
  void showEvent(QShowEvent* event) override {
    QMainWindow::showEvent(event);
    if (!shown_) {
      shown_ = true;
      std::puts("shown");
      std::fflush(stdout);
    }
  }

 private:
  bool shown_ = false;
};

void AddPaletteWidgets(QMainWindow& window, QWidget* content) {
  auto* list = new QTreeView(content);
  list->setHeaderHidden(true);
  list->setGeometry(0, 0, 150, 174);
  auto* button = new QPushButton(QString::fromUtf8("スクリプトフォルダ選択"), content);
  button->setGeometry(5, 177, 140, 20);
  QMenu* file = window.menuBar()->addMenu(QStringLiteral("File"));
  file->addAction(QStringLiteral("Quit"));
  QMenu* edit = window.menuBar()->addMenu(QStringLiteral("Edit"));
  for (const char* item : {"Undo", "Cut", "Copy", "Paste", "Clear", "Select All"}) {
    edit->addAction(QString::fromUtf8(item));
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  BareWindow window;
  window.setWindowTitle(QStringLiteral("bare window"));
  auto* content = new QWidget(&window);
  window.setCentralWidget(content);
  int menuBar = 0;
  if (argc > 1 && std::strcmp(argv[1], "--palette-widgets") == 0) {
    AddPaletteWidgets(window, content);
    menuBar = window.menuBar()->sizeHint().height();
  }
  window.resize(150, 200 + menuBar);
  window.show();
  return QApplication::exec();
}
