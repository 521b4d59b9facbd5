#ifndef TORVA_INPUT_BULK_TEXT_H
#define TORVA_INPUT_BULK_TEXT_H

#include <cstddef>
#include <string>

// The arrays of a spectrum file are long runs of base64 text inside one kind
// of element. expat would look at every byte of them; the reader hands them to
// the element's text handler itself, and expat only the markup around them.
// These are the byte-level tests it uses; expat still confirms every element
// that they find.
namespace bulk_text {

// Position of the next "<name" in data[from .. to) that is followed by white
// space, ">" or "/" (or by the end of the data), or `to`.
std::size_t findOpener(const char* data, std::size_t from, std::size_t to, const std::string& name);

// Position just after the ">" that ends the tag beginning at `at` (quoted
// attribute values may hold ">"), or 0 when it does not end before `to`.
std::size_t tagEnd(const char* data, std::size_t at, std::size_t to);

// End of the text from `from` on that holds only base64 characters (letters,
// digits, "+", "/", "=") and white space (space, tab, line feed, carriage
// return): the first other byte, or `to`.
std::size_t textEnd(const char* data, std::size_t from, std::size_t to);
// The same, setting `lineEnds` when the text holds a line feed or a carriage return.
std::size_t textEnd(const char* data, std::size_t from, std::size_t to, bool& lineEnds);
// The same scan with vectors of at most `width` bytes (32, 16, or 1 for byte
// by byte); 32 only where the processor has AVX2 (hasWideScan()).
std::size_t textEndAt(int width, const char* data, std::size_t from, std::size_t to, bool& lineEnds);
bool hasWideScan();

// Line breaks in data[from .. to) as XML counts them: a line feed, a carriage
// return, or the two together.
std::size_t lineBreaks(const char* data, std::size_t from, std::size_t to);

// The text as XML hands it on: each carriage return with a line feed after it
// dropped, each other carriage return made a line feed.
std::string normalisedLineEnds(const char* data, std::size_t from, std::size_t to);

}  // namespace bulk_text

#endif
