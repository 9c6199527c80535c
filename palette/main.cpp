#include <cstdio>
#include <string>

#include "palette/app.h"
#include "palette/configuration.h"
#include "platform/qt/qt_display.h"

int main(int argc, char** argv) {
  palette::Configure();
  std::string error;
  std::unique_ptr<platform::Display> display =
      platform::CreateQtDisplay(argc, argv, palette::DisplayOptions(), &error);
  if (!display) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  return palette::MainRoutine(*display);
}
