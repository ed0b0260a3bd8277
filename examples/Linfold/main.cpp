#include <QApplication>

#include "LinfoldApplication.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  LinfoldApplication* window = new LinfoldApplication();
  window->show();
  int status = app.exec();
  delete window;
  return status;
}
