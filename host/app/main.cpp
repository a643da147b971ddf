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
#include <vector>

#include "host/core/host.h"
#include "host/headless/headless.h"
#include "host/terminal/terminal.h"
#include "sdk/vcard_command.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: quillbox [--plugins DIR] [--config DIR]\n"
               "       quillbox --headless [--size COLSxROWS] [--plugins DIR] [--config DIR] "
               "SCRIPT\n"
               "       quillbox --export-vcard [BOOKPATH] > FILE.vcf\n"
               "       quillbox --import-vcard FILE [BOOKPATH]\n"
               "       quillbox --query TEXT [BOOKPATH]\n"
               "         with [--book BOOKFILE] [--password-file FILE] [--plugins DIR] "
               "[--config DIR]\n");
}

// The passwords of a password file, one a line (the environment's QUILLBOX_PASSWORD_FILE names
// the file when the option does not): passwords never stand on the command line, where every
// user of the machine can read them.
bool ReadPasswords(const std::string& path, std::vector<std::string>* passwords) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) passwords->push_back(line);
  }
  return true;
}

// The vCard and query commands: no screen, the plug-in's VCardCommand does the work.
int RunVCardCommand(qb::host::HostOptions options, int command, const std::string& command_arg,
                    const std::vector<std::string>& args, const std::string& book_file,
                    const std::string& password_file) {
  std::vector<std::string> passwords;
  std::string pw_file = password_file;
  if (pw_file.empty()) {
    if (const char* env = std::getenv("QUILLBOX_PASSWORD_FILE")) pw_file = env;
  }
  if (!pw_file.empty() && !ReadPasswords(pw_file, &passwords)) {
    std::fprintf(stderr, "quillbox: cannot read the password file %s\n", pw_file.c_str());
    return 2;
  }
  if (args.size() > 1) {
    Usage();
    return 2;
  }
  std::vector<const char*> pw;
  for (const std::string& p : passwords) pw.push_back(p.c_str());
  VCardCommandArgs a{};
  a.Command = command;
  a.BookFile = book_file.c_str();
  a.BookPath = args.empty() ? "" : args[0].c_str();
  a.File = command == VCC_IMPORT ? command_arg.c_str() : nullptr;
  a.Text = command == VCC_QUERY ? command_arg.c_str() : nullptr;
  a.Passwords = pw.data();
  a.PasswordCount = static_cast<uint32_t>(pw.size());
  a.Out = stdout;
  a.Err = stderr;
  options.headless = true;
  options.command = true;
  std::ostringstream nothing;
  qb::host::HeadlessFrontEnd fe(80, 25, {}, nothing);
  qb::host::Host host(fe, options);
  const int status = host.RunCommand([&](qb::host::PluginModule& plugin) {
    auto run = reinterpret_cast<PFN_VCardCommand>(plugin.Symbol("VCardCommand"));
    if (!run) {
      std::fprintf(stderr, "quillbox: the plug-in has no command line\n");
      return 2;
    }
    return run(&a);
  });
  for (std::string& p : passwords) p.assign(p.size(), '\0');
  return status;
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
  int command = 0;
  std::vector<std::string> positional;
  std::string book_file, password_file, command_arg;
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
    } else if (a == "--export-vcard" || a == "--import-vcard" || a == "--query") {
      command = a == "--export-vcard" ? VCC_EXPORT : a == "--import-vcard" ? VCC_IMPORT : VCC_QUERY;
      // The file or the text is the next word whatever it looks like (mutt passes what was
      // typed, which may begin with "-").
      if (command != VCC_EXPORT) command_arg = value(a.c_str());
    } else if (a == "--book") {
      book_file = value("--book");
    } else if (a == "--password-file") {
      password_file = value("--password-file");
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
    } else {
      positional.push_back(a);
    }
  }
  if (command != 0) {
    return RunVCardCommand(options, command, command_arg, positional, book_file, password_file);
  }
  if (positional.size() > 1) {
    Usage();
    return 2;
  }
  if (!positional.empty()) script_path = positional[0];

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
