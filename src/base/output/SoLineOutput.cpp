#include "output/SoLineOutput.h"

#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/actions/SoGLRenderAction.h>
#include <Inventor/elements/SoCacheElement.h>
#include <Inventor/elements/SoCoordinateElement.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>

#include "core/SbOutputFile.h"
#include "pdf/PdfDocument.h"
#include "elements/SoLineCoordinateIndexElement.h"
#include "elements/SoLineDensityElementHQ.h"
#include "elements/SoLineParameterizationElement.h"
#include "elements/SoLineTaperElementHQ.h"
#include "elements/SoLineThicknessElement.h"
#include "elements/SoLineTriangleElementHQ.h"
#include "lines/LineSetState.h"
#include "output/SbSteganography.h"

namespace {
const char* const kDefaultCode = "(c) Linfold line drawing";  // 24 characters
const char* const kDefaultPdfName = "output.pdf";
const char* const kDefaultTextName = "outFile.txt";
const char* const kCreator = "Quorvane Library (https://quorvane.org)";
const char* const kTitle = "Vector graphic exported from Quorvane";
const char* const kKeywords = "Quorvane";
const char* const kSubject = "Quorvane is developed by the Linfold project.";

// The state's polylines in window coordinates. A vertex that cannot be
// projected (behind the eye, not finite) splits its line.
std::vector<std::vector<SbVec2d>> projectLines(const SbLineSet& set, const SbWindowProjector& projector) {
  std::vector<std::vector<SbVec2d>> lines;
  set.forEachLine([&](int begin, int end) {
    std::vector<SbVec2d> line;
    for (int i = begin; i < end; ++i) {
      double x = 0, y = 0, z = 0;
      if (projector.project(set.points[size_t(set.indices[size_t(i)])], x, y, z) && std::isfinite(x) &&
          std::isfinite(y)) {
        line.emplace_back(x, y);
      } else if (!line.empty()) {
        lines.push_back(std::move(line));
        line.clear();
      }
    }
    if (!line.empty()) lines.push_back(std::move(line));
  });
  return lines;
}
}  // namespace

SO_NODE_SOURCE(SoLineOutput);

void SoLineOutput::initClass() {
  SO_NODE_INIT_CLASS(SoLineOutput, SoLineModifier, "SoLineModifier");
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoGLRenderAction);
  LINFOLD_ENABLE_LINE_SET_ELEMENTS(SoCallbackAction);
}

SoLineOutput::SoLineOutput() {
  SO_NODE_CONSTRUCTOR(SoLineOutput);
  SO_NODE_ADD_FIELD(filename, (""));
  SO_NODE_ADD_FIELD(compression, (FALSE));
  SO_NODE_ADD_FIELD(outputType, (PDF_OUTPUT));
  SO_NODE_ADD_FIELD(codeString, (kDefaultCode));
  SO_NODE_ADD_FIELD(codeLength, (int32_t(std::strlen(kDefaultCode))));
  SO_NODE_ADD_FIELD(lineWidth, (2.0f));
  SO_NODE_ADD_FIELD(lineWidthOffset, (0.1f));
  SO_NODE_ADD_FIELD(steganoMode, (NO_STEGANO));
  SO_NODE_DEFINE_ENUM_VALUE(SteganoModes, NO_STEGANO);
  SO_NODE_DEFINE_ENUM_VALUE(SteganoModes, STEGANO_WIDTH);
  SO_NODE_DEFINE_ENUM_VALUE(SteganoModes, STEGANO_RATIO);
  SO_NODE_DEFINE_ENUM_VALUE(SteganoModes, STEGANO_ANGLE);
  SO_NODE_DEFINE_ENUM_VALUE(SteganoModes, STEGANO_LENGTH);
  SO_NODE_DEFINE_ENUM_VALUE(SteganoModes, STEGANO_COLOR);
  SO_NODE_SET_SF_ENUM_TYPE(steganoMode, SteganoModes);
  SO_NODE_DEFINE_ENUM_VALUE(OutputType, PDF_OUTPUT);
  SO_NODE_DEFINE_ENUM_VALUE(OutputType, TEXT_OUTPUT);
  SO_NODE_SET_SF_ENUM_TYPE(outputType, OutputType);
}

SoLineOutput::~SoLineOutput() = default;

void SoLineOutput::requestPdfWrite() {
  outputType.setValue(PDF_OUTPUT);
  written = false;
  resetWriteResult();
}

void SoLineOutput::requestTextWrite() {
  outputType.setValue(TEXT_OUTPUT);
  written = false;
  resetWriteResult();
}

void SoLineOutput::doAction(SoAction* action) {
  if (written) return;
  written = true;
  resetWriteResult();
  try {
    write(action->getState());
  } catch (const std::exception& e) {
    printf("SoLineOutput::doAction: %s\n", e.what());
    setWriteFailed(filename.getValue().getString(), e.what());
  }
}

void SoLineOutput::write(SoState* state) {
  const int type = outputType.getValue();
  std::string path = filename.getValue().getString();
  if (type != PDF_OUTPUT && type != TEXT_OUTPUT) {
    printf("SoLineOutput::doAction: unknown output type %d\n", type);
    setWriteFailed(path, "unknown output type");
    return;
  }
  const bool pdf = type == PDF_OUTPUT;
  if (path.empty()) path = pdf ? kDefaultPdfName : kDefaultTextName;

  SbLineSet set;
  linestate::readLineSet(state, set);
  double pageWidth = 0, pageHeight = 0;
  SbDrawing drawing = SbLineDrawing::fit(projectLines(set, stateProjector(state)), frame, pageWidth, pageHeight);

  std::string code = codeString.getValue().getString();
  code.resize(size_t(std::clamp<int64_t>(codeLength.getValue(), 0, int64_t(code.size()))));
  float width = lineWidth.getValue();
  if (!std::isfinite(width) || width < 0.0f) width = 0.0f;
  float offset = lineWidthOffset.getValue();
  if (!std::isfinite(offset)) offset = 0.0f;

  int mode = steganoMode.getValue();
  if (mode < NO_STEGANO || mode > STEGANO_COLOR) {
    printf("SoLineOutput::doAction: unknown steganography mode %d; writing without a code\n", mode);
    mode = NO_STEGANO;
  }
  if (mode != NO_STEGANO) printf("Steganography Code: \n");
  const bool needsPdf = mode == STEGANO_WIDTH || mode == STEGANO_COLOR;
  if (needsPdf && !pdf)
    printf("SoLineOutput::doAction: a text file holds no line widths or colours; no code written\n");
  SbCodeBits widthBits(code);
  switch (mode) {
    case STEGANO_WIDTH:
      if (pdf) SbSteganography::encodeWidth(drawing, code, width, std::max(offset, -width), widthBits);
      break;
    case STEGANO_RATIO: SbSteganography::encodeRatio(drawing, code); break;
    case STEGANO_ANGLE: SbSteganography::encodeAngle(drawing, code); break;
    case STEGANO_LENGTH: SbSteganography::encodeLength(drawing, code); break;
    case STEGANO_COLOR:
      if (pdf) SbSteganography::encodeColor(drawing, code);
      break;
    default: break;
  }

  bool ok = false;
  std::string why = "out of memory";
  if (pdf) {
    SbLineDrawing::PdfStyle style;
    style.compress = compression.getValue();
    style.lineWidth = width;
    style.perLineWidth = mode == STEGANO_WIDTH;
    style.perLineColor = mode == STEGANO_COLOR;
    PdfDocument* doc = SbLineDrawing::pdf(drawing, pageWidth, pageHeight, style);
    if (doc) {
      cpdf_setCreator(doc, kCreator);
      cpdf_setTitle(doc, kTitle);
      cpdf_setKeywords(doc, kKeywords);
      cpdf_setSubject(doc, kSubject);
      cpdf_finalizeAll(doc);
      ok = cpdf_savePDFmemoryStreamToFile(doc, path.c_str(), &why);
      cpdf_close(doc);
    }
  } else {
    ok = SbOutputFile::write(path, SbLineDrawing::text(drawing), why);
  }
  if (!ok) {
    printf("SoLineOutput::doAction: cannot write \"%s\": %s\n", path.c_str(), why.c_str());
    setWriteFailed(path, why);
    return;
  }
  setWritten(path);
  if (mode == STEGANO_WIDTH && pdf) printf("%s", SbSteganography::widthReport(widthBits).c_str());
}

void SoLineOutput::GLRender(SoGLRenderAction* action) {
  // Whether a write is pending is not a field: keep render caches from
  // skipping this node.
  SoCacheElement::invalidate(action->getState());
  doAction(action);
}

void SoLineOutput::callback(SoCallbackAction* action) { doAction(action); }
