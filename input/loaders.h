#ifndef TORVA_INPUT_LOADERS_H
#define TORVA_INPUT_LOADERS_H

#include <string>
#include <vector>

#include "input/mzdata_handler.h"
#include "input/mzml_handler.h"
#include "input/mzxml_handler.h"
#include "records/records.h"
#include "records/srm_chromatogram.h"

// A spectrum loader: a quick format test (`open`), then the full parse of the
// file into the caller's spectrum list (`get`). Files are read through gzip
// decompression when they hold gzip data.
class loadmspectrum {
 public:
  virtual ~loadmspectrum();
  virtual bool get(scan& spectrum);
  virtual bool open(std::string& path);
  virtual bool open_force(std::string& path);

  bool opened = false;
  std::string path;
};

class loadmzxml : public loadmspectrum {
 public:
  loadmzxml(std::vector<scan>& spectra, Header& header);
  ~loadmzxml() override;
  using loadmspectrum::get;
  virtual bool get();
  bool open(std::string& path) override;
  bool open_force(std::string& path) override;

  SAXMzxmlHandler handler;
  std::string line;
};

class loadmzdata : public loadmspectrum {
 public:
  loadmzdata(std::vector<scan>& spectra, Header& header);
  ~loadmzdata() override;
  using loadmspectrum::get;
  virtual bool get();
  bool open(std::string& path) override;
  bool open_force(std::string& path) override;

  SAXMzdataHandler handler;
  std::string line;
};

// mzML: the format test looks for an `mzML` or `indexedmzML` root element;
// SRM chromatograms go to their own list.
class loadmzml : public loadmspectrum {
 public:
  loadmzml(std::vector<scan>& spectra, Header& header, std::vector<SrmChromatogram>& chromatograms);
  ~loadmzml() override;
  using loadmspectrum::get;
  virtual bool get();
  bool open(std::string& path) override;
  bool open_force(std::string& path) override;

  SAXMzmlHandler handler;
};

#endif
