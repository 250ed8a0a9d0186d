// lomar-sha256-files ENGINE FILE...: one line per file, "HEX NAME", digested whole with the chosen engine
// of the project's SHA-256 (portable, processor or fastest). The tests compare it with Python's hashlib, on
// Linux and under Wine. "lomar-sha256-files engines" lists the engines this processor can run.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "core/sha256.h"
#include "core/text.h"

int main(int argc, char** argv) {
  using lomar::Sha256Engine;
  if (argc == 2 && std::strcmp(argv[1], "engines") == 0) {
    std::printf("portable\nfastest\n%s", lomar::Sha256ProcessorEngineAvailable() ? "processor\n" : "");
    return 0;
  }
  if (argc < 2) {
    std::fputs("usage: lomar-sha256-files portable|processor|fastest FILE...\n", stderr);
    return 2;
  }
  Sha256Engine engine;
  if (std::strcmp(argv[1], "portable") == 0) {
    engine = Sha256Engine::portable;
  } else if (std::strcmp(argv[1], "fastest") == 0) {
    engine = Sha256Engine::fastest;
  } else if (std::strcmp(argv[1], "processor") == 0 && lomar::Sha256ProcessorEngineAvailable()) {
    engine = Sha256Engine::processor;
  } else {
    std::fprintf(stderr, "lomar-sha256-files: no engine %s here\n", argv[1]);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary | std::ios::ate);
    std::vector<std::uint8_t> bytes(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
      std::fprintf(stderr, "lomar-sha256-files: cannot read %s\n", argv[i]);
      return 1;
    }
    std::printf("%s %s\n", lomar::ToUtf8(lomar::ToLowerHex(lomar::Sha256Of(bytes, engine))).c_str(), argv[i]);
  }
  return 0;
}
