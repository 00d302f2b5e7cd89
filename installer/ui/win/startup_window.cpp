// Start-up over the main window: read the package through the start-up values, fill the
// window in the fixed order, run the self check, propose a folder and act on the switch.
#include <windows.h>

#include "installer/package/win/startup.h"
#include "installer/package/win/startup_rules.h"
#include "installer/ui/win/main_window.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/texts.h"
#include "installer/ui/win/window_rules.h"

namespace hollin {
namespace {

void SetTitleColour(MainWindow& m, const std::string& name) {
  NamedColour c = ColourByName(name);
  if (!c.found) return;
  m.label7_colour = c.system ? GetSysColor(static_cast<int>(c.value)) : c.value;
}

}  // namespace

StartupOutcome RunStartup(const std::string& package_path, uint64_t package_offset,
                          const std::string& first_argument) {
  MainWindow& m = Main();
  StartupValues& s = Startup();
  s = StartupValues();
  s.first_argument = first_argument;
  if (!OpenPackage(package_path, package_offset, &s)) {
    MessageBoxA(m.window, (package_path + texts::kPackageUnreadable).c_str(),
                texts::kApplicationCaption, MB_OK | MB_ICONERROR);
    return StartupOutcome::kEndProgram;
  }
  const PackageHeader& h = s.header;

  m.view_connected = s.no_view != 1;
  m.Show(m.view_button, m.view_connected);
  bool installer = s.uninstaller == 0;
  m.Show(m.setup_button, installer);
  m.Show(m.uninstall_button, !m.Visible(m.setup_button));

  SetTitleColour(m, h.title_colour.text);
  m.SetText(m.label7, h.gradient_r.text);
  m.SetText(m.label8, h.gradient_g.text);
  m.SetText(m.label9, h.gradient_b.text);

  if (SelfCheckApplies(!installer, h.self_check_on, first_argument)) {
    s.self_check_ran = true;
    StubFields stub;
    s.package->Seek(0);
    ReadStubFields(*s.package, &stub);
    s.self_check_good = RunSelfCheck(s.own_path, package_offset, stub.self_check_value,
                                     s.total_unpacked);
    if (!s.self_check_good && h.silent_failure) return StartupOutcome::kEndProgram;
    m.Show(s.self_check_good ? m.crc_good_label : m.crc_bad_label, true);
  }

  if (h.has_licence) m.SetLogText(LicenceLogText(h.licence_text));
  m.SetText(m.window, installer ? s.display_name
                                : s.display_name + texts::kUninstallCaptionSuffix);
  m.SetText(m.maker_label, h.maker_notice.text);
  SIZE size = {0, 0};
  {
    HDC dc = GetDC(m.maker_label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(
                                       SendMessageA(m.maker_label, WM_GETFONT, 0, 0)));
    GetTextExtentPoint32A(dc, h.maker_notice.text.c_str(),
                          static_cast<int>(h.maker_notice.text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(m.maker_label, dc);
  }
  SetWindowPos(m.maker_label, nullptr, 0, 0, size.cx, size.cy > 13 ? size.cy : 13,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (h.has_default_folder) m.SetText(m.path_box, h.default_folder.text);

  if (!installer) {
    for (HWND c : {m.path_box, m.skip_crc_box, m.browse_button, m.accept_box, m.help_button,
                   m.view_button})
      m.Show(c, false);
    m.Show(m.maker_label, true);
    if (DecideSwitch(first_argument, true) == StartSwitch::kAutoUninstall) {
      m.Click(m.uninstall_button);
      return StartupOutcome::kEndProgram;
    }
    return StartupOutcome::kRunMessageLoop;
  }

  m.SetText(m.banner, BannerWithUnpackSpace(m.Text(m.banner), s.total_unpacked));

  DefaultFolderInputs folder;
  folder.has_folder_record = h.has_default_folder;
  folder.path_text = m.Text(m.path_box);
  folder.program_files = ReadProgramFilesFolder();
  folder.uninstall_key = s.uninstall_key;
  if (!s.uninstall_key.empty()) folder.uninstall_string = ReadUninstallString(s.uninstall_key);
  m.SetText(m.path_box, DecideDefaultFolder(folder));

  switch (DecideSwitch(first_argument, false)) {
    case StartSwitch::kAutoInstall:
      m.Click(m.accept_area);
      m.Click(m.setup_button);
      return StartupOutcome::kEndProgram;
    case StartSwitch::kView:
      m.Click(m.view_button);
      break;
    default:
      break;
  }
  return StartupOutcome::kRunMessageLoop;
}

}  // namespace hollin
