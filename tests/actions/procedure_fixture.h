// One install (and later uninstall) run: a fake window, a fake system and a package.
#pragma once
#include <memory>
#include <string>

#include "fake_platform.h"
#include "installer/actions/procedures.h"
#include "package_builder.h"

namespace hollin::testing {

constexpr char kFolder[] = "C:\\Program Files\\Demo\\";
inline std::string At(const std::string& name) { return kFolder + name; }
inline std::string Lines(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}
inline std::string InstallTitle() { return "install logs by Quill installer -12.2" "12/10/2026 5:30:00 AM"; }

// A package with every kind of action record.
inline PackagePlan FullRecords() {
  PackagePlan plan;
  plan.files = {{"app.exe", "MZ the program"},     {"good.dll", "MZ registers"},
                {"bad.dll", "MZ refuses"},         {"tool.EXE", "MZ registers itself"},
                {"docs\\manual\\index.html", "<p>help</p>"}, {"help.txt", "help text"}};
  plan.records_1_2 = Flag(1) + PrefixedBlock("good.dll\r\nbad.dll\r\ntool.EXE\r\n..\\evil.dll\r\n") +
                     Flag(1) + Str("app.exe") + Flag(1) + Str("--first");
  plan.records_from_3 =
      Flag(1) + Str(" app.exe ") + Flag(1) + Str("-min") +                                    // 3
      Flag(1) + Str("Open with Demo") + Flag(0) + Flag(1) + Str("-x") + Str("app.exe") +      // 4
      Flag(1) + Str("View in Demo") + Flag(0) + Str("app.exe") +                              // 5
      Flag(1) + Str("Browse") + Flag(0) + Str("app.exe") +                                    // 6
      Flag(1) + Str(".dmo") + Str("Demo document") + Str("app.exe") +                         // 7
      Flag(1) + Flag(2) + Str("software\\demo") + Flag(0) + Flag(1) + Flag(3) + Str("  ") + // 8 to 10
      Flag(1) + Str("Demo") + Str("app.exe") +                                                // 11
      Flag(1) + Str("Demo Group") + Flag(2) + Str("Demo") + Str("app.exe") + Str("Help") + Str("help.txt") +  // 12
      Flag(1) + Flag(2) + Str("demo.ini") + Flag(1) + Flag(0) + Str("..\\..\\outside.txt") +  // 13, 14
      Flag(1) + Flag(7) + Str("extra.dat");                                                   // 15
  return plan;
}
constexpr char kDesktopLink[] = "C:\\users\\me\\Desktop\\Demo.lnk";
constexpr char kGroupFolder[] = "C:\\users\\me\\Start Menu\\Programs\\Demo Group";

struct ProcedureRun {
  FakeHost host;
  FakePlatform platform;
  TestPackage package;
  std::unique_ptr<MemoryStream> stream;

  InstallContext Context(const std::vector<uint8_t>& bytes, const PackagePlan& plan) {
    stream = std::make_unique<MemoryStream>(bytes);
    InstallContext context;
    context.package = stream.get();
    context.own_path = "D:\\setup.exe";
    context.registry_import = plan.registry_import;
    context.uninstall_key = plan.uninstall_key;
    context.display_name = plan.display_name;
    context.header_end = package.header_end;
    context.file_list_position = package.file_list_position;
    return context;
  }
  void Install(const PackagePlan& plan) {
    package = BuildPackage(plan);
    InstallContext context = Context(package.bytes, plan);
    RunInstallProcedure(host, platform, context);
  }
  // Runs the uninstaller that the install wrote, from the install folder.
  void Uninstall(const PackagePlan& plan, const std::string& argument = "/u") {
    std::string image = platform.Content(At("uninstall.exe"));
    InstallContext context = Context(std::vector<uint8_t>(image.begin(), image.end()), plan);
    context.own_path = At("uninstall.exe");
    context.first_argument = argument;
    host = FakeHost();
    host.action_caption = "Uninstall";
    RunUninstallProcedure(host, platform, context);
  }
};

}  // namespace hollin::testing
