// The main dialog. The whole dialogue with the user runs inside its initialisation: target,
// store folder, instructions, file choice, folder check; only when all of them succeed does the
// dialog show, as the confirmation of the update.
#pragma once

#include <string>

#include "app/services.h"
#include "platform/ui/framework.h"

namespace app {

class CUpdateDlg : public platform::ui::CDialog {
 public:
  CUpdateDlg(platform::ui::UiContext& ui, Services& services);

 protected:
  void DoDataExchange() override;
  bool OnInitDialog() override;
  // The user confirmed: the update run.
  void OnOK() override;

 private:
  // The string of the target: the boot loader is tested first, then the rescue image; the main
  // image is what remains.
  platform::ui::UINT ForTarget(platform::ui::UINT bootLoader, platform::ui::UINT rescue,
                               platform::ui::UINT main) const;
  bool ReadStoreFolder();
  bool ShowInstructions();
  bool ChooseImageFile();
  bool CheckImageLocation();

  Services& services_;
  std::wstring m_strStoreFolder;
  std::wstring m_strImagePath;
  platform::ui::CButton m_btnCancel;
  platform::ui::CButton m_btnOK;
  platform::ui::CStatic m_stcMessage;
  std::int32_t m_bBootLoader = 0;
  std::int32_t m_bRescue = 0;
  int m_hIcon;
};

}  // namespace app
