// The line drawing output (PDF and text line lists): the hidden codes it writes into the lines, read back from the
// written files, and its frame.
#include <gtest/gtest.h>

#include <Inventor/SbViewportRegion.h>
#include <Inventor/actions/SoCallbackAction.h>
#include <Inventor/nodes/SoSeparator.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <locale>
#include <tuple>

#include "TestFiles.h"
#include "LineTestNodes.h"
#include "output/SbLineDrawing.h"
#include "output/SbSteganography.h"
#include "output/SoLineOutput.h"

namespace fs = std::filesystem;

namespace {

// Points in normalised device coordinates; without a camera they land on 1000 x 1000 pixels as x_pixel = (x + 1) 500.
SbLineSet linesFrom(const std::vector<std::vector<SbVec2f>>& polylines) {
  SbLineSet set;
  for (const auto& line : polylines) {
    for (const SbVec2f& p : line) {
      set.indices.push_back(int32_t(set.points.size()));
      set.points.emplace_back(p[0], p[1], 0.0f);
    }
    set.indices.push_back(-1);
  }
  return set;
}

// `count` zig-zag polylines of `points` points: no three consecutive points are collinear, so an inserted point is
// never mistaken for a vertex.
SbLineSet zigzags(int count, int points) {
  std::vector<std::vector<SbVec2f>> lines(count);
  for (int i = 0; i < count; ++i)
    for (int j = 0; j < points; ++j) {
      const float wiggle = 0.004f * (1.0f + 0.3f * std::sin(float(i + 3 * j))) * (j % 2 ? 1 : -1);
      lines[i].emplace_back(-0.9f + 1.8f * float(j) / float(points - 1),
                            -0.9f + 1.8f * float(i) / float(count - 1) + wiggle);
    }
  return linesFrom(lines);
}

struct OutputScene {
  bool nodesReady = (linetest::initNodes(), true);  // before the nodes below are made
  SoSeparator* root = new SoSeparator;
  LineSetSource* source = new LineSetSource;
  SoLineOutput* output = new SoLineOutput;

  explicit OutputScene(const SbLineSet& lines) {
    root->ref();
    source->publishLines = true;
    source->lines = lines;
    root->addChild(source);
    root->addChild(output);
  }
  ~OutputScene() { root->unref(); }
  void traverse() {
    SoCallbackAction action(SbViewportRegion(1000, 1000));
    action.apply(root);
  }
  // Requests a write of the given type and traverses; returns the console output.
  std::string write(int type, const std::string& path = std::string()) {
    output->filename.setValue(path.c_str());
    type == SoLineOutput::PDF_OUTPUT ? output->requestPdfWrite() : output->requestTextWrite();
    testing::internal::CaptureStdout();
    traverse();
    return testing::internal::GetCapturedStdout();
  }
};

SbDrawing readBack(int type, const std::string& path) {
  SbDrawing drawing;
  EXPECT_TRUE(type == SoLineOutput::PDF_OUTPUT ? SbLineDrawing::readPdf(path, drawing)
                                               : SbLineDrawing::readText(path, drawing))
      << path;
  return drawing;
}

}  // namespace

// The width code: the report counts whole bytes, bits and the zero fill; a code length past the string is cut to it.
TEST(LineOutputWidth, CodesGiveTheWidthSequenceAndTheReport) {
  // lines, code, code length -> report, code read back (nullptr: the lines hold no whole frame)
  const std::tuple<int, const char*, int, const char*, const char*> cases[] = {
      // 8 code bits, 16 zeros, a 1, then 5 bits of the second pass.
      {30, "A", 1, "Wrote 0 bytes and 5 bit(s) worth of information and 2 bytes with zeros.", "A"},
      // 8 code bits, then 12 of the 16 zero bits.
      {20, "A", 1, "Wrote 1 bytes and 0 bit(s) worth of information and 1.5 bytes with zeros.", nullptr},
      // 16 code bits, 16 zeros, a 1, then 16 + 8 more: the second pass is complete.
      {57, "Hi", 50, "Wrote 2 bytes and 0 bit(s) worth of information and 3 bytes with zeros.", "Hi"},
  };
  TempDir dir;
  for (const auto& [lines, code, length, report, decoded] : cases) {
    SCOPED_TRACE(lines);
    OutputScene scene(zigzags(lines, 2));
    scene.output->steganoMode = SoLineOutput::STEGANO_WIDTH;
    scene.output->codeString = code;
    scene.output->codeLength = length;
    const std::string path = dir.file(std::to_string(lines) + ".pdf");
    EXPECT_EQ(scene.write(SoLineOutput::PDF_OUTPUT, path), std::string("Steganography Code: \n\n") + report + "\n");
    ASSERT_FALSE(scene.output->writeFailed());
    const SbDrawing drawing = readBack(SoLineOutput::PDF_OUTPUT, path);
    EXPECT_EQ(decoded ? SbSteganography::decodeWidth(drawing, 2.0, 0.1) : "", decoded ? decoded : "");
    if (lines != 30) continue;
    // 0x41, least significant bit first; 16 zeros; a 1; the byte again (5 of its bits). A 1 widens its line by 0.1.
    const std::string bits = "10000010" + std::string(16, '0') + "1" + "10000";
    ASSERT_EQ(drawing.size(), bits.size());
    for (size_t i = 0; i < bits.size(); ++i) EXPECT_NEAR(drawing[i].width, bits[i] == '1' ? 2.1 : 2.0, 1e-6) << i;
    // The width is set right before each stroke; PDF puts it in front of the path.
    EXPECT_NE(readFile(path).find("2.1000 w\n"), std::string::npos);
  }
}

TEST(LineOutputRatio, ExtraPointsSitAtTheSetBitPositions) {
  // "A" = bits 0 and 6: a point at 0/7 of the first segment, at 6/7 of the second, none on the third (the code ends).
  TempDir dir;
  const std::vector<SbVec2f> line = {SbVec2f(-0.8f, -0.8f), SbVec2f(0.0f, 0.6f), SbVec2f(0.8f, -0.8f),
                                     SbVec2f(0.8f, 0.8f)};
  OutputScene plain(linesFrom({line})), coded(linesFrom({line}));
  plain.write(SoLineOutput::TEXT_OUTPUT, dir.file("plain.txt"));
  coded.output->steganoMode = SoLineOutput::STEGANO_RATIO;
  coded.output->codeString = "A";
  coded.output->codeLength = 1;
  coded.write(SoLineOutput::TEXT_OUTPUT, dir.file("coded.txt"));
  const SbDrawing before = readBack(SoLineOutput::TEXT_OUTPUT, dir.file("plain.txt"));
  const SbDrawing after = readBack(SoLineOutput::TEXT_OUTPUT, dir.file("coded.txt"));
  ASSERT_TRUE(before.size() == 1 && after.size() == 1);
  const auto& p = before[0].points;
  const std::vector<SbVec2d> expected = {p[0], p[0], p[1], p[1] + (p[2] - p[1]) * (6.0 / 7.0), p[2], p[3]};
  ASSERT_EQ(after[0].points.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_LT((after[0].points[i] - expected[i]).length(), 2e-5) << i;
}

// Every mode reads its code back from the written file, an empty code too; the PDF files are sound to qpdf.
TEST(LineOutputRoundTrip, EveryModeReadsItsCodeBackFromTheWrittenFile) {
  TempDir dir;
  const bool qpdf = haveProgram("qpdf");
  using Decode = std::string (*)(const SbDrawing&);
  const Decode width = [](const SbDrawing& d) { return SbSteganography::decodeWidth(d, 2.0, 0.1); };
  const std::tuple<int, int, bool, Decode> cases[] = {
      // mode, file type, compressed, reader
      {SoLineOutput::STEGANO_WIDTH, SoLineOutput::PDF_OUTPUT, false, width},
      {SoLineOutput::STEGANO_WIDTH, SoLineOutput::PDF_OUTPUT, true, width},
      {SoLineOutput::STEGANO_RATIO, SoLineOutput::PDF_OUTPUT, false, SbSteganography::decodeRatio},
      {SoLineOutput::STEGANO_RATIO, SoLineOutput::TEXT_OUTPUT, false, SbSteganography::decodeRatio},
      {SoLineOutput::STEGANO_ANGLE, SoLineOutput::PDF_OUTPUT, true, SbSteganography::decodeAngle},
      {SoLineOutput::STEGANO_ANGLE, SoLineOutput::TEXT_OUTPUT, false, SbSteganography::decodeAngle},
      {SoLineOutput::STEGANO_LENGTH, SoLineOutput::PDF_OUTPUT, false, SbSteganography::decodeLength},
      {SoLineOutput::STEGANO_LENGTH, SoLineOutput::TEXT_OUTPUT, false, SbSteganography::decodeLength},
      {SoLineOutput::STEGANO_COLOR, SoLineOutput::PDF_OUTPUT, false, SbSteganography::decodeColor},
  };
  int n = 0;
  for (const std::string code : {"Linfold", ""})
    for (const auto& [mode, type, compress, decode] : cases) {
      const bool pdf = type == SoLineOutput::PDF_OUTPUT;
      SCOPED_TRACE("\"" + code + "\" in mode " + std::to_string(mode) + (pdf ? " pdf" : " text") +
                   (compress ? " compressed" : ""));
      const std::string path = dir.file(std::to_string(n++) + (pdf ? ".pdf" : ".txt"));
      OutputScene scene(zigzags(120, 6));
      scene.output->steganoMode = mode;
      scene.output->codeString = code.c_str();
      scene.output->codeLength = int32_t(code.size());
      scene.output->compression = compress;
      const std::string console = scene.write(type, path);
      ASSERT_FALSE(scene.output->writeFailed()) << console;
      EXPECT_EQ(console.rfind("Steganography Code: \n", 0), 0u) << console;
      const SbDrawing drawing = readBack(type, path);
      ASSERT_FALSE(drawing.empty());
      std::string decoded = decode(drawing);
      if (mode == SoLineOutput::STEGANO_RATIO && !code.empty()) {
        // The code repeats for as long as there are segments.
        ASSERT_GE(decoded.size(), 3 * code.size());
        EXPECT_EQ(decoded.substr(0, 3 * code.size()), code + code + code);
        decoded = decoded.substr(0, code.size());
      }
      EXPECT_EQ(decoded, code);
      EXPECT_TRUE(!pdf || !qpdf || qpdfAccepts(path));
    }
  if (!qpdf) std::printf("qpdf is not installed: the PDF files were not checked by it\n");
}

// Without a code the lines are kept and nothing is said; empty names write output.pdf and outFile.txt, once per
// request; a text file says it holds no colour code.
TEST(LineOutputRoundTrip, UncodedDrawingKeepsItsLinesAndReportsNothing) {
  TempDir dir;
  WorkingDirectory here(dir.path);
  OutputScene scene(zigzags(5, 4));
  EXPECT_EQ(scene.write(SoLineOutput::PDF_OUTPUT), "");
  const SbDrawing pdf = readBack(SoLineOutput::PDF_OUTPUT, dir.file("output.pdf"));
  scene.output->steganoMode = SoLineOutput::STEGANO_COLOR;
  EXPECT_NE(scene.write(SoLineOutput::TEXT_OUTPUT).find("a text file holds no line widths or colours"),
            std::string::npos);
  EXPECT_FALSE(scene.output->writeFailed());
  const SbDrawing text = readBack(SoLineOutput::TEXT_OUTPUT, dir.file("outFile.txt"));
  ASSERT_TRUE(pdf.size() == 5 && text.size() == 5);
  for (size_t i = 0; i < pdf.size(); ++i) {
    ASSERT_TRUE(pdf[i].points.size() == 4 && text[i].points.size() == 4) << i;
    EXPECT_EQ(pdf[i].width, 2.0);
    for (size_t j = 0; j < 4; ++j) EXPECT_NEAR(pdf[i].points[j][0], text[i].points[j][0], 2e-5);
  }
  const std::string file = readFile(dir.file("output.pdf"));
  for (const char* part :
       {"0 j\n1 J\n0.0000 0.0000 0.0000 RG\n2.0000 w\n", "/Title (Vector graphic exported from Quorvane)",
        "/Keywords (Quorvane)", "/Creator (Quorvane Library \\("})
    EXPECT_NE(file.find(part), std::string::npos) << part;
  fs::remove(dir.path / "outFile.txt");
  scene.traverse();  // no new request
  EXPECT_FALSE(fs::exists(dir.path / "outFile.txt"));
}

// Without a camera points land on a 1000 x 1000 viewport; the drawing is scaled to 8.09 inches across its wider side,
// with margins of 0.055 inches. A point or nothing maps without dividing by zero; a line with a non-finite point is
// left out and does not poison the frame. Text numbers use a point whatever the global locale.
TEST(LineOutputFrame, TheDrawingSpansTheFrameLessTheMargins) {
  struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  SbLineSet broken =
      linesFrom({{SbVec2f(-0.9f, 0.0f), SbVec2f(0.0f, 0.0f)}, {SbVec2f(-0.5f, 0.0f), SbVec2f(0.5f, 0.5f)}});
  broken.points[1] = SbVec3f(NAN, 0.0f, 0.0f);
  const std::tuple<const char*, SbLineSet, const char*> cases[] = {
      // name, lines -> the text file
      {"wide", linesFrom({{SbVec2f(-0.8f, -0.2f), SbVec2f(0.6f, 0.1f)}, {SbVec2f(0.0f, 0.0f), SbVec2f(0.3f, -0.1f)}}),
       "0.0546667 0.0546667\n8.14533 1.78838\n\n4.6779 1.21048\n6.41162 0.632571\n\n"},
      {"point", linesFrom({{SbVec2f(0.3f, 0.3f), SbVec2f(0.3f, 0.3f)}}),
       "0.0546667 0.0546667\n0.0546667 0.0546667\n\n"},
      {"broken", broken, "0.0546667 0.0546667\n8.14533 4.1\n\n"},
      {"flat", linesFrom({{SbVec2f(-0.5f, 0.0f), SbVec2f(0.5f, 0.25f)}}), "0.0546667 0.0546667\n8.14533 2.07733\n\n"},
  };
  TempDir dir;
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
  for (const auto& [name, lines, text] : cases) {
    SCOPED_TRACE(name);
    OutputScene scene(lines);
    scene.write(SoLineOutput::TEXT_OUTPUT, dir.file("lines.txt"));
    EXPECT_EQ(readFile(dir.file("lines.txt")), text);
  }
  std::locale::global(previous);
  // The page is the drawing and its margins, in points.
  OutputScene wide(std::get<1>(cases[0]));
  wide.write(SoLineOutput::PDF_OUTPUT, dir.file("wide.pdf"));
  const int height = int((8.0906667 * 0.3 / 1.4 + 2 * 0.0546667) * 72 + 0.5);
  EXPECT_NE(readFile(dir.file("wide.pdf")).find("/MediaBox [0 0 590 " + std::to_string(height) + "]"),
            std::string::npos);
  OutputScene nothing{SbLineSet()};
  nothing.write(SoLineOutput::PDF_OUTPUT, dir.file("empty.pdf"));
  EXPECT_FALSE(nothing.output->writeFailed());
  SbDrawing drawing;
  EXPECT_TRUE(SbLineDrawing::readPdf(dir.file("empty.pdf"), drawing));
  EXPECT_TRUE(drawing.empty());
  EXPECT_TRUE(!haveProgram("qpdf") || qpdfAccepts(dir.file("empty.pdf")));
}

TEST(CodeFraming, DecodingFindsTheCodeAfterZeroBytesInsideIt) {
  // A code whose last byte ends in zero bits still frames: the fill is the 16 zeros right before the closing 1.
  const std::string code = std::string("\x80\x01", 2) + "z";
  for (const std::string& c : {code, std::string()}) {
    SbCodeBits bits(c);
    std::vector<int> stream;
    for (int i = 0; i < 100; ++i) stream.push_back(bits.next());
    EXPECT_EQ(SbSteganography::decodeFramed(stream), c);
  }
}
