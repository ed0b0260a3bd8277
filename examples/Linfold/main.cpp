#include <Inventor/Qt/SoQt.h>

#include <QApplication>
#include <QLocale>
#include <QString>

#include <clocale>
#include <cstdio>

#include "LinfoldApplication.h"

// Linfold [Qt options] [model.iv]
// LINFOLD_SCREENSHOT=file.png: write a picture of the window once it shows the
// drawing, then quit.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // QApplication took LC_NUMERIC from the environment; Inventor files and the
  // console output need '.' as the decimal point.
  std::setlocale(LC_NUMERIC, "C");
  QLocale::setDefault(QLocale::c());

  // Qt has removed its own options from argc/argv; what remains after the
  // program name is an optional model to load at start.
  if (argc > 2) {
    std::printf("Usage: %s [Qt options] [model.iv]\n", argv[0]);
    return 1;
  }
  const QString model = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();

  LinfoldApplication* window = new LinfoldApplication();
  window->prepareMainWindow();
  window->show();
  window->enablePolygonOffset();
  if (!model.isEmpty()) window->openModel(model);
  // Headless runs (scripts/run.sh without a display) ask for a picture of the
  // window once the drawing is on screen; the program ends after it.
  const QString screenshot = QString::fromLocal8Bit(qgetenv("LINFOLD_SCREENSHOT"));
  if (!screenshot.isEmpty()) window->takeScreenshotWhenSettled(screenshot);

  SoQt::mainLoop();
  delete window;
  return 0;
}
