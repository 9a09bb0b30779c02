// quorvin-probe: checks skins, renders their screens and drives the program from scripts,
// all without a window.
#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "probe/Lint.h"
#include "probe/ProbeHost.h"
#include "probe/Runner.h"

namespace {

const char kUsage[] =
    "usage: quorvin-probe run --app-dir DIR --drive L=HOSTDIR[,device=PATH] ... "
    "[--clock \"YYYY-MM-DD HH:MM:SS\"] [--out DIR] SCRIPT\n"
    "       quorvin-probe lint APPDIR\n"
    "       quorvin-probe shots APPDIR OUTDIR\n";

int Usage(const std::string& why) {
  if (!why.empty()) std::cerr << "quorvin-probe: " << why << "\n";
  std::cerr << kUsage;
  if (*probe::kDriveUsage) std::cerr << probe::kDriveUsage << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("");
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "run") {
    probe::RunOptions options;
    std::string error;
    if (!probe::ParseRunArguments(args, &options, &error)) return Usage(error);
    return probe::RunScript(options, std::cout, std::cerr);
  }
  if (command == "lint") {
    if (args.size() != 1) return Usage("lint takes one folder");
    return probe::LintSkin(args[0], std::cout, std::cerr);
  }
  if (command == "shots") {
    if (args.size() != 2) return Usage("shots takes a folder and an output folder");
    return probe::WriteShots(args[0], args[1], std::cout, std::cerr);
  }
  return Usage("unknown command \"" + command + "\"");
}
