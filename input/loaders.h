#ifndef TORVA_INPUT_LOADERS_H
#define TORVA_INPUT_LOADERS_H

#include <fstream>
#include <string>
#include <vector>

#include "input/mzdata_handler.h"
#include "input/mzxml_handler.h"
#include "records/records.h"

// A spectrum loader: a quick line-based format test (`open`), then the full
// parse of the file into the caller's spectrum list (`get`).
class loadmspectrum {
 public:
  virtual ~loadmspectrum();
  virtual bool get(scan& spectrum);
  virtual bool open(std::string& path);
  virtual bool open_force(std::string& path);

  bool opened = false;
  std::string path;
  std::ifstream stream;
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

#endif
