#ifndef TORVA_INPUT_SAX_HANDLER_H
#define TORVA_INPUT_SAX_HANDLER_H

#include <expat.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/quick_markup.h"

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
  // The jobs run on the second thread and are the slower side: the parser
  // may take on some of their work.
  bool jobsBehind() const;
  // Name of the element whose text (base64 arrays) the reader takes straight
  // from the file rather than through expat; empty for none. The text reaches
  // characters() exactly as expat would give it (in other pieces).
  std::string bulkTextElement;
  // Bytes of such text handed to characters() past expat during parse().
  std::uint64_t bulkTextBytes = 0;
  // Times markup was handed to expat during parse(); a token longer than any
  // read (an attribute of megabytes) must not multiply them, as expat scans
  // an unfinished token again on every call.
  std::uint64_t markupReads = 0;
  // Set by a reader whose markup may be read past expat where it is plainly
  // written: start and end tags inside the root element, with attribute
  // values of printable ASCII in quotes without "&" or "<" and no repeated
  // name, and text of printable ASCII and white space without "&" or "]", in
  // a document without a document type declaration. startElement(),
  // endElement() and characters() get exactly what expat would give (text
  // perhaps in other pieces); anything else goes to expat, which is first
  // told of the elements open past it, so that it reads on, or reports an
  // error, as if it had read everything. Most of a spectrum file's markup
  // is such tags.
  bool quickMarkup = false;
  // Tags read past expat during parse().
  std::uint64_t quickTags = 0;

  std::string inputFile;
  // Set by parse() when the file could not be opened or was not well formed.
  bool parseFailed = false;

 private:
  // expat's callbacks, which reach the members below.
  struct ExpatHooks;
  friend struct ExpatHooks;

  // The start of an element, and the document's declared encoding (null
  // when it declares none), as expat reports them.
  void noteStartTag(const char* name);
  void noteEncoding(const char* encoding);
  // Where expat's latest event ended, and how deep in elements it is.
  void noteEvent(int depthChange = 0);
  // Runs the jobs still waiting and stops the job thread; its exception, if a
  // job threw, becomes the pending one (it happened first).
  void finishJobs();
  // Hands data[0 .. size) to expat and the handler; returns how much of it
  // must wait for more data (a tag or line end cut off at the end), or
  // kStopped when parsing ended. `last` marks the end of the document.
  static constexpr std::size_t kStopped = static_cast<std::size_t>(-1);
  std::size_t feed(const char* data, std::size_t size, bool last);
  bool parseMarkup(const char* data, std::size_t size);
  // Markup data[from .. to) to expat, but for what is plainly written in it
  // (see quickMarkup); returns where it stopped: `to`, or the start of a tag
  // cut off by the end of the data that waits for more (never when `last`;
  // only one that expat would wait on too), or kStopped.
  std::size_t feedMarkup(const char* data, std::size_t from, std::size_t to, bool last);
  // Hands the tag the tokenizer read to the reader as expat would; false when
  // the parse must stop (a job failed or the reader threw).
  bool deliverStart(bool empty);
  bool deliverEnd();
  // Text data[from .. to) to the reader past expat when it may be (`taken`);
  // false when the parse must stop.
  bool takePlainText(const char* data, std::size_t from, std::size_t to, bool& taken);
  bool quickReady() const;
  // Tells expat of the elements open past it (see quickMarkup).
  bool syncExpat();
  // data[0 .. size) to expat, after syncExpat().
  bool toExpat(const char* data, std::size_t size);
  // Hands text to the reader as expat would; false when the parse must stop.
  bool deliverText(const char* text, std::size_t size);
  bool deliverText(const std::string& text);

  // Where expat and the reading past it stand, kept in step by feed().
  struct ReadState {
    std::uint64_t eventsDelivered = 0;    // events delivered so far (spots a token that spans chunks)
    std::uint64_t fedBytes = 0;           // bytes given to expat so far
    std::uint64_t bulkTagEnd = 0;         // the last bulk text start tag's end, counted in bytes fed to expat
    std::uint64_t bulkTagEvent = 0;       // and the event count after it
    std::uint64_t skippedLineBreaks = 0;  // in the text expat did not see
    bool bulkTextAllowed = true;          // an encoding whose bytes are ASCII's
    bool inBulkText = false;
    std::uint64_t lastEventEnd = 0;  // where expat's latest event ended
    long depth = 0;                  // elements open in expat
    bool quickAllowed = true;        // no document type declaration seen
    bool inCdata = false;            // expat is in a CDATA section
    bool replaying = false;          // expat is being told of the elements open past it: nothing to report
  };

  XML_Parser parser_;
  // An exception thrown by an event operation stops the parser; parse() then
  // rethrows it, so that it never travels through expat's own frames.
  std::exception_ptr pendingError_;
  std::unique_ptr<JobThread> jobs_;
  ReadState read_;
  QuickMarkup quick_;
};

#endif
