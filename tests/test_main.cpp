#include <Inventor/SoDB.h>
#include <Inventor/SoInteraction.h>
#include <Inventor/nodekits/SoNodeKit.h>
#include <gtest/gtest.h>

#include "HqStrokeSource.h"
#include "LineTestNodes.h"
#include "registry/LibraryClasses.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  SoDB::init();
  SoNodeKit::init();
  SoInteraction::init();
  initLibraryClasses();
  // The test nodes every test may use.
  StateStep::initClass();
  HqStrokeSource::initClass();
  return RUN_ALL_TESTS();
}
