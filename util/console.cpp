#include "util/console.h"

#include <atomic>
#include <cstdio>

namespace console {

namespace {

class StandardStreams final : public Sink {
 public:
  void out(const std::string& text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
  void flush() override { std::fflush(stdout); }
  void err(const std::string& text) override {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  }
};

StandardStreams standardStreams;
std::atomic<Sink*> current{&standardStreams};

}  // namespace

Sink* setSink(Sink* sink) { return current.exchange(sink != nullptr ? sink : &standardStreams); }

void out(const std::string& text) { current.load()->out(text); }

void outFlush(const std::string& text) {
  Sink* sink = current.load();
  sink->out(text);
  sink->flush();
}

void flush() { current.load()->flush(); }

void err(const std::string& text) { current.load()->err(text); }

std::string general(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

std::string fixed(double value, int digits) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
  return buffer;
}

}  // namespace console
