#ifndef TORVA_INPUT_DOCUMENT_ROOT_H
#define TORVA_INPUT_DOCUMENT_ROOT_H

#include <string>

// What the start of a spectrum file shows, read through the same decompression
// as the parse.
struct DocumentStart {
  bool opened = false;   // the file could be opened
  bool damaged = false;  // gzip data that cannot be read (or a read error)
  bool compressed = false;
  // Name of the root element after a byte-order mark, the XML declaration,
  // comments, processing instructions and a document type; empty when none
  // is found in the first mebibyte.
  std::string root;
};

DocumentStart readDocumentStart(const std::string& path);

// True for the root elements of mzML documents ("mzML", "indexedmzML").
bool isMzmlRoot(const std::string& root);

#endif
