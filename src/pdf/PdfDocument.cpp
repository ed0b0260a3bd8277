// The PDF document: pages, catalogue, outlines, page tree, information
// dictionary, cross-reference table and trailer, assembled in memory and saved
// to a file (PDF Reference, chapter 3: file structure).

#include "PdfDocument.h"

#include <zlib.h>

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

#include "PdfInternal.h"
#include "core/SbOutputFile.h"

namespace {

const char* const kLibraryName = "ClibPDF";
const char* const kLibraryTitle = "ClibPDF Library";
const char* const kLibraryVersion = "2.02-r1-2";
const char* const kPlatform = "Windows 9x/NT";
const char* const kAuthor = "Windows NT/95/98 User";
const std::size_t kMaxAuthor = 60;
const char* const kDefaultBox = "0 0 595 842";

// The 23 bytes of the binary marker line after the header. The line starts
// with '%' so that it is a comment, as PDF requires of anything outside objects.
const unsigned char kMarker[23] = {0x7a, 0x47, 0x5f, 0xd5, 0xf9, 0xdf, 0x4a, 0xa4, 0x18, 0xb7, 0xb0, 0x23,
                                   0x73, 0x36, 0x1f, 0xa6, 0x64, 0x52, 0x20, 0x4c, 0x84, 0x73, 0x1f};

int zlibCompress(unsigned char* dest, unsigned long* destLen, const unsigned char* source, unsigned long sourceLen) {
  uLongf len = *destLen;
  const int rc = compress(dest, &len, source, sourceLen);
  *destLen = len;
  return rc;
}

void appendf(std::string& out, const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Formatted append for integers and strings only (no floating point, so the
// locale never enters).
void appendf(std::string& out, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof buf) {
    out.append(buf, static_cast<std::size_t>(n));
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  va_start(ap, fmt);
  std::vsnprintf(&big[0], big.size(), fmt, ap);
  va_end(ap);
  out.append(big.data(), static_cast<std::size_t>(n));
}

// Parses four numbers separated by white space; false for anything else or an
// empty box.
bool parseBox(const char* text, double box[4]) {
  if (!text) return false;
  const char* p = text;
  const char* end = text + std::strlen(text);
  for (int i = 0; i < 4; ++i) {
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    if (p < end && *p == '+') ++p;
    const std::from_chars_result r = std::from_chars(p, end, box[i]);
    if (r.ec != std::errc() || !std::isfinite(box[i])) return false;
    p = r.ptr;
    if (i < 3 && (p >= end || (*p != ' ' && *p != '\t'))) return false;
  }
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  return p == end && box[2] > box[0] && box[3] > box[1];
}

std::string checkedBox(PdfDocument* doc, const char* text, const char* fallback, double box[4]) {
  if (parseBox(text, box)) return text;
  cpdf_Error(doc, PDF_WARNING, kLibraryName, "Invalid page box \"%s\", using \"%s\"", text ? text : "(null)", fallback);
  parseBox(fallback, box);
  return fallback;
}

void setString(PdfDocument* doc, std::string PdfDocument::*member, const char* text) {
  if (!doc) {
    cpdf_Error(nullptr, PDF_ERROR, kLibraryName, "No document");
    return;
  }
  try {
    doc->*member = text ? text : "";
    doc->finalized = false;
  } catch (const std::bad_alloc&) {
    pdf_detail::reportMemoryFailure(doc);
  }
}

const char* pageModeName(PdfPageMode m) {
  switch (m) {
    case PDF_USE_NONE: return "UseNone";
    case PDF_USE_OUTLINES: return "UseOutlines";
    case PDF_USE_THUMBS: return "UseThumbs";
    case PDF_FULL_SCREEN: return "FullScreen";
    default: return nullptr;
  }
}

const char* pageLayoutName(PdfPageLayout l) {
  switch (l) {
    case PDF_SINGLE_PAGE: return "SinglePage";
    case PDF_ONE_COLUMN: return "OneColumn";
    case PDF_TWO_COLUMN_LEFT: return "TwoColumnLeft";
    case PDF_TWO_COLUMN_RIGHT: return "TwoColumnRight";
    default: return nullptr;
  }
}

void writeContentStream(PdfDocument* doc, std::string& out, const PdfPage& page) {
  const std::string& raw = page.content;
  if (doc->compress) {
    unsigned long len = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(len, '\0');
    const int rc = pdf_detail::compressFunction(reinterpret_cast<unsigned char*>(&packed[0]), &len,
                                                reinterpret_cast<const unsigned char*>(raw.data()),
                                                static_cast<unsigned long>(raw.size()));
    if (rc == Z_OK) {
      appendf(out, "<<\n/Length %ld\n/Filter [%s]\n>>\nstream\n", static_cast<long>(len), doc->filterName.c_str());
      out.append(packed.data(), len);
      out += "\nendstream\n";
      return;
    }
    // Never claim a filter for bytes that are not filtered: write them plain.
    cpdf_Error(doc, PDF_ERROR, "ZLIB compress", "code=%d", rc);
  }
  appendf(out, "<</Length %ld>>\nstream\n", static_cast<long>(raw.size()));
  out += raw;
  out += "\nendstream\n";
}

}  // namespace

namespace pdf_detail {

CompressFunction compressFunction = zlibCompress;

void reportMemoryFailure(PdfDocument* doc) {
  cpdf_Error(doc, PDF_ERROR, "ClibPDF malloc", "Memory allocation failure");
}

void appendPdfString(std::string& out, const std::string& text) {
  for (unsigned char ch : text) {
    if (ch == '\\' || ch == '(' || ch == ')') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20 || ch == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
}

}  // namespace pdf_detail

void cpdf_Error(PdfDocument*, int level, const char* module, const char* fmt, ...) {
  char msg[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(msg, sizeof msg, fmt, ap);
  va_end(ap);
  std::printf("%s %s: %s\n", module ? module : kLibraryName, level >= PDF_ERROR ? "error" : "warning", msg);
  std::fflush(stdout);
}

PdfDocument* cpdf_open(int, const PdfDocLimits* limits) {
  PdfDocument* doc = new (std::nothrow) PdfDocument;
  if (!doc) {
    pdf_detail::reportMemoryFailure(nullptr);
    return nullptr;
  }
  if (limits) {
    doc->limits = *limits;
    PdfDocLimits defaults;
    if (doc->limits.nMaxPages <= 0) doc->limits.nMaxPages = defaults.nMaxPages;
    if (doc->limits.nMaxFonts <= 0) doc->limits.nMaxFonts = defaults.nMaxFonts;
    if (doc->limits.nMaxImages <= 0) doc->limits.nMaxImages = defaults.nMaxImages;
    if (doc->limits.nMaxAnnots <= 0) doc->limits.nMaxAnnots = defaults.nMaxAnnots;
  }
  return doc;
}

void cpdf_enableCompression(PdfDocument* doc, int flag) {
  if (!doc) return;
  doc->finalized = false;
  if (flag == 0) {
    doc->compress = false;
    return;
  }
  if (doc->filterName.find("FlateDecode") == std::string::npos) return;
  doc->compress = true;
  if (doc->versionMajor == 1 && doc->versionMinor < 2) doc->versionMinor = 2;
}

void cpdf_init(PdfDocument* doc) {
  if (!doc) {
    cpdf_Error(nullptr, PDF_ERROR, kLibraryName, "No document");
    return;
  }
  if (doc->state != PDF_STATE_OPENED) cpdf_Error(doc, PDF_WARNING, kLibraryName, "cpdf_open() has not been called.");
  doc->author = std::string(kAuthor).substr(0, kMaxAuthor);
  doc->pages.clear();
  doc->currentPage = 0;
  doc->finalized = false;
  doc->state = PDF_STATE_INITIALIZED;
}

int cpdf_pageInit(PdfDocument* doc, int page, int rotation, const char* mediaBox, const char* cropBox) {
  if (!doc) {
    cpdf_Error(nullptr, PDF_ERROR, kLibraryName, "No document");
    return -1;
  }
  if (page < 1) {
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "Page number must be 1 or greater");
    return -1;
  }
  if (page > doc->limits.nMaxPages) {
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "Too many pages: %d. Increase limit by cpdf_open()", page);
    return -1;
  }
  if (page <= static_cast<int>(doc->pages.size()) && doc->pages[page - 1].initialized) {
    cpdf_Error(doc, PDF_WARNING, kLibraryName, "Page %d is already initialized", page);
    doc->currentPage = page;
    return 0;
  }
  try {
    if (static_cast<int>(doc->pages.size()) < page) doc->pages.resize(page);
    PdfPage& p = doc->pages[page - 1];
    p = PdfPage();
    if (rotation != PDF_PORTRAIT && rotation != PDF_LANDSCAPE)
      cpdf_Error(doc, PDF_WARNING, kLibraryName, "Unknown page rotation %d, using portrait", rotation);
    p.rotation = rotation == PDF_LANDSCAPE ? 90 : 0;
    double media[4], crop[4];
    p.mediaBox = checkedBox(doc, mediaBox, kDefaultBox, media);
    p.cropBox = cropBox ? checkedBox(doc, cropBox, p.mediaBox.c_str(), crop) : p.mediaBox;
    // The default plot domain: inches from the lower left corner of the media box.
    p.domain.valid = true;
    p.domain.xorig = media[0];
    p.domain.yorig = media[1];
    p.domain.xmin = 0.0;
    p.domain.ymin = 0.0;
    p.domain.xscale = 72.0;
    p.domain.yscale = 72.0;
    p.initialized = true;
  } catch (const std::bad_alloc&) {
    pdf_detail::reportMemoryFailure(doc);
    return -1;
  }
  doc->currentPage = page;
  doc->finalized = false;
  return 0;
}

int cpdf_setCurrentPage(PdfDocument* doc, int page) {
  if (!doc) return -1;
  if (page < 1 || page > static_cast<int>(doc->pages.size()) || !doc->pages[page - 1].initialized) {
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "Page %d has not been initialized", page);
    return -1;
  }
  doc->currentPage = page;
  return 0;
}

void cpdf_setCreator(PdfDocument* doc, const char* text) { setString(doc, &PdfDocument::creator, text); }
void cpdf_setTitle(PdfDocument* doc, const char* text) { setString(doc, &PdfDocument::title, text); }
void cpdf_setSubject(PdfDocument* doc, const char* text) { setString(doc, &PdfDocument::subject, text); }
void cpdf_setKeywords(PdfDocument* doc, const char* text) { setString(doc, &PdfDocument::keywords, text); }

void cpdf_setPageMode(PdfDocument* doc, PdfPageMode mode) {
  if (!doc) return;
  doc->pageMode = pageModeName(mode) ? mode : PDF_PAGEMODE_NONE;
  doc->finalized = false;
}

void cpdf_setPageLayout(PdfDocument* doc, PdfPageLayout layout) {
  if (!doc) return;
  doc->pageLayout = pageLayoutName(layout) ? layout : PDF_LAYOUT_NONE;
  doc->finalized = false;
}

void cpdf_setViewerPreferences(PdfDocument* doc, unsigned flags) {
  if (!doc) return;
  doc->viewerPreferences = flags & 31u;
  doc->finalized = false;
}

void cpdf_finalizeAll(PdfDocument* doc) {
  if (!doc) {
    cpdf_Error(nullptr, PDF_ERROR, kLibraryName, "No document");
    return;
  }
  try {
    // Object numbers: 1 Catalog, 2 Outlines, 3 Pages, 4 ProcSet, then a Page
    // and its content stream per initialised page, then Info.
    const int catalogObj = 1, outlinesObj = 2, pagesObj = 3, procSetObj = 4;
    int next = 5;
    int pageCount = 0;
    for (PdfPage& p : doc->pages) {
      if (!p.initialized) continue;
      p.objectNumber = next++;
      p.contentNumber = next++;
      p.parentNumber = pagesObj;
      ++pageCount;
    }
    const int infoObj = next;
    const int objectCount = infoObj;
    doc->objectOffsets.assign(static_cast<std::size_t>(objectCount) + 1, 0);

    std::string out;
    out.reserve(1024 + doc->pages.size() * 512);
    appendf(out, "%%PDF-%d.%d\n", doc->versionMajor, doc->versionMinor);
    out += '%';
    out.append(reinterpret_cast<const char*>(kMarker), sizeof kMarker);
    out += '\n';

    auto beginObject = [&](int number) {
      doc->objectOffsets[number] = static_cast<long>(out.size());
      appendf(out, "%d 0 obj\n", number);
    };

    beginObject(catalogObj);
    out += "<<\n/Type /Catalog\n";
    appendf(out, "/Pages %d 0 R\n", pagesObj);
    appendf(out, "/Outlines %d 0 R\n", outlinesObj);
    if (const char* mode = pageModeName(doc->pageMode)) appendf(out, "/PageMode /%s\n", mode);
    if (const char* layout = pageLayoutName(doc->pageLayout)) appendf(out, "/PageLayout /%s\n", layout);
    if (doc->viewerPreferences) {
      out += "/ViewerPreferences <<\n";
      if (doc->viewerPreferences & PDF_HIDE_TOOLBAR) out += "/HideToolbar true\n";
      if (doc->viewerPreferences & PDF_HIDE_MENUBAR) out += "/HideMenubar true\n";
      if (doc->viewerPreferences & PDF_HIDE_WINDOW_UI) out += "/HideWindowUI true\n";
      if (doc->viewerPreferences & PDF_FIT_WINDOW) out += "/FitWindow true\n";
      if (doc->viewerPreferences & PDF_CENTER_WINDOW) out += "/CenterWindow true\n";
      out += ">>\n";
    }
    out += ">>\nendobj\n";

    beginObject(outlinesObj);
    out += "<<\n/Type /Outlines\n";
    appendf(out, "/Count %d\n", 0);
    out += ">>\nendobj\n";

    beginObject(pagesObj);
    out += "<<\n/Type /Pages\n";
    appendf(out, "/Count %d\n", pageCount);
    out += "/Kids [ ";
    for (const PdfPage& p : doc->pages)
      if (p.initialized) appendf(out, "%d 0 R ", p.objectNumber);
    out += "]\n>>\nendobj\n";

    beginObject(procSetObj);
    out += "[/PDF /Text]\nendobj\n";

    for (const PdfPage& p : doc->pages) {
      if (!p.initialized) continue;
      beginObject(p.objectNumber);
      out += "<<\n/Type /Page\n";
      appendf(out, "/Parent %d 0 R\n", p.parentNumber);
      out += "/Resources <<\n";
      appendf(out, "/ProcSet %d 0 R >>\n", procSetObj);
      appendf(out, "/MediaBox [%s]\n", p.mediaBox.c_str());
      appendf(out, "/CropBox [%s]\n", p.cropBox.c_str());
      appendf(out, "/Rotate %d\n", p.rotation);
      appendf(out, "/Contents %d 0 R\n", p.contentNumber);
      out += ">>\nendobj\n";

      beginObject(p.contentNumber);
      writeContentStream(doc, out, p);
      out += "endobj\n";
    }

    beginObject(infoObj);
    out += "<<\n/Creator (";
    pdf_detail::appendPdfString(out, doc->creator);
    out += ")\n";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    appendf(out, "/CreationDate (D:%04d%02d%02d%02d%02d%02d)\n", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour, local.tm_min, local.tm_sec);
    appendf(out, "/Producer ([%s %s] %s)\n", kLibraryTitle, kLibraryVersion, kPlatform);
    out += "/Author (User: ";
    pdf_detail::appendPdfString(out, doc->author);
    out += ")\n/Title (";
    pdf_detail::appendPdfString(out, doc->title);
    out += ")\n/Subject (";
    pdf_detail::appendPdfString(out, doc->subject);
    out += ")\n/Keywords (";
    pdf_detail::appendPdfString(out, doc->keywords);
    out += ")\n>>\nendobj\n";

    const long xrefOffset = static_cast<long>(out.size());
    out += "xref\n";
    appendf(out, "0 %d\n", objectCount + 1);
    out += "0000000000 65535 f \n";
    for (int i = 1; i <= objectCount; ++i) appendf(out, "%010ld 00000 n \n", doc->objectOffsets[i]);
    out += "trailer\n<<\n";
    appendf(out, "/Size %d\n", objectCount + 1);
    appendf(out, "/Root %d 0 R\n", catalogObj);
    appendf(out, "/Info %d 0 R\n", infoObj);
    out += ">>\nstartxref\n";
    appendf(out, "%ld\n", xrefOffset);
    out += "%%EOF\n";

    doc->stream.swap(out);
    doc->finalized = true;
  } catch (const std::bad_alloc&) {
    pdf_detail::reportMemoryFailure(doc);
  }
}

const char* cpdf_getBufferForPDF(PdfDocument* doc, long* length) {
  if (length) *length = 0;
  if (!doc) return nullptr;
  if (!doc->finalized) cpdf_finalizeAll(doc);
  if (!doc->finalized) return nullptr;
  if (length) *length = static_cast<long>(doc->stream.size());
  return doc->stream.data();
}

namespace {

bool savePdf(PdfDocument* doc, const char* path, std::string& why) {
  if (!doc) {
    why = "no document";
    cpdf_Error(nullptr, PDF_ERROR, kLibraryName, "No document");
    return false;
  }
  if (!path || !*path) {
    why = "no file name";
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "No file name given");
    return false;
  }
  long length = 0;
  const char* data = cpdf_getBufferForPDF(doc, &length);
  if (!data) {
    why = "the document is incomplete";
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "Cannot write %s: the document is incomplete", path);
    return false;
  }
  if (!SbOutputFile::write(path, data, static_cast<std::size_t>(length), why)) {
    cpdf_Error(doc, PDF_ERROR, kLibraryName, "Cannot write %s: %s", path, why.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool cpdf_savePDFmemoryStreamToFile(PdfDocument* doc, const char* path, std::string* reason) {
  std::string why;
  const bool saved = savePdf(doc, path, why);
  if (reason) *reason = why;
  return saved;
}

void cpdf_close(PdfDocument* doc) { delete doc; }
