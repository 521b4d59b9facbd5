#ifndef TORVA_INPUT_SPECTRA_HANDLER_H
#define TORVA_INPUT_SPECTRA_HANDLER_H

#include <cstdint>
#include <string>
#include <vector>

#include "input/sax_handler.h"
#include "records/records.h"

// The fields of the spectrum being read, which only the event operations touch
// (the parser's thread).
struct SpectraParserFields {
  std::int64_t spectrumCount = 0;
  std::string text;      // collected character data
  bool textCut = false;  // the array's text went past its limit
  bool littleEndian = true;
  bool lowPrecision = true;
  bool zlibCompressed = false;  // the current peak array is zlib-deflated
  std::int32_t num = 0;
  std::int32_t peaksCount = 0;
  std::int32_t precursorCharge = 0;
  double precursorMz = 0;
  std::string polarity;
  double rt = 0;
  std::int64_t msLevel = 0;
  double lowMz = 0;
  double highMz = 0;
  std::string scanType;
  double collisionEnergy = 0;
  double basePeakIntensity = 0;
  double totIonCurrent = 0;
  std::string filterLine;
  SpectrumRepresentation representation = SpectrumRepresentation::Unknown;
  std::int64_t id = 1;
  // The peaks the arrays handed over for the spectrum being read can hold, as
  // far as their text tells without decoding it; 0 when unknown.
  std::size_t expectedPeaks = 0;
};

// The state that only deferred jobs touch (the job thread's, while parse()
// runs one beside the parser).
struct SpectraJobFields {
  std::vector<float> mzValues;  // the decoded values of the spectrum being assembled
  std::vector<float> intensityValues;
  scan current;                // the record being assembled
  std::int64_t pushCount = 0;  // records appended since the last progress dot
  // An array was cut (its text, or its values past a declared count or
  // kMaxArrayValues); the run that read the file ends with a failure status.
  bool arraysCut = false;
};

// What the mzXML and mzData readers share: the values of the spectrum being
// read, the decoding of base64 peak arrays, and the assembly of `scan` records.
//
// The event operations fill the fields of the spectrum being read (SpectraParserFields);
// decoding and assembly run as deferred jobs (see SAXHandler::defer) on copies
// of what they need, into `jobSide` and the spectrum list.
class SAXSpectraHandler : public SAXHandler, public SpectraParserFields {
 public:
  SAXSpectraHandler(std::vector<scan>& spectra, Header& header);

  // One peak array's text and how it is stored, as the parser saw it.
  struct ArrayText {
    std::string text;
    std::int32_t peaksCount = 0;
    bool lowPrecision = true;
    bool littleEndian = true;
    bool zlibCompressed = false;
    bool textCut = false;  // the text went past what peaksCount can use
    std::int32_t scanNumber = 0;
  };
  // Decodes `text` (taking it) into the decoded values, as a deferred job.
  void pushPeaks(bool wantMz, bool wantIntensity);
  // Bounds the text collected for the array about to be read to `limit` base64
  // characters (white space not counted); what comes after is dropped and
  // `textCut` set (see input/array_limits.h).
  void limitText(std::size_t limit);
  // Adds array text, as far as the limit allows.
  void appendText(const char* chars, int len);
  // The collected text, handed over whole; `text` starts again empty with room
  // for as much, since the next array is likely as long.
  std::string takeText();
  // A record of the spectrum being read: every field but its peaks and description.
  scan spectrumRecord() const;
  // Appends the record with the decoded values as a deferred job.
  void pushSpectrum();
  // Gives the record room for the peaks its arrays can hold (expectedPeaks),
  // when the jobs are behind: the new memory is then first touched on the
  // parser's side rather than by the job. The job sizes the peaks exactly.
  void presizePeaks(scan& record) const;
  // That bound for one array of `count` declared values of `bytesPerValue`,
  // stored plainly in base64 text of `textBytes` characters.
  static std::size_t plainArrayBound(std::size_t count, std::size_t bytesPerValue, std::size_t textBytes);

  // Job side.
  void decode32(const ArrayText& array, bool wantMz, bool wantIntensity);
  void decode64(const ArrayText& array, bool wantMz, bool wantIntensity);
  // Names a cut array on standard error (file and scan) and notes it in arraysCut.
  void noteCut(std::int32_t scanNumber, const std::string& what);
  // Tells of the values of an array that were left out: past kMaxArrayValues,
  // past the text's limit, or past the declared count (`available` bytes
  // found where `required` were declared).
  void noteLeftOut(const ArrayText& array, std::size_t required, std::size_t available);
  void appendSpectrum(scan record);
  void setDescription();
  static std::uint32_t dtohl(std::uint32_t value, bool hostOrder);
  static std::uint64_t dtohl(std::uint64_t value, bool hostOrder);

  SpectraJobFields jobSide;
  // The attribute that declares an array's count, as messages name it (set
  // once, before parsing).
  const char* countName = "peaksCount";
  std::vector<scan>& spectra;  // appended to by jobs
  Header& header;              // written by the mzData reader's event operations

 private:
  std::size_t textLimit_ = static_cast<std::size_t>(-1);
  std::size_t compacted_ = 0;  // text before this has no white space
  std::string baseNameOf_;     // the path whose base name is held
  std::string baseName_;
};

#endif
