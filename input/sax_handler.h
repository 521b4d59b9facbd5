#ifndef TORVA_INPUT_SAX_HANDLER_H
#define TORVA_INPUT_SAX_HANDLER_H

#include <expat.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class JobThread;

// Base of the XML readers: owns one expat parser, streams one file through it
// and turns its callbacks into three virtual event operations.
class SAXHandler {
 public:
  SAXHandler();
  virtual ~SAXHandler();
  SAXHandler(const SAXHandler&) = delete;
  SAXHandler& operator=(const SAXHandler&) = delete;

  virtual void startElement(const char* name, const char** attributes);
  virtual void endElement(const char* name);
  virtual void characters(const char* text, int len);

  // Parses `inputFile` (decompressed while read when it is gzip data) in
  // 8192-byte chunks; true when the whole file was well formed. Rethrows what an
  // event operation threw.
  bool parse();
  // Value of the first attribute named `name`, or "" when absent (never null).
  const char* getAttrValue(const char* name, const char** attributes);

  // Runs `job` after every job deferred before it: at once, or, while parse()
  // runs with `decodeBesideParser` set, on a second thread while the parser
  // reads on. A job must touch only what no event operation touches (its own
  // copies, and the state that only jobs use). A job that throws stops the
  // parse: the jobs after it never run, and parse() rethrows its exception, as
  // if the event that deferred it had thrown.
  // `bytes` is about how much input the job holds (its text), which bounds
  // what may wait for the second thread.
  void defer(std::function<void()> job, std::size_t bytes = 0);
  // Set by a reader whose jobs follow the rule above.
  bool decodeBesideParser = false;
  // A deferred job has thrown during this parse.
  bool jobFailed() const;
  // Name of the element whose text (base64 arrays) the reader takes straight
  // from the file rather than through expat; empty for none. The text reaches
  // characters() exactly as expat would give it (in other pieces).
  std::string bulkTextElement;
  // Bytes of such text handed to characters() past expat during parse().
  std::uint64_t bulkTextBytes = 0;
  // Name of an element whose start tag the reader reads itself when it is
  // plainly written (inside the root element, attribute values of printable
  // ASCII in quotes without "&" or "<", no repeated name, no document type
  // declaration); empty for none. An empty element never reaches expat; of
  // any other, expat sees the bare "<name>" while its attributes come from the
  // reader. startElement() and endElement() get exactly what expat would give.
  // mzML spectra hold dozens of parameter elements each, most of the markup,
  // and an mzXML scan's start tag is most of its markup.
  std::string quickElement;
  // Such start tags read past expat during parse().
  std::uint64_t quickElements = 0;

  // An exception thrown by an event operation stops the parser; parse() then
  // rethrows it, so that it never travels through expat's own frames.
  std::exception_ptr pendingError;

  XML_Parser parser;
  std::string inputFile;
  // Set by parse() when the file could not be opened or was not well formed.
  bool parseFailed = false;
  // Events delivered so far; parse() watches it to spot a token that spans chunks.
  std::uint64_t eventsDelivered = 0;
  std::string fileName;
  std::string fileType;
  std::string instrument;
  std::string ionisation;
  std::string analyzer;
  std::string detector;

  // Called from expat's callbacks: the start of an element, and the
  // document's declared encoding (null when it declares none).
  void noteStartTag(const char* name);
  void noteEncoding(const char* encoding);
  // Where expat's latest event ended, and how deep in elements it is.
  void noteEvent(int depthChange = 0);
  void noteDoctype() { quickAllowed_ = false; }
  // The attributes of the start tag expat reports: its own, or those the
  // reader read itself for a bare start tag.
  const char** attributesFor(const char** parsed) const {
    return substituteAttributes_ != nullptr ? substituteAttributes_ : parsed;
  }
  void noteCdata(bool inside) {
    inCdata_ = inside;
    noteEvent();
  }

 private:
  // Runs the jobs still waiting and stops the job thread; its exception, if a
  // job threw, becomes the pending one (it happened first).
  void finishJobs();
  // Hands data[0 .. size) to expat and the handler; returns how much of it
  // must wait for more data (a tag or line end cut off at the end), or
  // kStopped when parsing ended. `last` marks the end of the document.
  static constexpr std::size_t kStopped = static_cast<std::size_t>(-1);
  std::size_t feed(const char* data, std::size_t size, bool last);
  bool parseMarkup(const char* data, std::size_t size);
  // Markup data[from .. to) to expat, but for the quick elements in it.
  bool feedMarkup(const char* data, std::size_t from, std::size_t to);
  // Reads a quick element's tag at data[at ..] ending before `to` into
  // quickAttributes_; its end, or 0 when it is not plainly written. `empty`
  // tells whether it ends with "/>".
  std::size_t readQuickTag(const char* data, std::size_t at, std::size_t to, bool& empty);
  // Hands text or a quick element to the reader as expat would; false when
  // the parse must stop (a job failed or the reader threw).
  bool deliverText(const char* text, std::size_t size);
  bool deliverText(const std::string& text);
  bool deliverQuickElement();
  std::unique_ptr<JobThread> jobs_;
  // The attributes startElement() gets for the bare start tag expat is given.
  const char** substituteAttributes_ = nullptr;
  std::uint64_t fedBytes_ = 0;           // bytes given to expat so far
  std::uint64_t bulkTagEnd_ = 0;         // where expat saw the last bulk text element's start tag end
  std::uint64_t bulkTagEvent_ = 0;       // and the event count after it
  std::uint64_t skippedLineBreaks_ = 0;  // in the text expat did not see
  bool bulkTextAllowed_ = true;          // an encoding whose bytes are ASCII's
  bool inBulkText_ = false;
  std::uint64_t lastEventEnd_ = 0;  // where expat's latest event ended
  long depth_ = 0;                  // elements open in expat
  bool quickAllowed_ = true;        // no document type declaration seen
  bool inCdata_ = false;            // expat is in a CDATA section
  std::string quickText_;           // a quick element's names and values, each ended by NUL
  std::vector<std::size_t> quickOffsets_;
  std::vector<const char*> quickAttributes_;
};

#endif
