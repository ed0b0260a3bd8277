#ifndef LINFOLD_PDFINTERNAL_H
#define LINFOLD_PDFINTERNAL_H

// Helpers shared by the document and the content operators of the PDF writer.

#include <string>

struct PdfDocument;
struct PdfPage;

namespace pdf_detail {

// Appends `value` with `decimals` digits after a point, independent of the
// locale. A non-finite value is written as 0 and reported through cpdf_Error.
// Returns false for a non-finite value.
bool appendNumber(PdfDocument* doc, std::string& out, double value, int decimals);

// Appends a PDF literal string body (without the parentheses), escaping
// backslashes, parentheses and control characters.
void appendPdfString(std::string& out, const std::string& text);

// The page that drawing calls write to, or null (reported, naming `op`).
PdfPage* currentPage(PdfDocument* doc, const char* op);

// Reports an out-of-memory condition the way the writer does.
void reportMemoryFailure(PdfDocument* doc);

// The zlib compressor; replaceable so that tests can make it fail.
using CompressFunction = int (*)(unsigned char* dest, unsigned long* destLen, const unsigned char* source,
                                 unsigned long sourceLen);
extern CompressFunction compressFunction;

}  // namespace pdf_detail

#endif
