#ifndef LINFOLD_SOLINEOUTPUT_H
#define LINFOLD_SOLINEOUTPUT_H

#include <Inventor/fields/SoSFBool.h>
#include <Inventor/fields/SoSFEnum.h>
#include <Inventor/fields/SoSFFloat.h>
#include <Inventor/fields/SoSFInt32.h>
#include <Inventor/fields/SoSFString.h>

#include <string>

#include "core/SbWriteResult.h"
#include "core/SoSFNumberedEnum.h"
#include "lines/SoLineModifier.h"
#include "output/SbLineDrawing.h"

// Writes the line set of the traversal state as a vector drawing: a one-page
// PDF (outputType 1) or a text list of 2D points (outputType 2), fitted into
// an 8.2-inch frame. Optionally hides codeString in the strokes
// (SbSteganography). The node writes once per request, during the next
// traversal.
class SoLineOutput : public SoLineModifier, public SbWriteResult {
  typedef SoLineModifier inherited;
  SO_NODE_HEADER(SoLineOutput);

 public:
  // How the code is hidden (SbSteganography has the rules and the decoders).
  // WIDTH, ANGLE, LENGTH and COLOR send the code's bits, least significant
  // first, then 16 zeros and a 1, and repeat.
  enum SteganoModes {
    NO_STEGANO = 0,
    STEGANO_WIDTH = 1,  // one bit per line: width lineWidth (+ lineWidthOffset for a 1); PDF only
    STEGANO_RATIO = 2,  // each segment gets a point at k/7 for the next set bit k of the character
    STEGANO_ANGLE = 3,  // one bit per segment: an extra point over its middle, turned 5 degrees left (1) or right (0)
    STEGANO_LENGTH =
        4,             // one bit per line: the parity of its length in 0.02-inch steps, reached by lengthening its end
    STEGANO_COLOR = 5  // one bit per line: stroke colour black (0) or blue 1/255 (1); PDF only
  };
  enum OutputType { PDF_OUTPUT = 1, TEXT_OUTPUT = 2 };

  static void initClass();
  SoLineOutput();

  SoSFString filename;          // empty: "output.pdf" or "outFile.txt"
  SoSFBool compression;         // Flate-compress the PDF content stream
  SoSFNumberedEnum outputType;  // OutputType
  SoSFString codeString;        // the text to hide
  SoSFInt32 codeLength;         // bytes of codeString to hide (cut to its length)
  SoSFFloat lineWidth;          // stroke width, PDF points
  SoSFFloat lineWidthOffset;    // width added for a 1 bit in STEGANO_WIDTH
  SoSFEnum steganoMode;

  // The frame the drawing is fitted into (inches).
  SbDrawingFrame frame;
  // False while a write is pending; set when the next traversal has written.
  // How it went is the SbWriteResult (WR_FAILED when the file could not be
  // written or the request was invalid; a message was printed).
  bool written = true;

  void requestPdfWrite();
  void requestTextWrite();

  void doAction(SoAction* action) override;
  void GLRender(SoGLRenderAction* action) override;
  void callback(SoCallbackAction* action) override;

 protected:
  ~SoLineOutput() override;

 private:
  void write(SoState* state);
};

#endif
