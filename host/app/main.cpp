// quillbox: the two-panel host. With --headless it plays a script instead of reading the
// terminal and prints the screen at the end.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "host/core/host.h"
#include "host/headless/headless.h"
#include "host/terminal/terminal.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: quillbox [--plugins DIR] [--config DIR]\n"
               "       quillbox --headless [--size COLSxROWS] [--plugins DIR] [--config DIR] "
               "SCRIPT\n");
}

}  // namespace

int main(int argc, char** argv) {
  // A file-size limit (ulimit -f) must not kill the host in the middle of a save: the write that
  // passes it fails instead, and is reported like a full disk.
  std::signal(SIGXFSZ, SIG_IGN);
  qb::host::HostOptions options;
  options.plugin_dir = QB_PLUGIN_DIR;
  bool headless = false;
  int cols = 80, rows = 25;
  std::string script_path;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quillbox: %s needs a value\n", name);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--headless") {
      headless = true;
    } else if (a == "--plugins") {
      options.plugin_dir = value("--plugins");
    } else if (a == "--config") {
      options.config_dir = value("--config");
    } else if (a == "--size") {
      const char* v = value("--size");
      if (std::sscanf(v, "%dx%d", &cols, &rows) != 2 || cols < 20 || rows < 10 || cols > 1000 ||
          rows > 1000) {
        std::fprintf(stderr, "quillbox: --size wants COLSxROWS (at least 20x10): %s\n", v);
        return 2;
      }
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (!a.empty() && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "quillbox: unknown option %s\n", a.c_str());
      Usage();
      return 2;
    } else if (script_path.empty()) {
      script_path = a;
    } else {
      Usage();
      return 2;
    }
  }

  if (headless) {
    if (script_path.empty()) {
      Usage();
      return 2;
    }
    std::string script;
    if (script_path == "-") {
      std::stringstream ss;
      ss << std::cin.rdbuf();
      script = ss.str();
    } else {
      std::ifstream in(script_path, std::ios::binary);
      if (!in) {
        std::fprintf(stderr, "quillbox: cannot read the script %s\n", script_path.c_str());
        return 2;
      }
      std::stringstream ss;
      ss << in.rdbuf();
      script = ss.str();
    }
    std::vector<qb::host::ScriptStep> steps;
    std::string error;
    if (!qb::host::ParseScript(script, &steps, &error)) {
      std::fprintf(stderr, "quillbox: %s: %s\n", script_path.c_str(), error.c_str());
      return 3;
    }
    options.headless = true;
    qb::host::HeadlessFrontEnd fe(cols, rows, std::move(steps), std::cout);
    int status;
    {
      qb::host::Host host(fe, options);
      status = host.Run();
    }
    std::cout << fe.last_screen();
    std::cout.flush();
    return status;
  }

  auto fe = qb::host::MakeTerminalFrontEnd();
  if (!fe) {
    std::fprintf(stderr, "quillbox: cannot use the terminal\n");
    return 1;
  }
  qb::host::Host host(*fe, options);
  return host.Run();
}
