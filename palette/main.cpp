#include "palette/app.h"
#include "palette/configuration.h"
#include "platform/qt/qt_display.h"

int main(int argc, char** argv) {
  return palette::Program([&](std::string* error) {
    return platform::CreateQtDisplay(argc, argv, palette::DisplayOptions(), error);
  });
}
