#ifndef TORVA_INPUT_QUICK_MARKUP_H
#define TORVA_INPUT_QUICK_MARKUP_H

#include <cstddef>
#include <string>
#include <vector>

// Reads plainly written markup past expat: start and end tags with attribute
// values of printable ASCII in quotes without "&" or "<" and no repeated name,
// and text of printable ASCII and white space without "&" or "]". Anything
// else it declines (returns 0 or false), and the caller hands it to expat.
// It keeps the tag last read and the elements opened past expat, which the
// caller must tell expat of (takeOpenTags) before it gives expat anything.
class QuickMarkup {
 public:
  // Reads a plainly written start tag at data[at ..] ending before `to`: its
  // name and attributes become tagName() and attributes(). Returns its end, or
  // 0 when it is not plainly written; `empty` tells whether it ends with "/>",
  // `lineBreaks` counts the line breaks inside it, `cut` whether the data
  // ended inside it while it was plainly written so far.
  std::size_t readStartTag(const char* data, std::size_t at, std::size_t to, bool& empty,
                           std::size_t& lineBreaks, bool& cut);
  // The same for the end tag of the innermost element open past expat; 0 for any other.
  std::size_t readEndTag(const char* data, std::size_t at, std::size_t to, std::size_t& lineBreaks) const;
  // data[at ..] ends inside an end tag written plainly so far: "</", a name, white space.
  static bool endTagCutOff(const char* data, std::size_t at, std::size_t to);
  // data[from .. to) is text that may be read past expat; then `lineBreaks`
  // counts its line breaks as XML counts them and `carriageReturn` tells
  // whether it holds a carriage return.
  static bool plainText(const char* data, std::size_t from, std::size_t to, std::size_t& lineBreaks,
                        bool& carriageReturn);

  // The start tag last read: its name, and its attributes' names and values
  // in turn, ended by a null pointer.
  const char* tagName() const { return state_.tagText.c_str(); }
  const char** attributes() { return state_.attributes.data(); }
  // The start tag last read stays open past expat.
  void openTag();
  bool anyOpen() const { return !state_.openStarts.empty(); }
  // Name of the innermost element open past expat (anyOpen() must hold).
  const char* innermost() const { return state_.open.c_str() + state_.openStarts.back(); }
  void closeInnermost();
  // The bare start tags of the elements open past expat, outermost first,
  // which are then forgotten ("" when none is open).
  std::string takeOpenTags();

 private:
  struct State {
    std::string open;                     // names of the elements open past expat, each ended by NUL
    std::vector<std::size_t> openStarts;  // where each begins in `open`, innermost last
    std::string tagText;  // the tag's name, then its attributes' names and values, each ended by NUL
    std::vector<std::size_t> offsets;     // where each attribute name and value begins in `tagText`
    std::vector<const char*> attributes;  // the same as pointers, ended by a null pointer
  };
  State state_;
};

#endif
