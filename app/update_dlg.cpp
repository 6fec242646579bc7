#include "app/update_dlg.h"

#include <algorithm>

#include "app/progress_dlg.h"
#include "bootcfg/boot_config.h"
#include "dialogs/boot_select_dlg.h"
#include "dialogs/target_dlg.h"
#include "resources/resource.h"

namespace app {

using namespace platform::ui;
using platform::NKDbgPrintfW;

namespace {
constexpr wchar_t kUserProfileKey[] = L"System\\StorageManager\\Profiles\\USER";
constexpr wchar_t kImageFilter[] = L"Eboot Files (Eboot*.nbX)|Eboot*.nbX||";
constexpr std::size_t kFolderChars = 260;
}  // namespace

CUpdateDlg::CUpdateDlg(UiContext& ui, Services& services)
    : CDialog(ui, IDD_UPDATE_DIALOG), services_(services), m_hIcon(IDR_MAINFRAME) {}

void CUpdateDlg::DoDataExchange() {
  DDX_Control(kIdCancel, m_btnCancel);
  DDX_Control(kIdOk, m_btnOK);
  DDX_Control(IDC_MESSAGE, m_stcMessage);
}

bool CUpdateDlg::OnInitDialog() {
  dialogs::CTargetDlg target(ui(), services_.log);
  CDialog::OnInitDialog();
  if (target.DoModal() != kIdOk) {
    EndDialog(kIdCancel);
    return true;
  }
  m_bBootLoader = target.m_bBootLoader;
  m_bRescue = target.m_bRescue;
  if (!ReadStoreFolder() || !ShowInstructions() || !ChooseImageFile()) {
    EndDialog(kIdCancel);
    return true;
  }
  SendMessage(kWmSetIcon, kIconBig, m_hIcon);
  SendMessage(kWmSetIcon, kIconSmall, m_hIcon);
  CenterWindow();
  SetForegroundWindow();
  const UINT confirmation = ForTarget(IDS_CONFIRM_BOOTLOADER, IDS_CONFIRM_RESCUE, IDS_CONFIRM_MAIN);
  m_stcMessage.SetWindowText(
      platform::FormatW(ui().LoadString(confirmation).value_or(L""), m_strImagePath));
  m_btnOK.SetWindowText(ui().LoadString(IDS_OK).value_or(L""));
  m_btnCancel.SetWindowText(ui().LoadString(IDS_CANCEL).value_or(L""));
  return true;
}

UINT CUpdateDlg::ForTarget(UINT bootLoader, UINT rescue, UINT main) const {
  return m_bBootLoader ? bootLoader : m_bRescue ? rescue : main;
}

bool CUpdateDlg::ReadStoreFolder() {
  platform::Registry& registry = services_.registry;
  platform::ScopedKey key;
  if (platform::OpenKey(registry, platform::kHkeyLocalMachine, kUserProfileKey, key) !=
      static_cast<platform::LONG>(platform::kErrorSuccess)) {
    return false;
  }
  wchar_t folder[kFolderChars] = {};
  platform::DWORD size = sizeof folder;
  platform::DWORD type = 0;
  const bool read = registry.RegQueryValueEx(key.get(), L"Folder", &type,
                                             reinterpret_cast<platform::BYTE*>(folder), &size) ==
                    static_cast<platform::LONG>(platform::kErrorSuccess);
  if (read) {
    // A value that fills the buffer has no terminator of its own.
    m_strStoreFolder.assign(folder, std::find(folder, folder + kFolderChars, L'\0'));
  }
  key.Close();
  return read;
}

bool CUpdateDlg::ShowInstructions() {
  const UINT target = ForTarget(IDS_NAME_BOOTLOADER, IDS_NAME_RESCUE, IDS_NAME_MAIN);
  const std::wstring text =
      platform::FormatW(ui().LoadString(IDS_CHOOSE_FILE).value_or(L""),
                        ui().LoadString(target).value_or(L""), m_strStoreFolder);
  return MessageBox(text, L"Tessaron Loader", kMbOkCancel | kMbSetForeground) == kIdOk;
}

bool CUpdateDlg::ChooseImageFile() {
  std::wstring path;
  if (ui().GetOpenFileName(kImageFilter, path) != kIdOk)
    return false;
  m_strImagePath = path;
  // A boot loader may come from anywhere, the store folder included.
  if (m_bBootLoader)
    return true;
  return CheckImageLocation();
}

bool CUpdateDlg::CheckImageLocation() {
  const std::wstring storeFolder = platform::FormatW(L"%s", m_strStoreFolder);
  // The path's first component, cut to the folder name's length: a prefix test.
  const std::wstring pathStart =
      m_strImagePath.empty() ? L"" : m_strImagePath.substr(1, storeFolder.size());
  NKDbgPrintfW(services_.log, L"csDir1 : %s csDir2 : %s", storeFolder, pathStart);
  if (storeFolder != pathStart)
    return true;
  NKDbgPrintfW(services_.log, L"ERROR : file in nand flash directory\r\n");
  ui().AfxMessageBox(IDS_OS_LOADING_FAILURE, kMbOk);
  return false;
}

}  // namespace app

namespace app {

void CUpdateDlg::OnOK() {
  platform::Files& files = services_.files;
  const platform::Handle handle =
      files.CreateFile(m_strImagePath, platform::kGenericRead, 0, platform::kOpenExisting, 0);
  if (handle != platform::kInvalidHandle) {
    platform::ScopedFile file(files, handle);
    CProgressDlg progress(ui(), services_, file.get());
    const bool written = progress.RunFlash(m_bBootLoader, m_bRescue);
    if (const auto result =
            ui().LoadString(written ? IDS_OS_LOADING_SUCCESS : IDS_OS_LOADING_FAILURE)) {
      MessageBox(*result, L"Quorvane", kMbOk);
    }
    file.Close();
  }
  // After an operating-system image the user chooses what boots next, whatever happened.
  if (!m_bBootLoader) {
    bootcfg::BootConfig bootConfig(services_.kernel, services_.log);
    dialogs::CBootSelectDlg(ui(), bootConfig, services_.registry).DoModal();
  }
  CDialog::OnOK();
}

}  // namespace app
